#include "UniqueBstr.h"
#include <algorithm>
#include <new>
#include <utility>

UniqueBstr::UniqueBstr(const std::wstring& text)
    : m_b(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!m_b) throw std::bad_alloc();
}

UniqueBstr::UniqueBstr(const wchar_t* text) : m_b(SysAllocString(text ? text : L"")) {
    if (!m_b) throw std::bad_alloc();
}

UniqueBstr UniqueBstr::Concat(std::initializer_list<std::wstring_view> parts) {
    size_t length = 0;
    for (std::wstring_view part : parts) length += part.size();
    UniqueBstr out;
    out.m_b = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!out.m_b) throw std::bad_alloc();
    wchar_t* at = out.m_b;
    for (std::wstring_view part : parts) at = std::copy(part.begin(), part.end(), at);
    return out;
}

UniqueBstr::UniqueBstr(UniqueBstr&& o) noexcept : m_b(std::exchange(o.m_b, nullptr)) {}

UniqueBstr& UniqueBstr::operator=(UniqueBstr&& o) noexcept {
    if (this != &o) reset(std::exchange(o.m_b, nullptr));
    return *this;
}

UniqueBstr::~UniqueBstr() { reset(); }

void UniqueBstr::reset(BSTR value) noexcept {
    if (m_b != value) SysFreeString(m_b);
    m_b = value;
}

BSTR* UniqueBstr::put() noexcept {
    reset();
    return &m_b;
}

BSTR UniqueBstr::release() noexcept { return std::exchange(m_b, nullptr); }

std::wstring UniqueBstr::str() const { return std::wstring(view()); }

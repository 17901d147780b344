#include "UniqueVariant.h"
#include "UniqueBstr.h"

UniqueVariant::UniqueVariant(LONG value) noexcept {
    VariantInit(&m_v);
    V_VT(&m_v) = VT_I4;
    V_I4(&m_v) = value;
}

UniqueVariant::UniqueVariant(const std::wstring& text) {
    VariantInit(&m_v);
    UniqueBstr b(text);
    V_VT(&m_v) = VT_BSTR;
    V_BSTR(&m_v) = b.release();
}

UniqueVariant::UniqueVariant(UniqueVariant&& o) noexcept : m_v(o.release()) {}

UniqueVariant& UniqueVariant::operator=(UniqueVariant&& o) noexcept {
    if (this != &o) {
        reset();
        m_v = o.release();
    }
    return *this;
}

UniqueVariant::~UniqueVariant() { reset(); }

void UniqueVariant::reset() noexcept {
    VariantClear(&m_v);
    VariantInit(&m_v);
}

VARIANT* UniqueVariant::put() noexcept {
    reset();
    return &m_v;
}

VARIANT UniqueVariant::release() noexcept {
    VARIANT out = m_v;
    VariantInit(&m_v);
    return out;
}

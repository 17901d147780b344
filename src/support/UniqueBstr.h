#pragma once
#include <windows.h>
#include <ole2.h>
#include <initializer_list>
#include <string>
#include <string_view>

// Owns one BSTR; the boundary type between std::wstring and COM strings.
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(const std::wstring& text);
    explicit UniqueBstr(const wchar_t* text);  // a null text gives the empty BSTR
    // The parts one after the other, built in place (no intermediate string).
    static UniqueBstr Concat(std::initializer_list<std::wstring_view> parts);
    UniqueBstr(UniqueBstr&& o) noexcept;
    UniqueBstr& operator=(UniqueBstr&& o) noexcept;
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr();

    void reset(BSTR value = nullptr) noexcept;
    BSTR* put() noexcept;
    [[nodiscard]] BSTR release() noexcept;
    BSTR get() const noexcept { return m_b; }
    // A null BSTR reads as the empty text.
    std::wstring str() const;
    UINT length() const noexcept { return Length(m_b); }
    std::wstring_view view() const noexcept { return View(m_b); }

    // SysStringLen's answer read from the string's own length prefix, as COM lays it out:
    // Run reads several per call, and the system's function is a call each.
    static UINT Length(BSTR text) noexcept {
        return text ? reinterpret_cast<const UINT*>(text)[-1] / sizeof(OLECHAR) : 0;
    }
    static std::wstring_view View(BSTR text) noexcept {
        return text ? std::wstring_view(text, Length(text)) : std::wstring_view();
    }

private:
    BSTR m_b = nullptr;
};

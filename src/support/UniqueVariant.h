#pragma once
#include <windows.h>
#include <ole2.h>
#include <string>

// Owns one VARIANT and clears it on destruction.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&m_v); }
    explicit UniqueVariant(LONG value) noexcept;
    explicit UniqueVariant(const std::wstring& text);
    UniqueVariant(UniqueVariant&& o) noexcept;
    UniqueVariant& operator=(UniqueVariant&& o) noexcept;
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant();

    void reset() noexcept;
    // Clears first, then hands out the address for an out-parameter.
    VARIANT* put() noexcept;
    // Gives up ownership of the content; this object is left VT_EMPTY.
    [[nodiscard]] VARIANT release() noexcept;
    const VARIANT& get() const noexcept { return m_v; }

private:
    VARIANT m_v;
};

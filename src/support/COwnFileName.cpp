#include "COwnFileName.h"

COwnFileName COwnFileName::WithExtension(const wchar_t* extension) const {
    const size_t dot = m_name.rfind(L'.');
    return COwnFileName((dot == std::wstring::npos ? std::wstring() : m_name.substr(0, dot)) + extension);
}

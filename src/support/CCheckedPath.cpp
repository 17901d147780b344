#include "CCheckedPath.h"

CCheckedPath CCheckedPath::Child(const COwnFileName& name) const {
    const wchar_t last = m_path.back();  // never empty: an absolute path
    return CCheckedPath(m_path + (last == L'\\' || last == L'/' ? L"" : L"\\") + name.str());
}

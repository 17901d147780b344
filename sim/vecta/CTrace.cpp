#include "CTrace.h"
#include "CTextFile.h"
#include <cstdio>

void CTrace::Record(const std::wstring& object, const std::wstring& member,
                    const std::vector<std::wstring>& args, HRESULT hr) const {
    if (m_path.empty()) return;
    std::wstring line = object + L"." + member + L"(";
    for (size_t i = 0; i < args.size(); ++i) line += (i ? L", " : L"") + args[i];
    wchar_t code[16];
    swprintf(code, 16, L"%08lX", static_cast<unsigned long>(hr));
    line += L") = ";
    line += code;
    // A trace that cannot be written must not change what the host answers.
    (void)CTextFile::AppendLine(m_path, line);
}

std::wstring CTrace::Text(const wchar_t* text) {
    return L"\"" + std::wstring(text ? text : L"") + L"\"";
}

std::wstring CTrace::Arg(const VARIANT& value) {
    wchar_t buffer[32];
    switch (V_VT(&value)) {
    case VT_EMPTY: return L"empty";
    case VT_BSTR: return Text(V_BSTR(&value));
    case VT_I4:
        swprintf(buffer, 32, L"i4:%ld", static_cast<long>(V_I4(&value)));
        return buffer;
    case VT_BOOL:
        swprintf(buffer, 32, L"bool:%d", static_cast<int>(V_BOOL(&value)));
        return buffer;
    case VT_ERROR:
        if (V_ERROR(&value) == DISP_E_PARAMNOTFOUND) return L"missing";
        swprintf(buffer, 32, L"error:%08lX", static_cast<unsigned long>(V_ERROR(&value)));
        return buffer;
    default:
        swprintf(buffer, 32, L"vt:%u", static_cast<unsigned>(V_VT(&value)));
        return buffer;
    }
}

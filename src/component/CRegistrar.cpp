#include "CRegistrar.h"
#include "support/ResultMacros.h"
#include <cwctype>

namespace {

struct Token {
    enum Kind { End, Open, Close, Equals, Word, Quoted } kind;
    std::wstring text;
};

// Splits a script into white-space separated braces, "=" and bare words, and single-quoted
// strings ('' is one quote).
class Lexer {
public:
    explicit Lexer(const std::wstring& text) : m_text(text) {}

    bool Next(Token& token) {
        while (m_pos < m_text.size() && std::iswspace(m_text[m_pos])) ++m_pos;
        token.text.clear();
        if (m_pos >= m_text.size()) {
            token.kind = Token::End;
            return true;
        }
        const wchar_t c = m_text[m_pos];
        if (c == L'\'') {
            token.kind = Token::Quoted;
            for (++m_pos; m_pos < m_text.size(); ++m_pos) {
                if (m_text[m_pos] != L'\'') {
                    token.text += m_text[m_pos];
                } else if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == L'\'') {
                    token.text += L'\'';
                    ++m_pos;
                } else {
                    ++m_pos;
                    return true;
                }
            }
            return false;  // unterminated string
        }
        // Tokens are separated by white space, so "{GUID}" is a name and "{" alone a brace.
        while (m_pos < m_text.size() && !std::iswspace(m_text[m_pos]) && m_text[m_pos] != L'\'')
            token.text += m_text[m_pos++];
        token.kind = token.text == L"{" ? Token::Open
                     : token.text == L"}" ? Token::Close
                     : token.text == L"=" ? Token::Equals
                                         : Token::Word;
        return true;
    }

private:
    const std::wstring& m_text;
    size_t m_pos = 0;
};

bool Is(const Token& t, const wchar_t* word) {
    return t.kind == Token::Word && _wcsicmp(t.text.c_str(), word) == 0;
}

bool IsName(const Token& t) { return t.kind == Token::Word || t.kind == Token::Quoted; }

HKEY HiveOf(const Token& t) {
    if (Is(t, L"HKCR") || Is(t, L"HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
    if (Is(t, L"HKCU") || Is(t, L"HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
    if (Is(t, L"HKLM") || Is(t, L"HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
    return nullptr;
}

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

}  // namespace

void CRegistrar::AddReplacement(const std::wstring& name, const std::wstring& value) {
    m_replacements.emplace_back(L"%" + name + L"%", value);
}

HRESULT CRegistrar::Parse(const std::wstring& source, std::vector<Root>& roots) const {
    std::wstring script;
    for (size_t i = 0; i < source.size();) {
        bool replaced = false;
        if (source[i] == L'%') {
            for (const auto& [pattern, value] : m_replacements) {
                if (_wcsnicmp(source.c_str() + i, pattern.c_str(), pattern.size()) == 0) {
                    script += value;
                    i += pattern.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) script += source[i++];
    }

    Lexer lexer(script);
    Token t;
    // Keys and values of one brace block, after its opening brace up to the closing one.
    auto parseBlock = [&](auto& self, std::vector<Key>& keys, std::vector<Value>* values) -> bool {
        if (!lexer.Next(t)) return false;
        while (t.kind != Token::Close) {
            if (t.kind == Token::End) return false;
            if (values && Is(t, L"val")) {
                Value value;
                if (!lexer.Next(t) || !IsName(t)) return false;
                value.name = t.text;
                if (!lexer.Next(t) || t.kind != Token::Equals) return false;
                if (!lexer.Next(t) || !(Is(t, L"s") || Is(t, L"d"))) return false;
                value.type = Is(t, L"s") ? REG_SZ : REG_DWORD;
                if (!lexer.Next(t) || !IsName(t)) return false;
                value.data = t.text;
                values->push_back(value);
                if (!lexer.Next(t)) return false;
                continue;
            }
            Key key;
            if (Is(t, L"ForceRemove") || Is(t, L"NoRemove")) {
                key.forceRemove = Is(t, L"ForceRemove");
                key.noRemove = !key.forceRemove;
                if (!lexer.Next(t)) return false;
            }
            if (!IsName(t)) return false;
            key.name = t.text;
            if (!lexer.Next(t)) return false;
            if (t.kind == Token::Equals) {
                if (!lexer.Next(t) || !(Is(t, L"s") || Is(t, L"d"))) return false;
                const DWORD type = Is(t, L"s") ? REG_SZ : REG_DWORD;
                if (!lexer.Next(t) || !IsName(t)) return false;
                key.values.push_back({L"", type, t.text});
                if (!lexer.Next(t)) return false;
            }
            if (t.kind == Token::Open) {
                if (!self(self, key.children, &key.values)) return false;
                if (!lexer.Next(t)) return false;
            }
            keys.push_back(std::move(key));
        }
        return true;
    };

    if (!lexer.Next(t)) return E_INVALIDARG;
    while (t.kind != Token::End) {
        Root root{HiveOf(t), {}};
        if (!root.hive || !lexer.Next(t) || t.kind != Token::Open) return E_INVALIDARG;
        if (!parseBlock(parseBlock, root.keys, nullptr)) return E_INVALIDARG;
        roots.push_back(std::move(root));
        if (!lexer.Next(t)) return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT CRegistrar::RegisterKey(HKEY parent, const Key& key) {
    if (key.forceRemove) {
        const LONG error = RegDeleteTreeW(parent, key.name.c_str());
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return FromWin32(error);
    }
    HKEY handle = nullptr;
    RETURN_IF_FAILED(FromWin32(RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                               &handle, nullptr)));
    HRESULT hr = S_OK;
    for (const Value& value : key.values) {
        if (value.type == REG_SZ) {
            hr = FromWin32(RegSetValueExW(handle, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(value.data.c_str()),
                                          static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t))));
        } else {
            const DWORD number = wcstoul(value.data.c_str(), nullptr, 0);
            hr = FromWin32(RegSetValueExW(handle, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&number), sizeof(number)));
        }
        if (FAILED(hr)) break;
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < key.children.size(); ++i) hr = RegisterKey(handle, key.children[i]);
    RegCloseKey(handle);
    return hr;
}

HRESULT CRegistrar::UnregisterKey(HKEY parent, const Key& key) {
    HKEY handle = nullptr;
    const LONG error = RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, &handle);
    if (error == ERROR_FILE_NOT_FOUND) return S_OK;  // nothing to remove
    RETURN_IF_FAILED(FromWin32(error));
    HRESULT hr = S_OK;
    for (size_t i = 0; SUCCEEDED(hr) && i < key.children.size(); ++i) hr = UnregisterKey(handle, key.children[i]);
    RegCloseKey(handle);
    if (FAILED(hr) || key.noRemove) return hr;
    if (key.forceRemove) return FromWin32(RegDeleteTreeW(parent, key.name.c_str()));
    // A key that still holds subkeys of someone else's is left in place.
    const LONG deleted = RegDeleteKeyW(parent, key.name.c_str());
    return deleted == ERROR_ACCESS_DENIED ? S_OK : FromWin32(deleted);
}

HRESULT CRegistrar::Register(const std::wstring& script) const {
    std::vector<Root> roots;
    RETURN_IF_FAILED(Parse(script, roots));
    for (const Root& root : roots)
        for (const Key& key : root.keys) RETURN_IF_FAILED(RegisterKey(root.hive, key));
    return S_OK;
}

HRESULT CRegistrar::Unregister(const std::wstring& script) const {
    std::vector<Root> roots;
    RETURN_IF_FAILED(Parse(script, roots));
    for (const Root& root : roots)
        for (const Key& key : root.keys) RETURN_IF_FAILED(UnregisterKey(root.hive, key));
    return S_OK;
}

HRESULT CRegistrar::LoadScript(HMODULE module, UINT id, std::wstring& script) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (!info) return HResultFromLastError();
    HGLOBAL loaded = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) return HResultFromLastError();
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
    script.assign(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), script.data(), length);
    return S_OK;
}

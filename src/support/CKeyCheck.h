#pragma once
#include <string>

// A database key (QELKEY) is an identifier. Keys come from the database and from the
// client's command arguments, and are typed into Vecta's command line or put into the
// client's database commands and expressions. There a blank acts as Enter or splits the
// command, and quotes, "|" or an expression change what runs; such a key is refused.
class CKeyCheck {
public:
    // True when key holds no blank, control character, quote (" or '), "|" or expression
    // opener ("#(", "$(", "@("). The empty key holds none of them: callers decide about it.
    // A refused key gets an Error entry naming the operation and the key.
    [[nodiscard]] static bool Accept(const wchar_t* operation, const std::wstring& key);
};

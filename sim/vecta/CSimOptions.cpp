#include "CSimOptions.h"
#include "../instance/InstanceNames.h"
#include <cwctype>
#include <map>

namespace {

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool ParseUnsigned(const std::wstring& text, unsigned& out) {
    if (text.empty() || text.size() > 9) return false;
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    out = value;
    return true;
}

}  // namespace

bool CSimOptions::Parse(const std::vector<std::wstring>& args, std::wstring& error) {
    const std::map<std::wstring, std::wstring*> texts = {
        {L"profile", &profile}, {L"release", &release}, {L"version", &version},
        {L"control", &controlFile}, {L"trace", &traceFile}};
    const std::map<std::wstring, unsigned*> numbers = {
        {L"idle", &idleSeconds}, {L"busy", &busyMs}, {L"startup", &startupDrawings}};

    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) {
            error = L"unexpected argument: " + arg;
            return false;
        }
        const std::wstring name = Lower(arg.substr(1));
        if (name == L"regserver") { mode = Mode::RegServer; continue; }
        if (name == L"unregserver") { mode = Mode::UnregServer; continue; }
        if (i + 1 >= args.size()) {
            error = L"missing value for " + arg;
            return false;
        }
        const std::wstring& value = args[++i];
        if (auto t = texts.find(name); t != texts.end()) {
            *t->second = value;
        } else if (auto n = numbers.find(name); n != numbers.end()) {
            if (!ParseUnsigned(value, *n->second)) {
                error = L"not a number for " + arg + L": " + value;
                return false;
            }
        } else {
            error = L"unknown switch: " + arg;
            return false;
        }
    }
    release = Lower(release) == L"r16" ? L"R16" : Lower(release) == L"r17" ? L"R17" : release;
    if (release != L"R16" && release != L"R17") {
        error = L"release must be R16 or R17: " + release;
        return false;
    }
    if (version.empty()) version = release == L"R17" ? L"17.1" : L"16.2";
    if (mode == Mode::Run && profile.empty()) {
        error = L"/profile is required";
        return false;
    }
    return true;
}

std::wstring CSimOptions::InstanceClass() const {
    return release == L"R17" ? kInstanceClass17 : kInstanceClass16;
}

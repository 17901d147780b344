#pragma once
#include <optional>
#include <string>

namespace ClientAnswer {

// The general rule for a client value: no answer, an empty one or one beginning with "!"
// (the client could not evaluate it) is the empty text.
inline std::wstring Filtered(const std::optional<std::wstring>& answer) {
    if (!answer || answer->empty() || (*answer)[0] == L'!') return {};
    return *answer;
}

// The raw form: only a missing answer becomes empty; "!" answers pass through.
inline std::wstring Raw(const std::optional<std::wstring>& answer) { return answer.value_or(std::wstring()); }

}  // namespace ClientAnswer

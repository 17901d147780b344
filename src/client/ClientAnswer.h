#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ClientAnswer {

// The general rule for a client value: no answer, an empty one or one beginning with "!"
// (the client could not evaluate it) is the empty text.
inline bool IsValue(std::wstring_view answer) { return !answer.empty() && answer[0] != L'!'; }

inline std::wstring Filtered(std::optional<std::wstring> answer) {
    if (!answer || !IsValue(*answer)) return {};
    return std::move(*answer);
}

// The raw form: only a missing answer becomes empty; "!" answers pass through.
inline std::wstring Raw(std::optional<std::wstring> answer) { return std::move(answer).value_or(std::wstring()); }

}  // namespace ClientAnswer

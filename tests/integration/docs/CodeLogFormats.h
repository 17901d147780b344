#pragma once
#include "CppTokens.h"
#include "LogFormat.h"
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Every text the component's code can write to its log, read from its sources: each string
// literal, joined with what "+" adds to it, and, where it is the format of a call, the values
// of the call's further arguments that the code fixes: a literal, a named constant, a known
// HRESULT or error code, or a variable whose last assignment before the call in the same
// block is one of those.
class CodeLogFormats {
public:
    // Reads every .cpp and .h file below the folder.
    explicit CodeLogFormats(const std::wstring& folder);

    const std::vector<LogFormat>& formats() const { return m_formats; }
    // The operations that begin the code's texts ("IsBusy", "CancelThread", …).
    std::set<std::wstring> Operations() const;

private:
    struct Source {
        std::wstring name;
        CppTokens tokens;
    };
    // A number or a text.
    struct Value {
        std::optional<long long> number;
        std::optional<std::wstring> text;
    };
    struct Range {
        const Source* source;
        size_t begin, end;
    };

    void ReadConstants(const Source& source);
    void ReadFormats(const Source& source);
    // The parts of a "+" chain holding a literal not used yet; nothing when there is none.
    std::optional<std::vector<LogFormat::Part>> Chain(const Source& source, size_t begin, size_t end,
                                                      std::vector<size_t>& literals) const;
    std::optional<std::wstring> TextConstant(const Source& source, const std::wstring& name) const;
    std::optional<Value> ValueOf(const Source& source, size_t begin, size_t end, size_t anchor, int depth) const;
    std::optional<Value> Named(const Source& source, const std::wstring& name, size_t anchor, int depth) const;
    // The last assignment to the variable before anchor in the block that holds anchor.
    std::optional<Value> Assigned(const Source& source, const std::wstring& name, size_t anchor, int depth) const;
    static void Fix(LogFormat::Part& conversion, const Value& value);

    std::vector<std::unique_ptr<Source>> m_sources;
    // Named constants: "kName = …;", "#define NAME …"; a source's own first, then any.
    std::multimap<std::wstring, Range> m_constants;
    std::set<std::pair<const Source*, size_t>> m_used;  // literals already part of a format
    std::vector<LogFormat> m_formats;
};

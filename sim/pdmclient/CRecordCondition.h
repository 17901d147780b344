#pragma once
#include "CWorkspace.h"
#include <string>
#include <vector>

// A record condition of the client's queries: clauses joined by AND, each
// "FIELD = value", "FIELD <> value", "FIELD IS NULL" or "FIELD IS NOT NULL".
// Values may be quoted with single quotes; keywords are case-insensitive.
class CRecordCondition {
public:
    // False with a reason when the text is not a condition.
    bool Parse(const std::wstring& text, std::wstring& error);
    bool Matches(const CWorkspace& workspace, const CWorkspace::Record& record) const;

private:
    enum class Test { Equal, NotEqual, IsNull, IsNotNull };
    struct Clause {
        std::wstring field;
        Test test = Test::Equal;
        std::wstring value;
    };
    std::vector<Clause> m_clauses;
};

#pragma once
#include <iosfwd>
#include <string>

// The lines of caiclient --diagnose, one per check:
//   "ok      what: detail"
//   "FAILED  what: detail -> what to do"
//   "skipped what: why" (only after the failure it depends on)
class CDiagnosisReport {
public:
    explicit CDiagnosisReport(std::ostream& out) : m_out(out) {}

    // Prints the line and returns ok, so that dependent checks can follow it.
    bool Check(const std::wstring& what, bool ok, const std::wstring& detail, const std::wstring& fix);
    void Skip(const std::wstring& what, const std::wstring& why);
    // "N checks, M failed" and the count of failures.
    int Finish();

private:
    std::ostream& m_out;
    int m_checks = 0;
    int m_failures = 0;
};

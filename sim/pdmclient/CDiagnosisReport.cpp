#include "CDiagnosisReport.h"
#include "TextCodec.h"
#include <ostream>

bool CDiagnosisReport::Check(const std::wstring& what, bool ok, const std::wstring& detail, const std::wstring& fix) {
    ++m_checks;
    if (!ok) ++m_failures;
    m_out << (ok ? "ok      " : "FAILED  ") << TextCodec::ToUtf8(what) << ": " << TextCodec::ToUtf8(detail);
    if (!ok && !fix.empty()) m_out << " -> " << TextCodec::ToUtf8(fix);
    m_out << std::endl;
    return ok;
}

void CDiagnosisReport::Skip(const std::wstring& what, const std::wstring& why) {
    ++m_checks;
    m_out << "skipped " << TextCodec::ToUtf8(what) << ": " << TextCodec::ToUtf8(why) << std::endl;
}

int CDiagnosisReport::Finish() {
    m_out << m_checks << " checks, " << m_failures << " failed" << std::endl;
    return m_failures;
}

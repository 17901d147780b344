#pragma once
#include <string>

class CDiagnosisReport;
class CExpressionEvaluator;

// Checks what the component will find through the client's settings of one workspace: the
// profile, the host program and start arguments that select that profile, a writable log
// folder, every listed add-in, the publishing options file; and lists the Vecta instances
// running now with the profiles they serve, none of them under another profile alone.
class CWorkspaceCheck {
public:
    // logFolder: where the component writes vx17log.err, the client's working folder.
    CWorkspaceCheck(CDiagnosisReport& report, const CExpressionEvaluator& evaluator, std::wstring logFolder)
        : m_report(report), m_evaluator(evaluator), m_logFolder(std::move(logFolder)) {}

    void Run();

private:
    std::wstring Setting(const std::wstring& expression) const;
    void HostProgram();
    void StartArguments(const std::wstring& profile);
    void LogFolder();
    void AddIns();
    void PublishOptions();
    void RunningInstances();

    CDiagnosisReport& m_report;
    const CExpressionEvaluator& m_evaluator;
    std::wstring m_logFolder;
};

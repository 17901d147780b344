#pragma once
#include <string>

class CDiagnosisReport;
class CExpressionEvaluator;

// Checks what the component will find through the client's settings of one workspace: the
// profile, the host program and start arguments that select that profile, the waits, a
// writable log and workspace folder, Vecta's release key and the registrar add-in, every
// listed add-in, the publishing options file; and lists the Vecta instances running now with
// the profiles they serve, none of them under another profile alone.
class CWorkspaceCheck {
public:
    // logFolder: where the component writes vx17log.err, the client's working folder.
    // vectaKey: Vecta's per-user key under HKCU; tests pass one of their own.
    CWorkspaceCheck(CDiagnosisReport& report, const CExpressionEvaluator& evaluator, std::wstring logFolder,
                    std::wstring vectaKey = L"Software\\Tessaro\\Vecta")
        : m_report(report), m_evaluator(evaluator), m_logFolder(std::move(logFolder)), m_vectaKey(std::move(vectaKey)) {}

    void Run();
    // Every check of Run() printed as skipped (the workspace did not load), one line for the add-ins.
    static void Skip(CDiagnosisReport& report, const std::wstring& why);

private:
    std::wstring Setting(const std::wstring& expression) const;
    void HostProgram();
    void StartArguments(const std::wstring& profile);
    void Waits();
    void LogFolder();
    void WorkspaceFolder();
    void Registrar();
    // The client's add-in folder for the configured release.
    std::wstring ZepFolder() const;
    void AddIns();
    void PublishOptions();
    void RunningInstances();

    CDiagnosisReport& m_report;
    const CExpressionEvaluator& m_evaluator;
    std::wstring m_logFolder;
    std::wstring m_vectaKey;
};

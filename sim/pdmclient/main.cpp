// caiclient: runs commands of the Vecta CAD integration the way the PDM client does.
#include "CCallback.h"
#include "CClientCommands.h"
#include "CCommandLine.h"
#include "CComponentSession.h"
#include "CConsoleUser.h"
#include "CDiagnosisReport.h"
#include "CExpressionEvaluator.h"
#include "CInstallationCheck.h"
#include "CInstalledPackage.h"
#include "CRegistrar.h"
#include "CWorkspace.h"
#include "CWorkspaceCheck.h"
#include "TextCodec.h"
#include "support/ScopeGuard.h"
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <iostream>

namespace {

enum ExitCode { kOk = 0, kCommandFailed = 1, kUsageError = 2, kNoComponent = 3, kRegistrationFailed = 4 };

std::string U8(const std::wstring& text) { return TextCodec::ToUtf8(text); }

std::string Hex(HRESULT hr) { return U8(TextCodec::HexCode(hr)); }

std::string Shown(const CCommandLine::Step& step) {
    std::string text = U8(step.command);
    for (const std::wstring* argument : {&step.first, &step.second})
        if (!argument->empty()) text += " \"" + U8(*argument) + "\"";
    return text;
}

std::vector<std::wstring> Arguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

int RunSteps(const CCommandLine& options) {
    CWorkspace workspace;
    std::wstring error;
    if (!workspace.Load(options.workspace, error)) {
        std::cerr << "caiclient: " << U8(error) << std::endl;
        return kUsageError;
    }
    if (!options.document.empty() && !workspace.SetCurrentDocument(options.document)) {
        std::cerr << "caiclient: --document " << U8(options.document) << ": no document record has this QELKEY" << std::endl;
        return kUsageError;
    }
    std::vector<CCommandLine::Step> steps = options.steps;
    if (!options.script.empty()) {
        std::string bytes;
        if (!TextCodec::ReadFileBytes(options.script, bytes, error) ||
            !CCommandLine::ParseScript(TextCodec::Decode(bytes), steps, error)) {
            std::cerr << "caiclient: " << U8(options.script) << ": " << U8(error) << std::endl;
            return kUsageError;
        }
    }

    // Unattended is the job server's run: the component goes quiet too, not only caiclient.
    if (options.unattended) workspace.RunAsJobServer();
    CConsoleUser user(std::cin, std::cout, std::cerr);
    user.SetAttended(!workspace.IsJobServer());
    const CExpressionEvaluator evaluator(workspace);
    CClientCommands commands(workspace, evaluator, user);
    ComPtr<ICAICallback> callback;
    if (FAILED(CCallback::Create(workspace, evaluator, commands, user, options.trace, callback))) return kNoComponent;
    const ScopeGuard disconnect([&] { CCallback::Disconnect(callback.get()); });

    CComponentSession session;
    if (const HRESULT hr = session.Create(options.progId); FAILED(hr)) {
        const bool unknown = hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG;
        // With the package installed --register leaves the component out: only its repair helps.
        const std::optional<CInstalledPackage> package = CInstalledPackage::Find();
        std::cerr << "caiclient: cannot create " << U8(options.progId) << ": HRESULT " << Hex(hr) << " ("
                  << (unknown ? "not registered" : U8(TextCodec::ErrorText(static_cast<DWORD>(hr))))
                  << (package ? "; the package QELDVecta17x " + U8(package->version) +
                                    " is installed: repair it: " + U8(package->RepairCommand())
                              : unknown ? std::string("; run caiclient --register")
                                        : std::string())
                  << ")" << std::endl;
        return kNoComponent;
    }
    int failures = 0;
    for (const CCommandLine::Step& step : steps) {
        if (step.selectsDocument) {
            const bool found = workspace.SetCurrentDocument(step.first);
            std::cout << ".document " << U8(step.first) << (found ? "" : ": no document record has this QELKEY") << std::endl;
            if (!found) ++failures;
            continue;
        }
        std::cout << "> " << Shown(step) << std::endl;
        // Arguments may name record fields ("#(FILE)"), as the PDM client fills them in.
        std::wstring first, second, reason;
        if (!evaluator.TryEvaluate(step.first, std::nullopt, first, reason) ||
            !evaluator.TryEvaluate(step.second, std::nullopt, second, reason)) {
            std::cout << "  not run: " << U8(reason) << "  FAILED" << std::endl;
            ++failures;
            continue;
        }
        long result = 0;
        const HRESULT hr = session.Run(callback.get(), step.command, first, second, result);
        const bool failed = FAILED(hr) || result != 0;
        std::cout << "  HRESULT " << Hex(hr) << ", result " << result << (failed ? "  FAILED" : "") << std::endl;
        if (failed) ++failures;
    }
    session.Close();
    return failures ? kCommandFailed : kOk;
}

// Every link the component needs on this machine and, with a workspace, in its settings.
int Diagnose(const CCommandLine& options) {
    CDiagnosisReport report(std::cout);
    CInstallationCheck(report, CInstalledPackage::Find()).Run();
    if (!options.workspace.empty()) {
        CWorkspace workspace;
        std::wstring error;
        // Loaded first: the error names the line and column of a syntax error.
        const bool loaded = workspace.Load(options.workspace, error);
        if (report.Check(L"workspace " + options.workspace, loaded, loaded ? workspace.Path() : error,
                         L"correct the workspace file")) {
            wchar_t folder[MAX_PATH];
            const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
            const CExpressionEvaluator evaluator(workspace);
            CWorkspaceCheck(report, evaluator, length > 0 && length < MAX_PATH ? std::wstring(folder, length) : L".").Run();
        } else {
            CWorkspaceCheck::Skip(report, L"the workspace does not load");
        }
    }
    return report.Finish() ? kCommandFailed : kOk;
}

int Main() {
    CCommandLine options;
    std::wstring error;
    if (!options.Parse(Arguments(), error)) {
        std::cerr << "caiclient: " << U8(error) << "\nTry caiclient --help" << std::endl;
        return kUsageError;
    }
    if (options.help) {
        std::cout << U8(CCommandLine::Usage());
        return kOk;
    }
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(init)) {
        std::cerr << "caiclient: COM cannot start: HRESULT " << Hex(init) << std::endl;
        return kNoComponent;
    }
    const ScopeGuard uninitialize([] { CoUninitialize(); });
    if (options.registerAll || options.unregisterAll) {
        CRegistrar registrar(options.folders, std::cout, !options.noComponent, CInstalledPackage::Find());
        const int failures = options.registerAll ? registrar.Register() : registrar.Unregister();
        return failures ? kRegistrationFailed : kOk;
    }
    if (options.diagnose) return Diagnose(options);
    return RunSteps(options);
}

}  // namespace

int main() {
    try {
        return Main();
    } catch (const std::exception& e) {
        std::cerr << "caiclient: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "caiclient: unexpected error" << std::endl;
    }
    return kUsageError;
}

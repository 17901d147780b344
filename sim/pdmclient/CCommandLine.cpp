#include "CCommandLine.h"
#include "TextCodec.h"
#include <cwctype>
#include <map>

namespace {

// Blank-separated words; double quotes keep blanks (and a trailing blank) inside one word.
bool SplitWords(const std::wstring& line, std::vector<std::wstring>& words, std::wstring& error) {
    for (size_t i = 0; i < line.size();) {
        if (std::iswspace(line[i])) {
            ++i;
        } else if (line[i] == L'"') {
            const size_t close = line.find(L'"', i + 1);
            if (close == std::wstring::npos) {
                error = L"missing closing quote";
                return false;
            }
            words.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = i;
            while (end < line.size() && !std::iswspace(line[end])) ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

bool MakeStep(const std::vector<std::wstring>& words, int line, CCommandLine::Step& step, std::wstring& error) {
    step = {};
    step.line = line;
    if (words[0] == L".document") {
        if (words.size() != 2) {
            error = L".document needs one QELKEY";
            return false;
        }
        step.selectsDocument = true;
        step.first = words[1];
        return true;
    }
    if (words.size() > 3) {
        error = L"a command takes at most two arguments (quote an argument that holds blanks)";
        return false;
    }
    step.command = words[0];
    if (words.size() > 1) step.first = words[1];
    if (words.size() > 2) step.second = words[2];
    return true;
}

}  // namespace

bool CCommandLine::Parse(const std::vector<std::wstring>& arguments, std::wstring& error) {
    const std::map<std::wstring, std::wstring*> valued = {
        {L"--workspace", &workspace}, {L"-w", &workspace}, {L"--script", &script}, {L"-s", &script},
        {L"--document", &document},   {L"--progid", &progId}};
    const std::map<std::wstring, bool*> flags = {
        {L"--help", &help},   {L"-h", &help},       {L"/?", &help},
        {L"--register", &registerAll}, {L"--unregister", &unregisterAll}, {L"--diagnose", &diagnose},
        {L"--trace", &trace}, {L"-v", &trace},      {L"--unattended", &unattended},
        {L"--no-component", &noComponent}};
    std::vector<std::wstring> positional;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& a = arguments[i];
        if (const auto f = flags.find(a); f != flags.end()) {
            *f->second = true;
        } else if (const auto v = valued.find(a); v != valued.end() || a == L"--from") {
            if (i + 1 >= arguments.size()) {
                error = a + L" needs a value";
                return false;
            }
            if (a == L"--from")
                folders.push_back(arguments[++i]);
            else
                *v->second = arguments[++i];
        } else if (a.size() > 1 && a[0] == L'-' && positional.empty()) {
            error = L"unknown option " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (registerAll && unregisterAll) {
        error = L"--register and --unregister exclude each other";
        return false;
    }
    if (noComponent && !registerAll && !unregisterAll) {
        error = L"--no-component goes with --register or --unregister";
        return false;
    }
    if (diagnose && (registerAll || unregisterAll)) {
        error = L"--diagnose runs alone, without --register or --unregister";
        return false;
    }
    if (diagnose && (!positional.empty() || !script.empty())) {
        error = L"--diagnose runs no commands";
        return false;
    }
    if (help || registerAll || unregisterAll) return true;
    if (diagnose) return true;
    if (workspace.empty()) {
        error = L"no workspace file (--workspace FILE)";
        return false;
    }
    if (positional.empty() == script.empty()) {
        error = script.empty() ? L"no command: give COMMAND [ARG1 [ARG2]] or --script FILE"
                               : L"give either a command or --script FILE, not both";
        return false;
    }
    if (!positional.empty()) {
        Step step;
        if (!MakeStep(positional, 0, step, error)) return false;
        steps.push_back(step);
    }
    return true;
}

bool CCommandLine::ParseScript(const std::wstring& text, std::vector<Step>& steps, std::wstring& error) {
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const std::wstring trimmed = TextCodec::Trim(line);
        if (trimmed.empty() || trimmed[0] == L'#' || trimmed[0] == L';') continue;
        std::vector<std::wstring> words;
        std::wstring reason;
        Step step;
        if (!SplitWords(line, words, reason) || !MakeStep(words, number, step, reason)) {
            error = L"line " + std::to_wstring(number) + L": " + reason;
            return false;
        }
        steps.push_back(step);
    }
    return true;
}

std::wstring CCommandLine::Usage() {
    return LR"usage(caiclient - a command-line PDM client for the Vecta CAD integration

Usage:
  caiclient --workspace FILE [options] COMMAND [ARG1 [ARG2]]
  caiclient --workspace FILE [options] --script FILE
  caiclient --register   [--no-component] [--from FOLDER]...
  caiclient --unregister [--no-component] [--from FOLDER]...
  caiclient --diagnose [--workspace FILE]
  caiclient --help

caiclient creates the integration component through COM by its ProgID and runs each command
through ICAI_Call::Run, handing it a callback object that answers from the workspace. For each
command it prints the command, the HRESULT in hex and the result code.

Options:
  -w, --workspace FILE  the JSON workspace (below)
  -s, --script FILE     commands to run, one per line: COMMAND [ARG1 [ARG2]]; arguments with
                        blanks in double quotes; lines starting with # or ; are comments;
                        ".document QELKEY" makes another document record the current one.
                        Expressions in arguments are filled in first: QELDOPEN "#(FILE)"
  --document QELKEY     the current document record (default: "currentDocument")
  --progid ID           the component (default QELDVecta17x.CAI_Call)
  --unattended          run as the PDM client's job server does, as "jobServer": true in the
                        workspace: JobServerRunning is 1, so the component runs in quiet mode
                        (messages and questions go to its log, questions answered Yes), and
                        #(=isJobServer()) is TRUE; caiclient's own questions take their default
  -v, --trace           print every expression and client command the component sends
  --register            register, in the current Wine prefix or Windows user: cai_dll.tlb,
                        QELDVecta17x.dll, QELDVecta17Instance.dll (DllRegisterServer) and
                        VectaSim.exe (/regserver); each is looked for beside caiclient.exe and
                        in every --from folder, and skipped with a message when absent.
                        The component is left out while its package QELDVecta17x-<version>.msi
                        is installed: the package owns its class
  --no-component        with --register or --unregister: leave the component out
  --unregister          removes the same registrations
  --diagnose            checks every link the component needs on this machine and prints one
                        line per check: "ok", or "FAILED" with what to do (see Diagnosis)
  -h, --help            this text

Workspace (JSON, UTF-8):
  "clientVersion"    the client version (_VNTXVER), e.g. 530
  "jobServer"        true: runs unattended (JobServerRunning=1, #(=isJobServer()) is TRUE)
  "settings"         {"Appl": {...}, "DTY": {...}} answered to #(Appl:Name) and #(DTY:Name)
  "environment"      variables answered to $(NAME); ___Environment changes them for the run
  "messages"         message texts by key; VX16003 is the caption of every message
  "searchPath"       folders for #(FindFile ...) and #(Appl:SearchPath)
  "documents"        records of Folder_All_Document: QELKEY, FILE_TYPE, FILE (path),
                     OLD_DOC_QELKEY, WRITE_RIGHT (true/false), OBSOLETE, any other field
  "references"       [{"parent": QELKEY, "child": QELKEY}], seen as Folder_xref_Child_Document
                     (the child's fields plus X_PARENT_QELKEY)
  "currentDocument"  the QELKEY of the record that #(FIELD) reads
  Texts may hold %WORKSPACE% (the workspace folder) and %NAME% (process environment).
  Database changes (___ForRela ... ___ChangeField) are written back to the file at once,
  through a temporary file that then replaces it.

Expressions: #(FIELD) #(Appl:Name) #(DTY:Name) #(=isJobServer()) #(=crdynamic("W"))
  #(FindFile "name" "folders" :| or :/)  $(NAME)  @(where ["db=Table"] "condition" #(...))
  @(QELKEYfromPath "path")  @(Appl:Name); shapes after a name: :-default :/ :/+ :/- :| :|+ :|-
  An answer starting with "!" says why an expression could not be evaluated.

Client commands: ___Environment ___Shell ___Prepare ___ForAllRela ___ForRela ___ChangeField
  m_ReportObsoleteDocuments

Diagnosis (--diagnose): in the 32-bit registry view, the component class
  {A43E0AB3-7A1F-44D1-8E59-E9462ED646AD} with its file (present, a server, version), the
  installed package QELDVecta17x-<version>.msi, that its DLL is there and that the class names
  it, the ProgIDs QELDVecta17x.CAI_Call.1 and QELDVecta17x.CAI_Call, the component type library
  {2770193E-CD7B-4FA1-A2F1-A6E36070E06E} 1.0, the PDM client type library cai_dll.tlb
  {5D44F094-D3C1-11D3-8314-00A0C98B5456} 2.0 and the ICAI_Call interface key leading to it,
  the instance moniker classes QELDVecta17Instance and QELDVecta16Instance (registered, file
  a server). Server files are read as data, never loaded. With --workspace: the profile, the
  host program (#(Appl:ExeFileName); a bare name only in the absolute folders of PATH), that
  the start arguments (#(Appl:OpenArgument)) name the profile, the two waits (at most
  3600000), that the working folder takes the log vx17log.err (a plain, writable file when it
  exists), that the workspace folder ($(WSPATH:/+)) takes a file, Vecta's release key
  HKCU\Software\Tessaro\Vecta\<#(Appl:VectaVersion)> with its CurVer, the registrar add-in
  file, every add-in of #(Appl:AddIns), the publishing options file, and the Vecta instances
  running now with their profiles (none under another profile alone). Exit status 0 when
  every check passed, 1 otherwise. A check that depends on a failed one, or on a workspace that
  does not load, is printed as "skipped", so one workspace always gives the same number of lines.

Exit status: 0 all commands succeeded (HRESULT not negative and result code 0); 1 a command
  failed; 2 a usage, workspace or script error; 3 the component could not be created;
  4 a registration failed.
)usage";
}

// QELDPUBLISHPSX as the PDM client runs it: caiclient.exe creates the component, which finds
// or starts VectaSim through the client and has the simulated PDM add-in write the PSX file.
#include "fakes/CSimProcess.h"
#include "fakes/CapturedProcess.h"
#include "fakes/FileAge.h"
#include "fakes/LogReader.h"
#include "fakes/TempFolder.h"
#include "fakes/WaitLimit.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <atomic>
#include <regex>
#include <sstream>
#include <thread>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

constexpr std::int64_t kHour = 3600;
const char kDrawing[] = "VECTA DRAWING 1\nKEY=Q-1001\nTITLE.DESCRIPTION=Bracket\n";

std::wstring WindowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c);
    return out;
}

// A JSON string literal of a Windows path.
std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (char c : Narrow(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L".." && name != L"vx17log.err") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
    size_t n = 0;
    for (const std::string& line : lines) n += line.find(part) != std::string::npos;
    return n;
}

// True when the lines hold the parts in this order, each in a later line than the one before.
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& parts) {
    size_t next = 0;
    for (const std::string& line : lines)
        if (next < parts.size() && line.find(parts[next]) != std::string::npos) ++next;
    return next == parts.size();
}

// One test's world: a workspace file, a drawing, a control file and trace for VectaSim under
// a profile of its own, and the component's log in the test folder.
class PublishEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::wstring command = L"\"" + WindowsPath(CAICLIENT_EXE) + L"\" --register --from \"" +
                                     FolderOf(WindowsPath(COMPONENT_DLL)) + L"\" --from \"" +
                                     FolderOf(CSimProcess::SimPath()) + L"\" --from \"" +
                                     FolderOf(CSimProcess::MonikerDllPath()) + L"\" --from \"" +
                                     FolderOf(WindowsPath(CAI_TLB)) + L"\"";
        ASSERT_EQ(RunProcess(command, CSimProcess::WorkFolder()), 0u);
    }

    PublishEndToEndTest() {
        // The simulators a test leaves behind are reached through COM, as the client does.
        EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        static int counter = 0;
        profile = L"Publish" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
        CreateDirectoryW(folder.File(L"ws").c_str(), nullptr);
        CreateDirectoryW(folder.File(L"d").c_str(), nullptr);
        workspace = folder.File(L"ws");
        drawing = folder.File(L"d\\plan.vdr");
        target = folder.File(L"d\\plan.psx");
        TempFolder::WriteBytes(drawing, kDrawing);
        Control("{}");
    }

    ~PublishEndToEndTest() override {
        // Whatever the test did, no simulator of its profile outlives it.
        for (int attempt = 0; attempt < 3; ++attempt) {
            ComPtr<IVectaApplication> app;
            if (FAILED(CSimProcess::Bind(L"QELDVecta17Instance", profile, app.put()))) break;
            (void)app->Quit();
            Sleep(200);
        }
        CoUninitialize();
    }

    void Control(const std::string& json) { TempFolder::WriteBytes(folder.File(L"control.json"), json); }

    std::string WorkspaceJson() const {
        const std::wstring openArgument = L"/profile " + profile + L" /release R17 /version " + version +
                                          L" /control \"" + folder.File(L"control.json") + L"\" /trace \"" +
                                          folder.File(L"trace.txt") + L"\" /idle 30";
        return "{\n"
               "  \"clientVersion\": 530,\n"
               "  \"jobServer\": true,\n"
               "  \"settings\": {\n"
               "    \"Appl\": {\"Profile\": " + Json(profile) + ", \"ExeFileName\": " + Json(CSimProcess::SimPath()) +
               ", \"OpenArgument\": " + Json(openArgument) +
               ", \"VectaVersion\": \"R17.2\"" +
               ", \"ApplicationName\": \"Vecta\", \"WaitForStartup\": 20000, \"WaitForActiveCommand\": 2000, \"LogLevel\": 2},\n"
               "    \"DTY\": {\"CONTAINERKEY\": \"Q-1001\", \"ContainerAutoPSX\": " + Json(target) + "}\n"
               "  },\n"
               "  \"environment\": {\"WSPATH\": " + Json(workspace) + ", \"USERID\": \"jdoe\"},\n"
               "  \"messages\": {\"VX16003\": \"Fennory Professional\", \"VX16507\": \"The PSX file could not be published.\"},\n"
               "  \"documents\": [{\"QELKEY\": \"Q-1001\", \"FILE_TYPE\": \"DWG\", \"FILE\": " + Json(drawing) + "}],\n"
               "  \"currentDocument\": \"Q-1001\"\n"
               "}\n";
    }

    // Runs the commands, one per line, through caiclient; its output is kept in out.
    DWORD Client(const std::vector<std::wstring>& script) {
        TempFolder::WriteBytes(folder.File(L"workspace.json"), WorkspaceJson());
        std::string text;
        for (const std::wstring& line : script) text += Narrow(line) + "\n";
        TempFolder::WriteBytes(folder.File(L"script.txt"), text);
        const DWORD code = RunProcess(L"\"" + WindowsPath(CAICLIENT_EXE) + L"\" -w \"" + folder.File(L"workspace.json") +
                                          L"\" --script \"" + folder.File(L"script.txt") + L"\"",
                                      folder.Path(), &out);
        return code;
    }

    // Publishes the drawing and quits the simulator again; the publishing answer line.
    std::string Publish(const std::wstring& path) {
        Client({L"QELDPUBLISHPSX \"" + path + L"\"", L"QELDQUIT"});
        const std::vector<std::string> lines = Lines(out);
        // The answer follows the command, after what the client reports meanwhile.
        bool asked = false;
        for (const std::string& line : lines) {
            asked = asked || line.rfind("> QELDPUBLISHPSX", 0) == 0;
            if (asked && line.rfind("  HRESULT", 0) == 0) return line;
        }
        ADD_FAILURE() << "no publishing answer in:\n" << out;
        return {};
    }

    std::vector<std::string> Trace() const { return Lines(TempFolder::ReadBytes(folder.File(L"trace.txt"))); }
    // The log lands in caiclient's working folder, which Wine's ShellExecuteEx leaves at the
    // workspace once the client has started the simulator there.
    std::vector<std::wstring> Log() const {
        std::vector<std::wstring> entries;
        for (const std::wstring& path : {folder.File(L"vx17log.err"), workspace + L"\\vx17log.err"})
            for (const std::wstring& entry : LogReader(path).Messages()) entries.push_back(entry);
        return entries;
    }
    void RemoveLog() const {
        LogReader::Remove(folder.File(L"vx17log.err"));
        LogReader::Remove(workspace + L"\\vx17log.err");
    }
    std::wstring LockPath(const std::wstring& name = L"plan") const { return workspace + L"\\" + name + L".psxlck"; }

    static DWORD RunProcess(const std::wstring& commandLine, const std::wstring& directory,
                            std::string* output = nullptr) {
        const CapturedProcess run = CapturedProcess::Run(commandLine, directory, L"caiclient-out.txt", 200000);
        if (output) *output = run.output;
        return run.exitCode;
    }

    TempFolder folder;
    std::wstring profile;
    std::wstring version = L"17.2";
    std::wstring workspace, drawing, target;
    std::string out;
};

TEST_F(PublishEndToEndTest, PublishOnCloseWritesThePsxFile) {
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x00000000, result 0") << out;
    EXPECT_EQ(TempFolder::ReadBytes(target).rfind("VECTA PSX 1\nSOURCE=plan.vdr\nKEY=Q-1001\n", 0), 0u);
    const std::vector<std::string> trace = Trace();
    EXPECT_EQ(CountContaining(trace, "AddIn.Publish("), 1u);
    // The add-in publishes while the drawing closes without saving; the empty command follows.
    EXPECT_TRUE(InOrder(trace, {"AddIn.SetSymbol(\"PSXFilename\", \"" + Narrow(target) + "\")",
                                "AddIn.SetSymbol(\"PublishPSXFromCAI\", \"1\")", "AddIn.Publish(",
                                "Document[plan.vdr].Close(i4:0, missing)", "Document[plan.vdr].SendCommand(\"\")"}));
    EXPECT_EQ(CountContaining(trace, ".Save()"), 0u);
    EXPECT_THAT(Log(), Contains(L"Info: PublishPSX: Publish PSX on close"));
    EXPECT_FALSE(Exists(LockPath()));
}

TEST_F(PublishEndToEndTest, RetryOnSaveRunsOnceOnACopyThatIsGoneAfterwards) {
    Control(R"({"publishOutcome": "4", "saveBackup": true})");
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x80004005, result 3  FAILED") << out;
    const std::vector<std::string> trace = Trace();
    EXPECT_EQ(CountContaining(trace, "AddIn.Publish("), 2u);
    EXPECT_EQ(CountContaining(trace, "Documents.Open("), 2u);
    // The client hands out the workspace with forward slashes.
    std::string copyFolder = "Documents.Open(\"" + Narrow(workspace) + "/~psx{";
    std::replace(copyFolder.begin(), copyFolder.end(), '\\', '/');
    EXPECT_EQ(CountContaining(trace, copyFolder), 1u);
    EXPECT_EQ(CountContaining(trace, ".Save() = "), 1u);
    // On the copy the add-in publishes on save, is switched off, and the copy closes unsaved.
    EXPECT_TRUE(InOrder(trace, {"Document[plan.vdr].Close(i4:0, missing)", "AddIn.SetSymbol(\"PublishPSXFromCAI\", \"1\")",
                                "AddIn.Publish(", "Document[plan.vdr].Save()",
                                "AddIn.SetSymbol(\"PublishPSXFromCAI\", \"0\")", "Document[plan.vdr].Close(i4:0, missing)"}));
    const std::vector<std::wstring> log = Log();
    EXPECT_THAT(log, Contains(L"Error: The PSX file could not be published."));
    EXPECT_THAT(log, Contains(L"Error: PublishPSX: Failed to publish PSX on close, try to publish PSX on save for temporary copy"));
    EXPECT_THAT(log, Contains(L"Info: PublishPSX: Publish PSX on save for temporary copy of the document"));
    // No copy, backup, folder or lock is left, and the drawing is as it was.
    EXPECT_THAT(FolderEntries(workspace), Not(Contains(::testing::StartsWith(L"~psx"))));
    EXPECT_FALSE(Exists(LockPath()));
    EXPECT_EQ(TempFolder::ReadBytes(drawing), kDrawing);
}

// While the host opens the copy, nobody can rename the fallback's folder to swap in a link
// to another one, whose files the host would then save over and the clean-up delete.
TEST_F(PublishEndToEndTest, TheFallbacksFolderCannotBeSwappedWhileInUse) {
    Control(R"({"publishOutcome": "4", "openHangMs": 1500})");
    std::atomic<bool> done{false};
    bool seen = false, renamed = false;
    std::thread swapper([&] {
        for (; !done && !seen; Sleep(20))
            for (const std::wstring& entry : FolderEntries(workspace)) {
                if (entry.rfind(L"~psx", 0) != 0) continue;
                seen = true;
                renamed = MoveFileW((workspace + L"\\" + entry).c_str(), (workspace + L"\\moved").c_str());
            }
    });
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x80004005, result 3  FAILED") << out;
    done = true;
    JoinWithin(swapper, "the folder swapper");
    EXPECT_TRUE(seen);
    EXPECT_FALSE(renamed);
    EXPECT_THAT(FolderEntries(workspace), Not(Contains(::testing::StartsWith(L"~psx"))));
}

TEST_F(PublishEndToEndTest, ADrawingInTheWorkspaceSurvivesTheFallback) {
    struct Row {
        const char* name;
        std::wstring path;  // as the client passes it
        bool readOnly;
    } rows[] = {
        {"read-only", workspace + L"\\plan.vdr", true},
        // Windows also separates with "/" and removes ".." by text: the name is the last part.
        {"path through other folders", workspace + L"\\sub\\a/../../plan.vdr", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        drawing = workspace + L"\\plan.vdr";
        const std::string bytes = std::string(kDrawing) + "TITLE.REVISION=C\n";
        TempFolder::WriteBytes(drawing, bytes);
        if (row.readOnly) SetFileAttributesW(drawing.c_str(), FILE_ATTRIBUTE_READONLY);
        DeleteFileW(folder.File(L"trace.txt").c_str());
        Control(R"({"publishOutcome": "4"})");
        EXPECT_EQ(Publish(row.path), "  HRESULT 0x80004005, result 3  FAILED") << out;
        EXPECT_EQ(CountContaining(Trace(), "AddIn.Publish("), 2u);
        EXPECT_EQ(TempFolder::ReadBytes(drawing), bytes);
        // The drawing's attributes are not the component's to change.
        EXPECT_EQ(GetFileAttributesW(drawing.c_str()) & FILE_ATTRIBUTE_READONLY, row.readOnly ? FILE_ATTRIBUTE_READONLY : 0u);
        SetFileAttributesW(drawing.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_THAT(FolderEntries(workspace), ::testing::UnorderedElementsAre(L"plan.vdr"));
    }
}

TEST_F(PublishEndToEndTest, AnotherOutcomeLeavesALockThatRefusesTheNextPublication) {
    Control(R"({"publishOutcome": "7"})");
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x80004005, result 3  FAILED") << out;
    EXPECT_THAT(Log(), Contains(L"Error: PublishPSX: Failed to publish PSX"));
    const std::string lock = TempFolder::ReadBytes(LockPath());
    ASSERT_GE(lock.size(), 2u);
    EXPECT_EQ(lock.substr(0, 2), "\xFF\xFE");
    std::wstring text;
    for (size_t i = 2; i + 1 < lock.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(lock[i]) | (static_cast<unsigned char>(lock[i + 1]) << 8));
    EXPECT_TRUE(std::regex_match(text, std::wregex(L"[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [0-9]{4}: jdoe")))
        << Narrow(text);

    // The next publication is refused before any host contact: no simulator starts.
    Control("{}");
    DeleteFileW(folder.File(L"trace.txt").c_str());
    RemoveLog();
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x80004005, result 3  FAILED") << out;
    EXPECT_FALSE(Exists(folder.File(L"trace.txt")));
    EXPECT_THAT(Log(), Not(Contains(HasSubstr(L"PublishPSX"))));
    EXPECT_TRUE(Exists(LockPath()));
}

TEST_F(PublishEndToEndTest, LockAgeAndDrawingChangesDecide) {
    struct Row {
        const char* name;
        std::int64_t lockAge, drawingAge;
        bool readOnlyLock;
        const char* answer;
        bool lockRemains;
    } rows[] = {
        {"older than twelve hours", 12 * kHour + 60, 13 * kHour, false, "  HRESULT 0x00000000, result 0", false},
        {"drawing modified after the lock", kHour, 0, false, "  HRESULT 0x00000000, result 0", false},
        {"undeletable expired lock", 13 * kHour, 14 * kHour, true, "  HRESULT 0x80004005, result 3  FAILED", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeleteFileW(target.c_str());
        TempFolder::WriteBytes(LockPath(), std::string("\xFF\xFE", 2));
        ASSERT_TRUE(SetFileAge(drawing, row.drawingAge));
        ASSERT_TRUE(SetFileAge(LockPath(), row.lockAge));
        if (row.readOnlyLock) SetFileAttributesW(LockPath().c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(Publish(drawing), row.answer) << out;
        EXPECT_EQ(Exists(LockPath()), row.lockRemains);
        EXPECT_EQ(Exists(target), !row.lockRemains);
        SetFileAttributesW(LockPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(LockPath().c_str());
    }
}

TEST_F(PublishEndToEndTest, ADrawingWithoutExtensionLocksAsDotPsxlck) {
    drawing = folder.File(L"d\\plan");
    TempFolder::WriteBytes(drawing, kDrawing);
    Control(R"({"publishOutcome": "7"})");
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x80004005, result 3  FAILED") << out;
    EXPECT_TRUE(Exists(LockPath(L"")));
}

TEST_F(PublishEndToEndTest, HostAndTargetFailuresGiveTheirCodes) {
    struct Row {
        const char* name;
        const char* control;
        bool readOnlyTarget;
        const char* answer;
        const wchar_t* entry;
        std::vector<std::string> traced = {};  // in this order
    } rows[] = {
        {"read-only target", "{}", true, "  HRESULT 0x80070005, result 2  FAILED", nullptr},
        {"add-in without its interface", R"({"addIn": "nointerface"})", false, "  HRESULT 0x80004002, result 1  FAILED",
         L"Error: PublishPSX: Interface Derudir.VntApplication2 not compatible"},
        {"no add-in object", R"({"addIn": "missing"})", false, "  HRESULT 0x80040154, result 3  FAILED",
         L"Error: PublishPSX: Failed to get interface Derudir.VntApplication2 (hr = 80040154)"},
        // A close or save that failed never let the add-in run: the preset outcome is not read,
        // and the attempt fails as a failed publication does, whatever the host's own code.
        {"close fails", R"({"closeFails": true})", false, "  HRESULT 0x80004005, result 3  FAILED",
         L"Error: PublishPSX: IVectaDocument->Close() failed (hr = 80004005)",
         {"Document[plan.vdr].Close(i4:0, missing) = 80004005", "Document[plan.vdr].SendCommand(\"\")"}},
        {"close refused", R"({"fails": {"Document.Close": "0x80070005"}})", false, "  HRESULT 0x80004005, result 3  FAILED",
         L"Error: PublishPSX: IVectaDocument->Close() failed (hr = 80070005)",
         {"Document[plan.vdr].Close() = 80070005", "Document[plan.vdr].SendCommand(\"\")",
          "AddIn.SetSymbol(\"PublishPSXFromCAI\", \"0\")"}},
        {"fallback save fails", R"({"saveFails": true, "publishOutcome": "4"})", false,
         "  HRESULT 0x80004005, result 3  FAILED", L"Error: PublishPSX: IVectaDocument->Save() failed (hr = 80004005)"},
        {"fallback save refused", R"({"fails": {"Document.Save": "0x80070005"}, "publishOutcome": "4"})", false,
         "  HRESULT 0x80004005, result 3  FAILED", L"Error: PublishPSX: IVectaDocument->Save() failed (hr = 80070005)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Control(row.control);
        TempFolder::WriteBytes(target, "VECTA PSX 1\n");
        if (row.readOnlyTarget) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
        RemoveLog();
        DeleteFileW(folder.File(L"trace.txt").c_str());
        EXPECT_EQ(Publish(drawing), row.answer) << out;
        const std::wstring expected = row.entry ? row.entry : L"Error: PublishPSX: PSX File is read-only: " + target;
        EXPECT_THAT(Log(), Contains(expected));
        EXPECT_TRUE(InOrder(Trace(), row.traced));
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_FALSE(Exists(LockPath()));
    }
}

TEST_F(PublishEndToEndTest, NoFallbackWithoutAWorkspaceFolderToCopyInto) {
    workspace = folder.File(L"missing");
    Control(R"({"publishOutcome": "4"})");
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x80070003, result 3  FAILED") << out;
    EXPECT_EQ(CountContaining(Trace(), "AddIn.Publish("), 1u);
    EXPECT_FALSE(Exists(workspace));
    EXPECT_EQ(TempFolder::ReadBytes(drawing), kDrawing);
}

TEST_F(PublishEndToEndTest, AnUnsupportedVersionIsLoggedAndStillPublishes) {
    version = L"18.0";
    EXPECT_EQ(Publish(drawing), "  HRESULT 0x00000000, result 0") << out;
    EXPECT_THAT(Log(), Contains(L"Error: PublishPSX: This Vecta version (18.0) does not support PSX publishing."));
    EXPECT_TRUE(Exists(target));
}

// The host stays stuck in the open: the client gets its answer at the limit and, holding
// nothing of that host, ends its apartment and exits at once.
TEST_F(PublishEndToEndTest, SlowAnOpenThatHangsTimesOut) {
    Control(R"({"openHold": true})");
    const DWORD begin = GetTickCount();
    Client({L"QELDPUBLISHPSX \"" + drawing + L"\""});
    const DWORD took = GetTickCount() - begin;
    Control("{}");
    EXPECT_THAT(Lines(out), Contains("  HRESULT 0x800705B4, result 1  FAILED")) << out;
    EXPECT_GE(took, 120000u);
    EXPECT_LT(took, 130000u);
    EXPECT_THAT(Log(), Contains(L"Error: OpenDocumentWithTimeout: Time-out interval elapsed -> terminate thread"));
    EXPECT_FALSE(Exists(LockPath()));
}

}  // namespace

// The title commands from end to end: caiclient.exe answers from a JSON workspace and
// creates the registered component, which finds (or has the client start) VectaSim.
#include "TitleHost.h"
#include "VectaTestSupport.h"
#include "fakes/CSimProcess.h"
#include "support/UniqueHandle.h"
#include <gmock/gmock.h>

using namespace vecta_test;
using ::testing::HasSubstr;

namespace {

std::wstring WindowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

std::string JsonText(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out += '\\';
        out += static_cast<char>(c);
    }
    return out;
}

struct ClientRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // the command, its HRESULT and result code
};

// Runs caiclient.exe in the work folder; its standard output is kept in a file there.
ClientRun RunCaiclient(const std::wstring& arguments) {
    const std::wstring outputFile = InWorkFolder(L"caiclient.out");
    ClientRun run;
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        UniqueHandle output(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        std::wstring commandLine = L"\"" + WindowsPath(CAICLIENT_EXE) + L"\" " + arguments;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start caiclient.exe: " << GetLastError();
            return run;
        }
        const UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 90000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    run.output = ReadAll(outputFile);
    return run;
}

class CaiclientTitleTest : public ::testing::Test {
protected:
    // The Wine prefix is shared: the component, the moniker provider, the simulator and the
    // client's type library are registered by this suite itself.
    static void SetUpTestSuite() {
        const ClientRun run = RunCaiclient(L"--register --from \"" + WindowsPath(COMPONENT_DIR) + L"\" --from \"" +
                                           WindowsPath(VECTASIM_DIR) + L"\" --from \"" + WindowsPath(INSTANCE_DIR) +
                                           L"\"");
        ASSERT_EQ(run.exitCode, 0u) << run.output;
    }

    CaiclientTitleTest() {
        CreateDirectoryW(InWorkFolder(L"ini").c_str(), nullptr);
        WriteAll(InWorkFolder(L"ini\\qeldtitleimport.ini"), "[Title]\r\nDESCRIPTION=x\r\n");
    }

    // No simulator may outlive the test, whoever started it.
    ~CaiclientTitleTest() override {
        SetFileAttributesW(drawing.c_str(), FILE_ATTRIBUTE_NORMAL);
        ComPtr<IVectaApplication> app;
        if (SUCCEEDED(CSimProcess::Bind(L"QELDVecta17Instance", profile, app.put()))) (void)app->Quit();
    }

    void WriteWorkspace(const std::string& addIns) {
        const std::string appl = "\"LogLevel\": \"1\", \"Profile\": \"" + JsonText(profile) +
                                 "\", \"VectaVersion\": \"R17.1\", \"WaitForStartup\": \"20000\", \"AddIns\": \"" +
                                 addIns + "\", \"ExeFileName\": \"" + JsonText(CSimProcess::SimPath()) +
                                 "\", \"OpenArgument\": \"/profile " + JsonText(profile) +
                                 " /release R17 /idle 20 /control " + JsonText(InWorkFolder(L"control.json")) + "\"";
        WriteAll(InWorkFolder(L"ws.json"),
                 "{\"clientVersion\": 530, \"settings\": {\"Appl\": {" + appl + "}}, \"searchPath\": [\"" +
                     JsonText(InWorkFolder(L"ini")) + "\"], \"documents\": [{\"QELKEY\": \"Q-1001\", \"FILE\": \"" +
                     JsonText(drawing) + "\", \"WRITE_RIGHT\": true, \"DESCRIPTION\": \"Updated\", \"MATERIAL\": "
                     "\"Brass\"}], \"currentDocument\": \"Q-1001\"}");
    }

    ClientRun Run(const std::wstring& command) {
        return RunCaiclient(L"-w \"" + InWorkFolder(L"ws.json") + L"\" " + command + L" \"" + drawing + L"\"");
    }

    std::wstring profile = UniqueProfile(L"TitleClient");
    std::wstring drawing = title_test::DrawingPath();
};

TEST_F(CaiclientTitleTest, RefusedImportsAnswerTheirOutcomeWithoutAHost) {
    struct Row {
        const char* name;
        const char* ini;  // null: none on the search path
        DWORD attributes;
        const char* result;
    } rows[] = {
        {"no import INI", nullptr, FILE_ATTRIBUTE_NORMAL, "HRESULT 0x00000000, result 1"},
        {"entry-less import INI", "[Title]\r\n", FILE_ATTRIBUTE_NORMAL, "HRESULT 0x00000000, result 1"},
        {"read-only drawing", "[Title]\r\nDESCRIPTION=x\r\n", FILE_ATTRIBUTE_READONLY, "HRESULT 0x00000000, result 4"},
    };
    WriteWorkspace("");
    WriteAll(drawing, kDrawing);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeleteFileW(InWorkFolder(L"ini\\qeldtitleimport.ini").c_str());
        if (row.ini) WriteAll(InWorkFolder(L"ini\\qeldtitleimport.ini"), row.ini);
        SetFileAttributesW(drawing.c_str(), row.attributes);
        const ClientRun run = Run(L"QELDIMPORTTITLEATTRIBUTES");
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_THAT(run.output, HasSubstr(row.result));
        ComPtr<IVectaApplication> app;
        EXPECT_TRUE(FAILED(CSimProcess::Bind(L"QELDVecta17Instance", profile, app.put()))) << "a host was started";
    }
}

TEST_F(CaiclientTitleTest, CommandsStartTheHostAndAnswerTheirOutcome) {
    struct Row {
        const char* name;
        const wchar_t* command;
        std::string addIns;
        const char* control;
        const char* result;
        const char* drawingLine;  // in the drawing afterwards
    } rows[] = {
        {"update with the BOM add-in", L"QELDUPDATETITLEBLOCKS", "qeldtools.zep,qeldmxbom17.zep", "{}",
         "HRESULT 0x00000000, result 0", "PART.MATERIAL=Brass\n"},
        {"update without it", L"QELDUPDATETITLEBLOCKS", "QELDMXBOM17.ZEP", "{}", "HRESULT 0x00000000, result 0",
         "PART.MATERIAL=Steel\n"},
        {"update with a refused save", L"QELDUPDATETITLEBLOCKS", "", "{\"saveFails\": true}",
         "HRESULT 0x80004005, result 1", "TITLE.DESCRIPTION=Bracket\n"},
        {"import refused by the add-in", L"QELDIMPORTTITLEATTRIBUTES", "", "{\"importOutcome\": \"7\"}",
         "HRESULT 0x00000000, result 7", "TITLE.DESCRIPTION=Bracket\n"},
        {"import", L"QELDIMPORTTITLEATTRIBUTES", "", "{}", "HRESULT 0x00000000, result 0",
         "TITLE.DESCRIPTION=Updated\n"},
        {"drawing the host cannot open", L"QELDIMPORTTITLEATTRIBUTES", "", "{\"openFails\": \"0x80004005\"}",
         "HRESULT 0x00000000, result -1", "TITLE.DESCRIPTION=Bracket\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteWorkspace(row.addIns);
        WriteAll(drawing, kDrawing);
        WriteAll(InWorkFolder(L"control.json"), row.control);
        DeleteFileW(InWorkFolder(L"vx17log.err").c_str());
        const ClientRun run = Run(row.command);
        EXPECT_THAT(run.output, HasSubstr(row.result));
        EXPECT_THAT(ReadAll(drawing), HasSubstr(row.drawingLine));
    }
}

}  // namespace

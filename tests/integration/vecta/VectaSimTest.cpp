// VectaSim in its own process, found through the real instance moniker and driven through
// cross-process marshalling, as the component will drive it.
#include "fakes/CSimProcess.h"
#include "fakes/WaitLimit.h"
#include "CTestCallback.h"
#include "VectaTestSupport.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include "support/UniqueVariant.h"
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace vecta_test;

constexpr wchar_t kClass17[] = L"QELDVecta17Instance";
constexpr wchar_t kClass16[] = L"QELDVecta16Instance";

using VectaSim = RegisteredSim;

TEST_F(VectaSim, OpensChangesSavesAndClosesADrawingAcrossProcesses) {
    const std::wstring path = InWorkFolder(L"cross.vdr");
    WriteAll(path, kDrawing);
    const std::wstring trace = InWorkFolder(L"cross.trace");
    DeleteFileW(trace.c_str());
    CSimProcess sim;
    ASSERT_EQ(sim.Start(UniqueProfile(L"Cross"), L"R17", L"/trace \"" + trace + L"\""), S_OK);

    ComPtr<IVectaDocument> document;
    ASSERT_EQ(OpenDrawing(sim.App(), path, document), S_OK);
    UniqueBstr fullName;
    ASSERT_EQ(document->get_FullName(fullName.put()), S_OK);
    EXPECT_EQ(fullName.str(), path);

    UniqueBstr command(L"QELDChangeTitleKey Q-1001 Q-1009 ");
    ASSERT_EQ(document->SendCommand(command.get()), S_OK);
    VARIANT_BOOL saved = VARIANT_TRUE;
    ASSERT_EQ(document->get_Saved(&saved), S_OK);
    EXPECT_EQ(saved, VARIANT_FALSE);
    ASSERT_EQ(document->Save(), S_OK);
    ASSERT_EQ(document->Close(CVectaArgument::Index(0), CVectaArgument::Missing()), S_OK);
    EXPECT_EQ(DocumentCount(sim.App()), 0);

    const std::string content = ReadAll(path);
    EXPECT_NE(content.find("KEY=Q-1009\n"), std::string::npos) << content;
    EXPECT_EQ(content.find("Q-1001"), std::string::npos) << content;

    const std::string recorded = ReadAll(trace);
    const std::string windowsPath(path.begin(), path.end());
    for (const std::string& line : {"Documents.Open(\"" + windowsPath + "\", i4:0, i4:0) = 00000000",
                                    std::string("Document[cross.vdr].SendCommand(\"QELDChangeTitleKey Q-1001 Q-1009 \") = 00000000"),
                                    std::string("Document[cross.vdr].Close(i4:0, missing) = 00000000")}) {
        SCOPED_TRACE(line);
        EXPECT_NE(recorded.find(line + "\n"), std::string::npos) << recorded;
    }
}

TEST_F(VectaSim, OpenOfAMissingFileFailsWithoutADocument) {
    CSimProcess sim;
    ASSERT_EQ(sim.Start(UniqueProfile(L"Missing"), L"R17"), S_OK);
    ComPtr<IVectaDocument> document;
    EXPECT_TRUE(FAILED(OpenDrawing(sim.App(), InWorkFolder(L"absent.vdr"), document)));
    EXPECT_FALSE(document);
    EXPECT_EQ(DocumentCount(sim.App()), 0);
}

TEST_F(VectaSim, ProfilesAndReleasesAreKeptApartAndQuitEndsTheProcess) {
    const std::wstring first = UniqueProfile(L"First");
    const std::wstring second = UniqueProfile(L"Second");
    CSimProcess sim17;
    CSimProcess sim16;
    ASSERT_EQ(sim17.Start(first, L"R17"), S_OK);
    ASSERT_EQ(sim16.Start(second, L"R16"), S_OK);

    struct Row {
        const wchar_t* className;
        std::wstring profile;
        bool found;
    };
    const Row rows[] = {{kClass17, first, true},   {kClass17, second, false},
                        {kClass16, second, true},  {kClass16, first, false},
                        {kClass17, L"Nobody", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::wstring(row.className) + L":" + row.profile);
        ComPtr<IVectaApplication> app;
        const HRESULT hr = CSimProcess::Bind(row.className, row.profile, app.put());
        EXPECT_EQ(hr, row.found ? S_OK : MK_E_UNAVAILABLE);
        EXPECT_EQ(static_cast<bool>(app), row.found);
    }

    ASSERT_EQ(sim17.App()->Quit(), S_OK);
    ComPtr<IVectaApplication> after;
    EXPECT_EQ(CSimProcess::Bind(kClass17, first, after.put()), MK_E_UNAVAILABLE);
    sim17.ReleaseApp();  // a client's release right after Quit must not hold the process up
    EXPECT_TRUE(sim17.WaitForExit(5000));
    EXPECT_EQ(sim17.ExitCode(), 0u);
    EXPECT_FALSE(sim16.WaitForExit(0));
}

TEST_F(VectaSim, ACrashedInstanceLeavesNoEntryBehind) {
    const std::wstring profile = UniqueProfile(L"Crash");
    CSimProcess crashed;
    ASSERT_EQ(crashed.Start(profile, L"R17"), S_OK);
    crashed.Kill();
    ComPtr<IVectaApplication> gone;
    EXPECT_EQ(CSimProcess::Bind(kClass17, profile, gone.put()), MK_E_UNAVAILABLE);

    CSimProcess restarted;
    ASSERT_EQ(restarted.Start(profile, L"R17"), S_OK);
    UniqueBstr version;
    EXPECT_EQ(restarted.App()->get_Version(version.put()), S_OK);
}

TEST_F(VectaSim, RefusesABadCommandLineAtOnce) {
    const wchar_t* const rows[] = {L"", L"/release R17", L"/profile", L"/profile P /release R18",
                                   L"/profile P /idle soon", L"/profile P /colour red", L"profile P"};
    for (const wchar_t* arguments : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        DWORD code = 0;
        ASSERT_EQ(CSimProcess::RunToEnd(arguments, code), S_OK);
        EXPECT_EQ(code, 2u);
    }
}

TEST_F(VectaSim, MonikerParsesWhenNoInstanceRuns) {
    ComPtr<IBindCtx> context;
    ASSERT_EQ(CreateBindCtx(0, context.put()), S_OK);
    ULONG eaten = 0;
    ComPtr<IMoniker> moniker;
    const std::wstring name = std::wstring(kClass17) + L":" + UniqueProfile(L"Nobody");
    ASSERT_EQ(MkParseDisplayName(context.get(), name.c_str(), &eaten, moniker.put()), S_OK);
    EXPECT_EQ(eaten, name.size());
    ComPtr<IUnknown> object;
    EXPECT_EQ(moniker->BindToObject(context.get(), nullptr, IID_IUnknown, object.put_void()), MK_E_UNAVAILABLE);
    EXPECT_FALSE(object);
}

TEST_F(VectaSim, ApplicationMarshalledToAWorkerApartmentOpensADocument) {
    const std::wstring path = InWorkFolder(L"worker.vdr");
    WriteAll(path, kDrawing);
    CSimProcess sim;
    ASSERT_EQ(sim.Start(UniqueProfile(L"Worker"), L"R17"), S_OK);

    IStream* stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IVectaApplication, sim.App(), &stream), S_OK);
    HRESULT workerResult = E_FAIL;
    std::wstring workerName;
    std::thread worker([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            ComPtr<IVectaApplication> app;
            workerResult = CoGetInterfaceAndReleaseStream(stream, IID_IVectaApplication, app.put_void());
            ComPtr<IVectaDocument> document;
            if (SUCCEEDED(workerResult)) workerResult = OpenDrawing(app.get(), path, document);
            UniqueBstr name;
            if (SUCCEEDED(workerResult)) workerResult = document->get_Name(name.put());
            workerName = name.str();
        }
        CoUninitialize();
    });
    JoinWithin(worker, "the worker apartment's open");
    EXPECT_EQ(workerResult, S_OK);
    EXPECT_EQ(workerName, L"worker.vdr");
    EXPECT_EQ(DocumentCount(sim.App()), 1);
}

TEST_F(VectaSim, CopyDataWithTwoEscapesEndsABusyCommand) {
    CSimProcess sim;
    ASSERT_EQ(sim.Start(UniqueProfile(L"Busy"), L"R17", L"/busy 600000"), S_OK);
    ComPtr<IVectaState> state;
    ASSERT_EQ(sim.App()->get_State(state.put()), S_OK);
    long window = 0;
    ASSERT_EQ(sim.App()->get_HWND(&window), S_OK);
    const HWND hwnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
    ASSERT_TRUE(IsWindow(hwnd));

    static const wchar_t escapes[] = L"\x1b\x1b";
    static const wchar_t other[] = L"ab";
    struct Row {
        const char* name;
        ULONG_PTR dwData;
        const wchar_t* text;
        VARIANT_BOOL idleAfter;
    };
    const Row rows[] = {{"other data kind", 2, escapes, VARIANT_FALSE},
                        {"other text", 1, other, VARIANT_FALSE},
                        {"cancel", 1, escapes, VARIANT_TRUE}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VARIANT_BOOL idle = VARIANT_TRUE;
        ASSERT_EQ(state->get_IsIdle(&idle), S_OK);
        EXPECT_EQ(idle, VARIANT_FALSE);
        COPYDATASTRUCT data{row.dwData, sizeof(escapes), const_cast<wchar_t*>(row.text)};
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000, &answer);
        ASSERT_EQ(state->get_IsIdle(&idle), S_OK);
        EXPECT_EQ(idle, row.idleAfter);
    }
}

TEST_F(VectaSim, PublishOnCloseOrSaveWritesThePsxFileAndReportsTheOutcome) {
    struct Row {
        const char* name;
        const char* control;
        bool onSave;
        bool written;
        const wchar_t* report;
    };
    const Row rows[] = {{"published on close", "{}", false, true, L"___Environment|ZEPErrorCode=0"},
                        {"published on save", "{}", true, true, L"___Environment|ZEPErrorCode=0"},
                        {"add-in asks for a retry", "{\"publishOutcome\": \"4\"}", false, false,
                         L"___Environment|ZEPErrorCode=4"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring drawing = InWorkFolder(L"publish.vdr");
        const std::wstring psx = InWorkFolder(L"publish.psx");
        const std::wstring control = InWorkFolder(L"publish.json");
        WriteAll(drawing, kDrawing);
        WriteAll(control, row.control);
        DeleteFileW(psx.c_str());
        CTestCallback callback;
        {
            CSimProcess sim;
            ASSERT_EQ(sim.Start(UniqueProfile(L"Publish"), L"R17", L"/control \"" + control + L"\""), S_OK);
            ComPtr<IVectaDocument> document;
            ASSERT_EQ(OpenDrawing(sim.App(), drawing, document), S_OK);

            ComPtr<IVntAddIn> addIn;
            ASSERT_EQ(ConnectAddIn(sim.App(), L"Derudir.VntApplication2.1", &callback, addIn), S_OK);
            UniqueBstr psxName(L"PSXFilename"), psxValue(psx), switchName(L"PublishPSXFromCAI"), on(L"1");
            ASSERT_EQ(addIn->SetSymbol(psxName.get(), psxValue.get()), S_OK);
            ASSERT_EQ(addIn->SetSymbol(switchName.get(), on.get()), S_OK);

            if (row.onSave) {
                ASSERT_EQ(document->Save(), S_OK);
                UniqueBstr off(L"0");
                ASSERT_EQ(addIn->SetSymbol(switchName.get(), off.get()), S_OK);
            }
            ASSERT_EQ(document->Close(CVectaArgument::Index(0), CVectaArgument::Missing()), S_OK);
            EXPECT_EQ(GetFileAttributesW(psx.c_str()) != INVALID_FILE_ATTRIBUTES, row.written);
            ASSERT_EQ(callback.calls.size(), 1u);
            EXPECT_EQ(callback.calls[0], row.report);
            if (row.written) {
                EXPECT_NE(ReadAll(psx).find("KEY=Q-1001\n"), std::string::npos);
            }
        }
        EXPECT_EQ(callback.References(), 1);
    }
}

}  // namespace

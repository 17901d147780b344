// Registration through Wine's own regsvr32, creation by ProgID, late binding through
// IDispatch and from a VBScript run by Wine's cscript.
#include "fakes/ArgumentArray.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "fakes/RegistrySnapshot.h"
#include "fakes/TempFolder.h"
#include "support/ComPtr.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include "support/UniqueVariant.h"
#include <QELDVecta17x.h>
#include <gmock/gmock.h>
#include <algorithm>
#include <map>
#include <vector>

using ::testing::Contains;

namespace {

constexpr wchar_t kClsidKey[] = L"CLSID\\{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}";
const std::wstring kModule = [] {
    std::wstring path = L"Z:" COMPONENT_DLL;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}();

// Runs a program to its end and returns its exit code.
DWORD RunProcess(std::wstring commandLine, const std::wstring& folder = L"") {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return 0xFFFFFFFF;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    WaitForSingleObject(process.get(), 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

using Tree = std::map<std::wstring, std::map<std::wstring, std::wstring>>;  // key -> value name -> text

Tree Registered() {
    RegistrySnapshot snapshot;
    for (const wchar_t* root : {L"QELDVecta17x.CAI_Call.1", L"QELDVecta17x.CAI_Call", kClsidKey})
        snapshot.Add(HKEY_CLASSES_ROOT, root);
    Tree tree;
    for (const auto& [key, values] : snapshot.keys()) {
        auto& texts = tree[key.substr(key.find(L':') + 1)];
        for (const auto& [name, value] : values) texts[name] = value.type == REG_SZ ? value.Text() : L"?";
    }
    return tree;
}

Tree Expected() {
    const std::wstring clsid = L"{A43E0AB3-7A1F-44d1-8E59-E9462ED646AD}";
    const std::wstring k = kClsidKey;
    return {
        {L"QELDVecta17x.CAI_Call.1", {{L"", L"CAI_Call Class"}}},
        {L"QELDVecta17x.CAI_Call.1\\CLSID", {{L"", clsid}}},
        {L"QELDVecta17x.CAI_Call", {{L"", L"CAI_Call Class"}}},
        {L"QELDVecta17x.CAI_Call\\CLSID", {{L"", clsid}}},
        {L"QELDVecta17x.CAI_Call\\CurVer", {{L"", L"QELDVecta17x.CAI_Call.1"}}},
        {k, {{L"", L"CAI_Call Class"}}},
        {k + L"\\ProgID", {{L"", L"QELDVecta17x.CAI_Call.1"}}},
        {k + L"\\VersionIndependentProgID", {{L"", L"QELDVecta17x.CAI_Call"}}},
        {k + L"\\Programmable", {}},
        {k + L"\\InprocServer32", {{L"", kModule}, {L"ThreadingModel", L"Both"}}},
        {k + L"\\TypeLib", {{L"", L"{2770193E-CD7B-4fa1-A2F1-A6E36070E06E}"}}},
    };
}

class RegistrationTest : public ::testing::Test {
protected:
    static DWORD Regsvr32(const std::wstring& options) {
        return RunProcess(L"regsvr32.exe /s " + options + L"\"" + kModule + L"\"");
    }
    void SetUp() override { ASSERT_EQ(Regsvr32(L""), 0u); }
    TempFolder folder;
};

TEST_F(RegistrationTest, RegistryHoldsExactlyTheScriptsKeys) {
    EXPECT_EQ(Registered(), Expected());
    ASSERT_EQ(Regsvr32(L""), 0u);  // registering twice leaves the same
    EXPECT_EQ(Registered(), Expected());
}

TEST_F(RegistrationTest, StaleClassKeyIsReplacedNotMerged) {
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (std::wstring(kClsidKey) + L"\\LocalServer32").c_str(), &stale),
              ERROR_SUCCESS);
    RegCloseKey(stale);
    ASSERT_EQ(Regsvr32(L""), 0u);
    EXPECT_EQ(Registered(), Expected());
}

TEST_F(RegistrationTest, UnregisteringRemovesKeysButKeepsClsid) {
    ASSERT_EQ(Regsvr32(L"/u "), 0u);
    EXPECT_TRUE(Registered().empty());
    HKEY clsid = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &clsid), ERROR_SUCCESS);
    RegCloseKey(clsid);
    ITypeLib* library = nullptr;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_QELDVECTA17XLib, 1, 0, 0x409, &library)));
    // Removal reports its first failure: here the type library that is no longer registered.
    EXPECT_NE(Regsvr32(L"/u "), 0u);
    ASSERT_EQ(Regsvr32(L""), 0u);
}

// Another integration of the client relies on its interface and library keys: ours must
// leave them exactly as they were, and take only its own keys away again.
TEST_F(RegistrationTest, ClientKeysUnchangedByRegistrationAndRemoval) {
    ASSERT_EQ(Regsvr32(L"/u "), 0u);
    ComPtr<ITypeLib> pdmLibrary;
    ASSERT_EQ(LoadTypeLibEx(L"Z:" CAI_DLL_TLB, REGKIND_REGISTER, pdmLibrary.put()), S_OK);
    const RegistrySnapshot before = RegistrySnapshot::ClientRegistration();
    ASSERT_TRUE(before.keys().count(L"32:Interface\\{5D44F092-D3C1-11D3-8314-00A0C98B5456}\\TypeLib"));

    ASSERT_EQ(Regsvr32(L""), 0u);
    EXPECT_FALSE(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY).keys().empty());
    EXPECT_EQ(RegistrySnapshot::ClientRegistration(), before);
    ASSERT_EQ(Regsvr32(L"/u "), 0u);
    EXPECT_EQ(RegistrySnapshot::ClientRegistration(), before);
    EXPECT_TRUE(RegistrySnapshot::ComponentRegistration(KEY_WOW64_32KEY).keys().empty());
    EXPECT_TRUE(RegistrySnapshot::ComponentRegistration(KEY_WOW64_64KEY).keys().empty());
}

// The embedded library holds the class alone; its default interface is the client's.
TEST_F(RegistrationTest, OwnLibraryHoldsTheClassAndReferencesTheClientLibrary) {
    ComPtr<ITypeLib> pdmLibrary, own, container;
    ASSERT_EQ(LoadTypeLibEx(L"Z:" CAI_DLL_TLB, REGKIND_REGISTER, pdmLibrary.put()), S_OK);
    ASSERT_EQ(LoadTypeLibEx(kModule.c_str(), REGKIND_NONE, own.put()), S_OK);
    ASSERT_EQ(own->GetTypeInfoCount(), 1u);
    ComPtr<ITypeInfo> coclass, defaultInterface;
    ASSERT_EQ(own->GetTypeInfoOfGuid(CLSID_CAI_Call, coclass.put()), S_OK);
    HREFTYPE reference = 0;
    INT flags = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
    EXPECT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ASSERT_EQ(coclass->GetRefTypeInfo(reference, defaultInterface.put()), S_OK);
    UINT index = 0;
    ASSERT_EQ(defaultInterface->GetContainingTypeLib(container.put(), &index), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(container->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_CAI_DLLLib));
    EXPECT_EQ(attr->wMajorVerNum, 2);
    container->ReleaseTLibAttr(attr);
}

// A module whose path fills the whole 260-character path buffer cannot register itself.
TEST_F(RegistrationTest, ModulePathFillingTheBufferFails) {
    std::vector<std::wstring> folders;
    std::wstring path = folder.Path();
    while (path.size() < 250) {
        path += L"\\" + std::wstring(std::min<size_t>(60, 255 - path.size()), L'd');
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << path.size();
        folders.push_back(path);
    }
    path += L"\\QELDVecta17x.dll";
    ASSERT_TRUE(CopyFileW(kModule.c_str(), path.c_str(), FALSE));
    HMODULE copy = LoadLibraryW(path.c_str());
    ASSERT_NE(copy, nullptr);
    auto registerServer =
        reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(copy, "DllRegisterServer")));
    EXPECT_EQ(registerServer(), static_cast<HRESULT>(0x8007007A));
    FreeLibrary(copy);
    // The folder's own clean-up cannot reach paths this long.
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) EXPECT_TRUE(RemoveDirectoryW(it->c_str()));
}

class ComTest : public RegistrationTest {
protected:
    void SetUp() override {
        RegistrationTest::SetUp();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        client.attach(FakeCallback::Create());
        client->environment[L"_VNTXVER"] = L"530";
        client->answers[L"#(Appl:LogLevel)"] = L"1";
        client->answers[L"#(Appl:Profile)"] = L"Mech";
    }
    void TearDown() override { CoUninitialize(); }

    ComPtr<FakeCallback> client;
};

TEST_F(ComTest, CreatedByProgIdAndClsid) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"QELDVecta17x.CAI_Call", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CAI_Call));
    ComPtr<ICAI_Call> byProgId, byClsid;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICAI_Call, byProgId.put_void()), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_CAI_Call, nullptr, CLSCTX_INPROC_SERVER, IID_ICAI_Call, byClsid.put_void()),
              S_OK);
}

// Late binding resolves ICAI_Call through the client's registered library and fails with
// the type loader's error without it; the vtable call needs no type library.
TEST_F(ComTest, LateBoundRunNeedsTheClientLibraryVtableCallDoesNot) {
    struct Row {
        const char* name;
        bool clientLibrary;
        HRESULT dispatch;
    };
    for (const Row& row : {Row{"cai_dll.tlb not registered", false, TYPE_E_CANTLOADLIBRARY},
                           Row{"cai_dll.tlb registered", true, S_OK}}) {
        SCOPED_TRACE(row.name);
        ComPtr<ITypeLib> pdmLibrary;
        if (row.clientLibrary) {
            ASSERT_EQ(LoadTypeLibEx(L"Z:" CAI_DLL_TLB, REGKIND_REGISTER, pdmLibrary.put()), S_OK);
            pdmLibrary.reset();
        } else {
            (void)UnRegisterTypeLib(LIBID_CAI_DLLLib, 2, 0, 0, SYS_WIN32);  // absent already is fine
        }
        ComPtr<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(CLSID_CAI_Call, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()),
                  S_OK);

        LPOLESTR name = const_cast<LPOLESTR>(L"Run");
        DISPID id = 0;
        ASSERT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id), row.dispatch);
        if (row.clientLibrary) {
            UniqueVariant args = ArgumentArray({L"QELDCHECKAPPLICATION", L""}), result, callback;
            VARIANT* raw = callback.put();
            V_VT(raw) = VT_UNKNOWN;
            V_UNKNOWN(raw) = client.get();
            client->AddRef();
            VARIANT byRef;
            V_VT(&byRef) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&byRef) = result.put();
            VARIANT params[3] = {byRef, args.get(), callback.get()};  // right to left
            DISPPARAMS dispParams{params, nullptr, 3, 0};
            ASSERT_EQ(object->Invoke(id, IID_NULL, 0x409, DISPATCH_METHOD, &dispParams, nullptr, nullptr, nullptr),
                      S_OK);
            EXPECT_EQ(V_VT(&result.get()), VT_I4);
            EXPECT_EQ(V_I4(&result.get()), 0);
            EXPECT_EQ(client->environment[L"RETVECTAProfile"], L"Mech");
            // Only the default interface is dispatched.
            EXPECT_EQ(object->Invoke(id, IID_IDispatch, 0x409, DISPATCH_METHOD, &dispParams, nullptr, nullptr, nullptr),
                      DISP_E_UNKNOWNINTERFACE);
        }

        ComPtr<ICAI_Call> direct;
        ASSERT_EQ(object.query(direct), S_OK);
        client->environment.erase(L"RETVECTAProfile");
        UniqueVariant directResult;
        EXPECT_EQ(direct->Run(client.get(), ArgumentArray({L"QELDCHECKAPPLICATION", L""}).get(), directResult.put()),
                  S_OK);
        EXPECT_EQ(V_I4(&directResult.get()), 0);
        EXPECT_EQ(client->environment[L"RETVECTAProfile"], L"Mech");
    }
}

// A client we did not write: a script object is no ICAICallback, so Run refuses it.
TEST_F(ComTest, VBScriptClientIsAnsweredWithNoInterface) {
    const std::wstring output = folder.File(L"out.txt");
    const DWORD code = RunProcess(L"cmd.exe /c cscript.exe //nologo \"Z:" CALL_SCRIPT "\" > \"" + output + L"\"",
                                  folder.Path());
    EXPECT_EQ(code, 0u);
    // VBScript reports E_NOINTERFACE as its own error 430 (0x1AE).
    EXPECT_NE(TempFolder::ReadBytes(output).find("Run error 1ae"), std::string::npos)
        << TempFolder::ReadBytes(output);
    EXPECT_THAT(LogReader(folder.File(L"vx17log.err")).Messages(),
                Contains(L"Error: Can't set Callback Pointer (hr = 80004002)"));
}

}  // namespace

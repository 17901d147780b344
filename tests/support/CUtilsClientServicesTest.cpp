// The add-in list, the write check and the publishing options refresh of the utility object,
// answered by the real session object over a fake PDM client, on real files.
#include "client/CVantorApplication.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "support/ComPtr.h"
#include "support/CFinalPath.h"
#include "support/CUtils.h"
#include "support/UniqueHandle.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using Record = FakeCallback::Record;

const std::wstring kZepExpression = L"$(CAICLIENTPATH:|+)ZEP\\";
const std::wstring kCaller = L"CCAI_Call::QELDImportTitleAttributes()";
const std::wstring kRightQuery = L"@(Where \"db=Folder_All_Document\" \"QELKEY=4711\" #(=crdynamic(\"W\")))";
const std::wstring kOptionsSource = L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml";
const std::wstring kUpToDate = L"Info: Publish Option.xml is up-to-date. No copy required.";
const std::wstring kCopied = L"Info: Successfully copied or updated Publish Options.xml file";
const std::wstring kOverwritten = L"Info: Successfully overwritten Publish Options.xml file";

std::wstring FindQuery(const std::wstring& name) { return L"#(FindFile \"" + name + L"\" \"#(Appl:SearchPath)\")"; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Last-write time as a count of 100 ns ticks, set through a real handle.
void SetWriteTime(const std::wstring& path, ULONGLONG ticks) {
    UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.valid());
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &time));
}

class ClientServicesTest : public ComponentTest {
protected:
    ClientServicesTest() {
        client.attach(FakeCallback::Create());
        utils.SetLogThreshold(1);
        EXPECT_EQ(session.SetCallback(client.get()), S_OK);
        CreateDirectoryW(zep.c_str(), nullptr);
        client->answers[kZepExpression] = zep + L"\\";
    }
    ~ClientServicesTest() override { session.ReleaseCallback(); }

    void Reset() {
        client->records.clear();
        LogReader::Remove();
    }

    // Every path of the list, in order, until the position runs out.
    std::vector<std::wstring> AllPaths() {
        std::vector<std::wstring> paths;
        for (CUtils::AddInPosition position = utils.LoadAddInList(); position && paths.size() < 100;)
            paths.push_back(utils.GetNextAddInPath(position));
        return paths;
    }

    ComPtr<FakeCallback> client;
    CVantorApplication& session = CVantorApplication::Instance();
    CUtils& utils = CUtils::Instance();
    const std::wstring zep = folder.File(L"ZEP");
};

TEST_F(ClientServicesTest, AddInTextIsSplitTrimmedAndResolved) {
    TempFolder::WriteBytes(zep + L"\\x.zep", "module");
    client->answers[L"#(Appl:AddIns)"] = L"qeldmxbom17.zep, other.zep ,,x.zep";
    client->answers[FindQuery(L"other.zep")] = L"C:\\pdm\\other.zep";

    EXPECT_THAT(AllPaths(), ElementsAre(zep + L"\\qeldmxbom17.zep", L"C:\\pdm\\other.zep", L"", zep + L"\\x.zep"));
    // Only the entry missing from the add-in folder is searched for; the empty one names nothing.
    EXPECT_THAT(client->Prepared(), ElementsAre(L"#(Appl:AddIns)", kZepExpression, kZepExpression,
                                                FindQuery(L"other.zep"), kZepExpression));
}

TEST_F(ClientServicesTest, AddInTextGivesOneEntryPerComma) {
    struct Row {
        std::optional<std::wstring> text;
        size_t entries;
    } rows[] = {{L"a.zep", 1},  {L"a.zep,", 1},  {L",a.zep", 2}, {L" , ", 2},
                {L"a,b,c", 3},  {L"", 0},        {std::nullopt, 0}, {L"!unknown", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.text.value_or(L"<null>")));
        client->answers[L"#(Appl:AddIns)"] = row.text;
        EXPECT_EQ(AllPaths().size(), row.entries);
    }
}

TEST_F(ClientServicesTest, OnlyTheComponentsOwnAddInsSkipTheSearch) {
    struct Row {
        const wchar_t* name;
        bool inFolder;
        const wchar_t* found;  // the client's search answer
        bool searched;
        bool fromFolder;  // else the client's answer
        // The add-in folder's answer; null: the test's own, absolute one. A path that is not
        // absolute is refused: Vecta would look in its working folder, the workspace (here the
        // test's folder, which holds the add-in folder).
        const wchar_t* folder = nullptr;
        const wchar_t* refused = nullptr;
    } rows[] = {
        {L"qeldmxbom17.zep", false, L"C:\\pdm\\x", false, true},
        {L"QELDtools.zep", false, L"C:\\pdm\\x", false, true},
        {L"Qeldtools.zep", false, L"C:\\pdm\\Qeldtools.zep", true, false},
        {L"Qeldtools.zep", true, L"C:\\pdm\\x", false, true},
        {L"other.zep", false, L"", true, false},
        {L"other.zep", false, L"!not found", true, false},
        {L"qeldx.zep", false, L"C:\\pdm\\x", false, false, L"", L"qeldx.zep"},
        {L"QELDx.zep", true, L"C:\\pdm\\x", false, false, L"ZEP\\", L"ZEP\\QELDx.zep"},
        {L"x.zep", true, L"C:\\pdm\\x.zep", true, false, L"ZEP\\"},
        {L"x.zep", false, L"\\\\srv\\pdm\\x.zep", true, false, L"C:ZEP\\"},
        {L"x.zep", false, L"C:/pdm/x.zep", true, false},
        {L"x.zep", false, L"x.zep", true, false, nullptr, L"x.zep"},
        {L"x.zep", false, L"C:pdm\\x.zep", true, false, nullptr, L"C:pdm\\x.zep"},
        {L"x.zep", false, L"\\pdm\\x.zep", true, false, nullptr, L"\\pdm\\x.zep"},
        {L"x.zep", false, L"\\\\srv\\", true, false, nullptr, L"\\\\srv\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)) + (row.inFolder ? " present" : " missing") +
                     (row.folder ? " in " + testing::PrintToString(std::wstring(row.folder)) : ""));
        const std::wstring inFolder = zep + L"\\" + row.name;
        DeleteFileW(inFolder.c_str());
        if (row.inFolder) TempFolder::WriteBytes(inFolder, "module");
        client->answers[kZepExpression] = row.folder ? std::wstring(row.folder) : zep + L"\\";
        client->answers[L"#(Appl:AddIns)"] = row.name;
        client->answers[FindQuery(row.name)] = row.found;
        Reset();
        const std::wstring expected = row.refused      ? L""
                                      : row.fromFolder ? inFolder
                                                       : (row.found[0] == L'!' ? L"" : row.found);
        EXPECT_THAT(AllPaths(), ElementsAre(expected));
        EXPECT_EQ(client->Prepared().size(), row.searched ? 3u : 2u);
        if (row.refused) {
            EXPECT_THAT(LogReader().Messages(), Contains(L"Error: GetNextAddInPath: Refused path '" +
                                                         std::wstring(row.refused) + L"': not an absolute path"));
        } else {
            EXPECT_THAT(LogReader().Messages(), ::testing::Not(Contains(::testing::StartsWith(L"Error: "))));
        }
    }
}

TEST_F(ClientServicesTest, AddInListWithoutCallbackIsEmpty) {
    session.ReleaseCallback();
    EXPECT_FALSE(utils.LoadAddInList());
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Error: Fennory Professional Prepare(#(Appl:AddIns)) failed. No callback object."));
}

// Another connection's list, loaded meanwhile, leaves this one's entries alone.
TEST_F(ClientServicesTest, EachConnectionReadsItsOwnList) {
    client->answers[L"#(Appl:AddIns)"] = L"qelda.zep,qeldb.zep";
    CUtils::AddInPosition position = utils.LoadAddInList();
    utils.GetNextAddInPath(position);
    client->answers[L"#(Appl:AddIns)"] = L"qeldother.zep";
    CUtils::AddInPosition other = utils.LoadAddInList();
    EXPECT_EQ(utils.GetNextAddInPath(position), zep + L"\\qeldb.zep");
    EXPECT_FALSE(position);
    EXPECT_TRUE(other);
}

TEST_F(ClientServicesTest, WritePermissionChecksTheFileThenTheRecord) {
    const std::wstring writable = folder.File(L"w.dwg"), readOnly = folder.File(L"r.dwg"),
                       missing = folder.File(L"none\\m.dwg");
    TempFolder::WriteBytes(writable, "drawing");
    TempFolder::WriteBytes(readOnly, "drawing");
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring noFile = L"Error: " + kCaller + L": No write permission for the file ";
    const std::wstring noRight =
        L"Error: " + kCaller + L": No write permission for the document in Fennory Professional: QELKEY = 4711";
    struct Row {
        std::wstring path;
        const wchar_t* key;
        const wchar_t* right;  // the client's answer
        bool expected;
        bool asks;
        std::wstring entry;  // the Error entry, if any
    } rows[] = {
        {L"", L"4711", L"TRUE", false, false, L""},
        {writable, L"", L"TRUE", false, false, L""},
        {readOnly, L"4711", L"TRUE", false, false, noFile + readOnly},
        {missing, L"4711", L"TRUE", true, true, L""},
        {writable, L"4711", L"TRUE", true, true, L""},
        {writable, L"4711", L"true", false, true, noRight},
        {missing, L"4711", L"!denied", false, true, noRight},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.path + L" " + row.key + L" " + row.right));
        Reset();
        client->answers[kRightQuery] = row.right;
        EXPECT_EQ(utils.CheckWritePermission(row.path, row.key, kCaller), row.expected);
        EXPECT_EQ(client->Prepared(), row.asks ? std::vector<std::wstring>{kRightQuery} : std::vector<std::wstring>{});
        const std::vector<std::wstring> errors = [] {
            std::vector<std::wstring> out;
            for (const std::wstring& m : LogReader().Messages())
                if (m.rfind(L"Error: ", 0) == 0) out.push_back(m);
            return out;
        }();
        EXPECT_EQ(errors, row.entry.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{row.entry});
    }
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The host keeps an open drawing locked; that is no missing right, so the client decides.
TEST_F(ClientServicesTest, AFileHeldOpenByAnotherProgramIsNoRefusal) {
    const std::wstring path = folder.File(L"open.dwg");
    TempFolder::WriteBytes(path, "drawing");
    UniqueHandle held(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    client->answers[kRightQuery] = L"TRUE";
    EXPECT_TRUE(utils.CheckWritePermission(path, L"4711", kCaller));
    EXPECT_THAT(client->Prepared(), ElementsAre(kRightQuery));
}

// A file whose security grants reading only refuses like a read-only one.
TEST_F(ClientServicesTest, AFileWhoseSecurityDeniesWritingIsRefused) {
    const std::wstring path = folder.File(L"secured.dwg");
    TempFolder::WriteBytes(path, "drawing");
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    alignas(DWORD) BYTE aclBuffer[256];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    SECURITY_DESCRIPTOR descriptor;
    const bool built = InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
                       AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | DELETE | WRITE_DAC, everyone) &&
                       InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                       SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    FreeSid(everyone);
    ASSERT_TRUE(built);
    ASSERT_TRUE(SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    client->answers[kRightQuery] = L"TRUE";

    EXPECT_FALSE(utils.CheckWritePermission(path, L"4711", kCaller));
    EXPECT_THAT(client->Prepared(), IsEmpty());
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Error: " + kCaller + L": No write permission for the file " + path));
}

TEST_F(ClientServicesTest, WritePermissionWithoutCallbackRefuses) {
    session.ReleaseCallback();
    EXPECT_FALSE(utils.CheckWritePermission(folder.File(L"new.dwg"), L"4711", kCaller));
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Error: Fennory Professional Prepare(" + kRightQuery + L") failed. No callback object.",
                            L"Error: " + kCaller +
                                L": No write permission for the document in Fennory Professional: QELKEY = 4711"));
}

class PublishOptionsTest : public ClientServicesTest {
protected:
    PublishOptionsTest() {
        CreateDirectoryW(folder.File(L"ws").c_str(), nullptr);
        CreateDirectoryW(folder.File(L"cai").c_str(), nullptr);
        client->answers[L"$(WSPATH:/+)"] = folder.Path() + L"/ws/";  // the workspace in "/" form
        client->answers[kOptionsSource] = source;
    }

    std::string Destination() const { return TempFolder::ReadBytes(destination); }

    const std::wstring source = folder.File(L"cai\\Publish Options.xml");
    const std::wstring destination = folder.File(L"ws\\Publish Options.xml");
    static constexpr ULONGLONG kOlder = 130000000000000000ULL, kNewer = 131000000000000000ULL;
};

TEST_F(PublishOptionsTest, CopiesWhenMissingEnforcedOrOlder) {
    const std::wstring refused = L"Error: UpdatePublishOptions: Refused " + folder.Path() +
                                  L"/ws/Publish Options.xml: the file has 2 names (hard links) (hr = 80070780)";
    struct Row {
        const char* name;
        bool destinationPresent;
        ULONGLONG destinationTime;
        bool destinationReadOnly;
        const wchar_t* enforce;
        bool copied;
        std::wstring entry;
        int planted = 0;  // the destination is someone else's file: 1 under a second name, 2 behind a Unix link
    } rows[] = {
        {"missing", false, 0, false, L"1", true, kCopied},
        {"older", true, kOlder, false, L"0", true, kCopied},
        {"newer", true, kNewer + 1, false, L"0", false, kUpToDate},
        {"same time", true, kNewer, false, L"", false, kUpToDate},
        {"newer, enforcement not exactly 1", true, kNewer + 1, false, L"1 ", false, kUpToDate},
        {"newer, read-only, enforced", true, kNewer + 1, true, L"1", true, kOverwritten},
        {"older, read-only", true, kOlder, true, L"!unknown", true, kCopied},
        {"older, planted", true, kOlder, false, L"0", false,
         refused, 1},
        {"read-only, planted, enforced", true, kNewer + 1, true, L"1", false, refused, 1},
        {"older, planted as a Unix link", true, kOlder, false, L"0", false, L"", 2},
    };
    const std::wstring userFile = folder.File(L"notes.xml");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(destination.c_str());
        TempFolder::WriteBytes(source, "<options version=\"2\"/>");
        SetWriteTime(source, kNewer);
        std::wstring entry = row.entry;
        if (row.planted) {
            SetFileAttributesW(userFile.c_str(), FILE_ATTRIBUTE_NORMAL);
            TempFolder::WriteBytes(userFile, "<options version=\"1\"/>");
        }
        if (row.planted == 1) {
            ASSERT_TRUE(CreateHardLinkW(destination.c_str(), userFile.c_str(), nullptr));
        } else if (row.planted == 2) {
            ASSERT_TRUE(TempFolder::UnixLink(userFile, destination));
            UniqueHandle target(CreateFileW(userFile.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            entry = L"Error: UpdatePublishOptions: Refused " + folder.Path() + L"/ws/Publish Options.xml: it leads to " +
                    CFinalPath::Of(target.get()) + L" (hr = 80070780)";
        } else if (row.destinationPresent) {
            TempFolder::WriteBytes(destination, "<options version=\"1\"/>");
        }
        if (row.destinationPresent) {
            SetWriteTime(destination, row.destinationTime);
            if (row.destinationReadOnly) SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_READONLY);
        }
        client->answers[L"#(Appl:EnforcePSXOptions)"] = row.enforce;

        utils.UpdatePublishOptions();
        EXPECT_EQ(Destination(), row.copied ? "<options version=\"2\"/>" : "<options version=\"1\"/>");
        EXPECT_THAT(LogReader().Messages(), Contains(entry));
        // Enforcement is asked only about a destination that is there.
        std::vector<std::wstring> asked{L"$(WSPATH:/+)", kOptionsSource};
        if (row.destinationPresent) asked.push_back(L"#(Appl:EnforcePSXOptions)");
        EXPECT_EQ(client->Prepared(), asked);
    }
}

TEST_F(PublishOptionsTest, ACopiedFileIsUpToDateNextTime) {
    TempFolder::WriteBytes(source, "<options/>");
    client->answers[L"#(Appl:EnforcePSXOptions)"] = L"0";
    utils.UpdatePublishOptions();
    Reset();
    utils.UpdatePublishOptions();
    EXPECT_THAT(LogReader().Messages(), Contains(kUpToDate));
}

TEST_F(PublishOptionsTest, AFailedCopyLogsTheSystemsText) {
    struct Row {
        const char* name;
        bool sourcePresent;
        std::wstring workspace;
        DWORD error;
    } rows[] = {
        {"no source", false, folder.Path() + L"/ws/", ERROR_FILE_NOT_FOUND},
        {"no workspace folder", true, folder.Path() + L"/gone/", ERROR_PATH_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        DeleteFileW(source.c_str());
        if (row.sourcePresent) TempFolder::WriteBytes(source, "<options/>");
        client->answers[L"$(WSPATH:/+)"] = row.workspace;

        utils.UpdatePublishOptions();
        wchar_t text[512] = {};
        ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, row.error,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 512, nullptr),
                  0u);
        std::wstring system = text;
        while (!system.empty() && iswspace(system.back())) system.pop_back();
        EXPECT_THAT(LogReader().Messages(), ElementsAre(L"Info: Fennory Professional Prepare($(WSPATH:/+)) = " + row.workspace,
                                                        L"Info: Fennory Professional Prepare(" + kOptionsSource +
                                                            L") = " + source,
                                                        L"Error: Failed to copy file Publish Options.xml." + system));
    }
}

// A client answer naming a pipe never reaches a file call: the pipe's server would learn who
// connects and could act as that account.
TEST_F(PublishOptionsTest, APipeAnswerMakesNoConnection) {
    const std::wstring pipe = L"\\\\.\\pipe\\qeld-gate-" + std::to_wstring(GetCurrentProcessId());
    const UniqueHandle server(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE,
                                               PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr));
    ASSERT_TRUE(server.valid());
    const UniqueHandle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED waiting{};
    waiting.hEvent = connected.get();
    ASSERT_FALSE(ConnectNamedPipe(server.get(), &waiting));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

    client->answers[kOptionsSource] = pipe;
    utils.SetLogThreshold(0);
    utils.UpdatePublishOptions();
    EXPECT_FALSE(utils.CheckWritePermission(pipe, L"4711", kCaller));
    EXPECT_EQ(WaitForSingleObject(connected.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "a client connected";
    CancelIoEx(server.get(), &waiting);
    DWORD unused = 0;
    (void)GetOverlappedResult(server.get(), &waiting, &unused, TRUE);
    const std::wstring refused = L": Refused path '" + pipe + L"': it names a device or pipe";
    EXPECT_THAT(LogReader().Messages(), ElementsAre(L"Error: UpdatePublishOptions" + refused, L"Error: " + kCaller + refused));
}

// Without a workspace the copy would land in the client's working folder; it is refused.
TEST_F(PublishOptionsTest, NoWorkspaceCopiesNothing) {
    session.ReleaseCallback();
    TempFolder::WriteBytes(source, "<options/>");
    utils.UpdatePublishOptions();
    EXPECT_FALSE(Exists(L"Publish Options.xml"));
    EXPECT_THAT(LogReader().Messages(),
                ElementsAre(L"Error: Fennory Professional Prepare($(WSPATH:/+)) failed. No callback object.",
                            L"Error: UpdatePublishOptions: No workspace folder, Publish Options.xml not copied."));
    EXPECT_THAT(client->records, IsEmpty());
}

}  // namespace

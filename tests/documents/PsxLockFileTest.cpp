#include "documents/CPsxLockFile.h"
#include "support/CFinalPath.h"
#include "client/CVantorApplication.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/FileAge.h"
#include "fakes/LogReader.h"
#include "support/ComPtr.h"
#include "support/UniqueHandle.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <regex>

namespace {

constexpr std::int64_t kHour = 3600;

class PsxLockFileTest : public ComponentTest {
protected:
    PsxLockFileTest() {
        CreateDirectoryW(folder.File(L"ws").c_str(), nullptr);
        CreateDirectoryW(folder.File(L"d").c_str(), nullptr);
        workspace = folder.File(L"ws") + L"/";
        client.attach(FakeCallback::Create());
        client->answers[L"$(WSPATH:/+)"] = workspace;
        client->answers[L"$(USERID)"] = L"jdoe";
        EXPECT_EQ(CVantorApplication::Instance().SetCallback(client.get()), S_OK);
        drawing = folder.File(L"d\\plan.vdr");
        TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\n");
    }
    ~PsxLockFileTest() override { CVantorApplication::Instance().ReleaseCallback(); }

    bool LockExists() const {
        return GetFileAttributesW(CPsxLockFile(drawing).LockPath().c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    ComPtr<FakeCallback> client;
    std::wstring workspace;
    std::wstring drawing;
};

TEST_F(PsxLockFileTest, LockPathIsTheWorkspaceAndTheFileNameWithoutExtension) {
    constexpr wchar_t kStream[] = L"its file name names a drive or stream (\":\")";
    constexpr wchar_t kDots[] = L"its file name is made only of dots and blanks";
    struct Row {
        const wchar_t* drawing;
        const wchar_t* lock;    // the lock's name in the workspace; null for a refused name
        const wchar_t* reason;  // why a name is refused: nothing is locked or looked at
    } rows[] = {
        {L"C:\\d\\plan.vdr", L"plan.psxlck", nullptr},
        {L"C:\\e\\plan.vdr", L"plan.psxlck", nullptr},      // same name elsewhere: one lock
        {L"C:\\d\\plan.dwg", L"plan.psxlck", nullptr},      // same name, other extension: one lock
        {L"C:\\d\\a.b.vdr", L"a.b.psxlck", nullptr},
        {L"C:\\d\\plan", L".psxlck", nullptr},              // no extension: nothing before it
        {L"C:\\x.y\\plan", L".psxlck", nullptr},            // a dot in a folder does not count
        {L"plan.vdr", L"plan.psxlck", nullptr},
        {L"C:/d/plan.vdr", L"plan.psxlck", nullptr},        // Windows separates with "/" too
        {L"C:\\d\\a/../../plan.vdr", L"plan.psxlck", nullptr},
        {L"C:\\d\\plan..vdr", L"plan..psxlck", nullptr},    // ".." inside a name stays in the folder
        {L"C:\\d\\Plan..A.dwg", L"Plan..A.psxlck", nullptr},
        {L"C:\\d\\..", nullptr, kDots},
        {L"C:\\d\\. .", nullptr, kDots},
        {L"C:plan.vdr", nullptr, kStream},                  // a drive, relative to its current folder
        {L"C:\\d\\plan.vdr:x.vdr", nullptr, kStream},       // a stream
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.drawing)));
        LogReader::Remove();
        const CPsxLockFile lock(row.drawing);
        if (row.lock) {
            EXPECT_EQ(lock.LockPath(), workspace + row.lock);
            continue;
        }
        EXPECT_FALSE(lock.MayPublish());
        EXPECT_FALSE(lock.WriteLock());
        const std::wstring refused = L"Error: PublishPSX: Refused path '" + std::wstring(row.drawing) + L"': " + row.reason;
        EXPECT_EQ(LogReader().Messages(), std::vector<std::wstring>(2, refused));
    }
}

TEST_F(PsxLockFileTest, LockIsUtf16WithTimeAndUserAndNoLineEnd) {
    CPsxLockFile lock(drawing);
    ASSERT_TRUE(lock.WriteLock());
    const std::string bytes = TempFolder::ReadBytes(lock.LockPath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    const std::wregex format(L"(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                             L"[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] [0-9]{4}: jdoe");
    EXPECT_TRUE(std::regex_match(text, format)) << testing::PrintToString(text);
}

TEST_F(PsxLockFileTest, WriteLockOverwritesAndFailsWithoutFolder) {
    CPsxLockFile lock(drawing);
    TempFolder::WriteBytes(lock.LockPath(), std::string(200, 'x'));
    ASSERT_TRUE(lock.WriteLock());
    EXPECT_EQ(TempFolder::ReadBytes(lock.LockPath()).size(), 2u + 2u * (24 + 2 + 4));

    client->answers[L"$(WSPATH:/+)"] = folder.File(L"missing") + L"/";
    EXPECT_FALSE(CPsxLockFile(drawing).WriteLock());
}

// Also in a workspace deeper than MAX_PATH, whose final path Wine cannot tell: the lock's
// attributes and names decide alone.
TEST_F(PsxLockFileTest, AFreshLockBlocksAnUnchangedDrawing) {
    std::wstring deep = L"\\\\?\\" + folder.File(L"ws");
    for (int level = 0; level < 3; ++level) {
        deep += L"\\" + std::wstring(100, wchar_t(L'a' + level));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    for (const std::wstring& workspace : {workspace, deep + L"\\"}) {
        SCOPED_TRACE(testing::PrintToString(workspace));
        LogReader::Remove();
        client->answers[L"$(WSPATH:/+)"] = workspace;
        ASSERT_TRUE(CPsxLockFile(drawing).WriteLock());
        EXPECT_FALSE(CPsxLockFile(drawing).MayPublish());
        EXPECT_TRUE(LockExists());
        EXPECT_FALSE(LogReader().exists);
    }
}

TEST_F(PsxLockFileTest, LockAgeAndDrawingChangesDecide) {
    struct Row {
        const char* name;
        std::int64_t lockAge;     // seconds; -1 for no lock
        std::int64_t drawingAge;  // seconds; -1 for no drawing
        bool mayPublish;
        bool lockRemains;
        bool upperCase = false;  // the lock on disk as "PLAN.PSXLCK": names compare ignoring case
    } rows[] = {
        {"no lock", -1, 0, true, false},
        {"eleven hours, unchanged", 11 * kHour, 12 * kHour, false, true},
        {"exactly twelve hours, unchanged", 12 * kHour, 13 * kHour, false, true},
        {"twelve hours and a minute", 12 * kHour + 60, 13 * kHour, true, false},
        {"changed after the lock", kHour, kHour / 2, true, false},
        {"changed with the lock", kHour, kHour, false, true},
        {"fresh lock, drawing gone", kHour, -1, false, true},
        {"expired lock, drawing gone", 13 * kHour, -1, true, false},
        {"expired lock in upper case", 13 * kHour, 14 * kHour, true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring lockPath = CPsxLockFile(drawing).LockPath();
        DeleteFileW(lockPath.c_str());
        DeleteFileW(drawing.c_str());
        if (row.drawingAge >= 0) {
            TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\n");
            ASSERT_TRUE(SetFileAge(drawing, row.drawingAge));
        }
        if (row.lockAge >= 0) {
            // Ages count in whole seconds: dated and checked within one second, the age is exact.
            if (row.lockAge == CPsxLockFile::kLifetimeSeconds) AwaitNextSecond();
            ASSERT_TRUE(CPsxLockFile(drawing).WriteLock());
            ASSERT_TRUE(SetFileAge(lockPath, row.lockAge));
            if (row.upperCase) {
                ASSERT_TRUE(DeleteFileW(lockPath.c_str()));
                TempFolder::WriteBytes(workspace + L"PLAN.PSXLCK", "\xFF\xFE");
                ASSERT_TRUE(SetFileAge(workspace + L"PLAN.PSXLCK", row.lockAge));
            }
        }
        LogReader::Remove();
        EXPECT_EQ(CPsxLockFile(drawing).MayPublish(), row.mayPublish);
        EXPECT_FALSE(LogReader().exists);
        EXPECT_EQ(LockExists(), row.lockRemains);
    }
}

TEST_F(PsxLockFileTest, AnUndeletableLockKeepsBlocking) {
    struct Row {
        const char* name;
        std::int64_t lockAge;
        std::int64_t drawingAge;
    } rows[] = {
        {"expired", 13 * kHour, 14 * kHour},
        {"drawing changed", kHour, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring lockPath = CPsxLockFile(drawing).LockPath();
        ASSERT_TRUE(CPsxLockFile(drawing).WriteLock());
        ASSERT_TRUE(SetFileAge(drawing, row.drawingAge));
        ASSERT_TRUE(SetFileAge(lockPath, row.lockAge));
        LogReader::Remove();
        {
            // Another program holds the lock open without sharing deletion.
            UniqueHandle held(CreateFileW(lockPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held.valid());
            EXPECT_FALSE(CPsxLockFile(drawing).MayPublish());
        }
        SetFileAttributesW(lockPath.c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_FALSE(CPsxLockFile(drawing).MayPublish());
        EXPECT_TRUE(LockExists());
        // Each says why it blocks.
        const auto entries = LogReader().Messages();
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                [&](const std::wstring& entry) {
                                    return entry.rfind(L"Error: PublishPSX: Can't delete the lock file " + lockPath + L" (hr = ",
                                                       0) == 0;
                                }),
                  2);
        SetFileAttributesW(lockPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(lockPath.c_str());
    }
}

// Someone else's file given the lock's name (a second name of it, a folder, as a junction
// is, or a Unix link, which Wine opens through) is refused and left as it is. It blocks no
// longer than a lock of ours would: once its age is past the lifetime, publishing goes on.
TEST_F(PsxLockFileTest, APlantedLockIsRefusedAndLeftAsItIs) {
    const std::wstring lockPath = CPsxLockFile(drawing).LockPath();
    const std::wstring userFile = folder.File(L"d\\notes.txt");
    enum Planted { SecondName, Folder, UnixLink, DanglingLink };
    const std::wstring refused = L"Error: PublishPSX: Refused " + lockPath;
    struct Row {
        const char* name;
        Planted planted;
        bool mayPublish;
        std::wstring entry;  // without the final path a Unix link leads to
    } rows[] = {
        {"second name of a user's file, expired", SecondName, true,
         refused + L": the file has 2 names (hard links) (hr = 80070780)"},
        {"folder", Folder, false, refused + L": it is a link, junction or folder, not a file (hr = 80070780)"},
        {"Unix link to a user's file", UnixLink, false, refused + L": it leads to "},
        // Creating the lock must not create the missing file the link leads to.
        {"Unix link to a missing file", DanglingLink, true, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder::WriteBytes(userFile, "precious");
        std::wstring entry = row.entry;
        if (row.planted == Folder) {
            ASSERT_TRUE(CreateDirectoryW(lockPath.c_str(), nullptr));
        } else if (row.planted == SecondName) {
            ASSERT_TRUE(CreateHardLinkW(lockPath.c_str(), userFile.c_str(), nullptr));
            ASSERT_TRUE(SetFileAge(lockPath, 13 * kHour));  // expired: it would be deleted
        } else if (row.planted == UnixLink) {
            ASSERT_TRUE(TempFolder::UnixLink(userFile, lockPath));
            UniqueHandle target(CreateFileW(userFile.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            entry += CFinalPath::Of(target.get()) + L" (hr = 80070780)";
        } else {
            // A lock name of its own: Wine cannot delete such a link again.
            const std::wstring loose = folder.File(L"d\\loose.vdr");
            const std::wstring missing = folder.File(L"d\\missing.txt");
            TempFolder::WriteBytes(missing, "");
            ASSERT_TRUE(TempFolder::UnixLink(missing, CPsxLockFile(loose).LockPath()));
            ASSERT_TRUE(DeleteFileW(missing.c_str()));
            LogReader::Remove();
            EXPECT_EQ(CPsxLockFile(loose).MayPublish(), row.mayPublish);
            EXPECT_FALSE(CPsxLockFile(loose).WriteLock());
            EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
            continue;
        }
        LogReader::Remove();
        EXPECT_EQ(CPsxLockFile(drawing).MayPublish(), row.mayPublish);
        EXPECT_FALSE(CPsxLockFile(drawing).WriteLock());
        EXPECT_EQ(LogReader().Messages(), std::vector<std::wstring>(2, entry));
        EXPECT_TRUE(LockExists());
        EXPECT_EQ(TempFolder::ReadBytes(userFile), "precious");
        if (row.planted == Folder) RemoveDirectoryW(lockPath.c_str());
        DeleteFileW(lockPath.c_str());
    }
}

}  // namespace

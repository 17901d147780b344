// Session set-up of a connected host: add-ins, the product menu, start-up drawings.
#include "HostTest.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr char kMenu[] = "***MENUGROUP=Fennory\n***POP1\n[&Fennory]\n[Open]^C^COPEN\n";

class SessionTest : public HostTest {
protected:
    SessionTest() {
        menuFile = folder.File(L"vantor.mns");
        TempFolder::WriteBytes(menuFile, kMenu);
        SetAnswer(L"#(FindFile \"vantor.mns\" \"#(Appl:SearchPath)\" :|)", menuFile);
    }
    long BarCount() const {
        ComPtr<IVectaMenuBar> bar;
        long count = -1;
        if (SUCCEEDED(sims[0]->App()->get_MenuBar(bar.put()))) (void)bar->get_Count(&count);
        return count;
    }
    std::wstring GroupFile() const {
        ComPtr<IVectaMenuGroups> groups;
        ComPtr<IVectaMenuGroup> group;
        UniqueBstr name;
        VARIANT key;
        VariantInit(&key);
        V_VT(&key) = VT_BSTR;
        V_BSTR(&key) = SysAllocString(L"Fennory");
        if (SUCCEEDED(sims[0]->App()->get_MenuGroups(groups.put())) && SUCCEEDED(groups->Item(key, group.put())))
            (void)group->get_MenuFileName(name.put());
        VariantClear(&key);
        return name.str();
    }
    std::vector<std::wstring> LoadLines() const {
        std::vector<std::wstring> lines;
        for (const auto& line : Messages())
            if (line.find(L"InitApplication: ") != std::wstring::npos) lines.push_back(line);
        return lines;
    }

    std::wstring menuFile;
};

TEST_F(SessionTest, SecondConnectionLeavesTheMenuBarAlone) {
    StartSim();
    LendClient();
    const long before = BarCount();
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    EXPECT_EQ(BarCount(), before + 1);
    EXPECT_EQ(GroupFile(), menuFile);
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    EXPECT_EQ(BarCount(), before + 1);
    const std::wstring stem = menuFile.substr(0, menuFile.size() - 4);
    EXPECT_THAT(LoadLines(), ElementsAre(L"Info: InitApplication: Load Fennory Professional menu '" + stem + L"'"));
}

TEST_F(SessionTest, FennoryGroupFromAnotherFileIsReplaced) {
    StartSim();
    const std::wstring other = folder.File(L"old.mns");
    TempFolder::WriteBytes(other, kMenu);
    ComPtr<IVectaMenuGroups> groups;
    ComPtr<IVectaMenuGroup> group;
    ASSERT_EQ(sims[0]->App()->get_MenuGroups(groups.put()), S_OK);
    UniqueBstr oldStem(other.substr(0, other.size() - 4));
    ASSERT_EQ(groups->Load(oldStem.get(), CVectaArgument::Empty(), group.put()), S_OK);
    group.reset();
    groups.reset();

    LendClient();
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    EXPECT_EQ(GroupFile(), menuFile);
    EXPECT_THAT(Messages(), Contains(L"Info: InitApplication: Unload Fennory Professional menu '" + other + L"'"));
}

TEST_F(SessionTest, AddInsLoadInListOrderAndFailuresAreLogged) {
    StartSim();
    SetAnswer(L"$(CAICLIENTPATH:|+)ZEP\\", folder.Path() + L"\\");
    SetAnswer(L"#(Appl:AddIns)", L" QELDmissing.zep ,QELDpresent.zep,nowhere.zep");
    TempFolder::WriteBytes(folder.File(L"QELDpresent.zep"), "zep");
    LendClient();
    EXPECT_EQ(Connect(1, 0, 1), S_OK);
    const std::wstring missing = folder.File(L"QELDmissing.zep"), present = folder.File(L"QELDpresent.zep");
    const auto lines = LoadLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"Info: InitApplication: Load " + missing);
    EXPECT_EQ(lines[1], L"Error: InitApplication: Failed to load " + missing + L" (hr = 80070002)");
    EXPECT_EQ(lines[2], L"Info: InitApplication: Load " + present);
    const std::string trace = Trace();
    EXPECT_LT(trace.find("LoadAddIn(\"" + std::string(missing.begin(), missing.end())),
              trace.find("LoadAddIn(\"" + std::string(present.begin(), present.end())));
    // An add-in found nowhere is not handed over: Vecta would look in its working folder.
    EXPECT_THAT(lines, Contains(L"Error: InitApplication: Failed to load  (hr = 80004005)"));
    EXPECT_THAT(trace, Not(HasSubstr("LoadAddIn(\"\")")));
}

TEST_F(SessionTest, OnlyUntouchedUnnamedDrawingsAreClosed) {
    // The launched host has two start-up drawings; before it is found, a named drawing and
    // an unnamed one with changes are opened in it too.
    SetOpenArgument(L"/startup 2");
    const std::wstring named = folder.File(L"named.vdr");
    TempFolder::WriteBytes(named, "VECTA DRAWING 1\nKEY=Q-1\n");
    ComPtr<IVectaApplication> host;
    client->commands[L"___Shell"] = [&](FakeCallback&, const std::wstring& command) -> long {
        if (launcher.Launch(command) != 0) return -1;
        for (int attempt = 0; attempt < 100 && !host; ++attempt) {
            if (FAILED(CSimProcess::Bind(L"QELDVecta17Instance", profile, host.put()))) Sleep(50);
        }
        ComPtr<IVectaDocuments> documents;
        ComPtr<IVectaDocument> opened, added;
        UniqueBstr path(named);
        if (!host || FAILED(host->get_Documents(documents.put())) ||
            FAILED(documents->Open(path.get(), CVectaArgument::Index(0), CVectaArgument::Index(0), opened.put())) ||
            FAILED(documents->Add(CVectaArgument::Missing(), added.put())))
            return -1;
        return 0;
    };
    LendClient();
    EXPECT_EQ(Connect(1, 0, 0), S_OK);
    ComPtr<IVectaDocuments> documents;
    long count = -1;
    ASSERT_EQ(Host().Application().get()->get_Documents(documents.put()), S_OK);
    ASSERT_EQ(documents->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_THAT(Messages(), Contains(L"Info: CloseStartUpDrawings: Close drawing 'Drawing1.dwg'"));
    EXPECT_THAT(Messages(), Contains(L"Info: CloseStartUpDrawings: Close drawing 'Drawing2.dwg'"));
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"named.vdr"))));
    EXPECT_THAT(Messages(), Not(Contains(HasSubstr(L"Drawing3.dwg"))));
}

}  // namespace

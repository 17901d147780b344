#include "ClientParts.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include <windows.h>
#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kPairListCommand =
    L"db=Folder_xref_Child_Document \"X_PARENT_QELKEY=%s AND OLD_DOC_QELKEY IS NOT NULL\" "
    L"___Environment QelKeyPairList=#OLD_DOC_QELKEY #QELKEY|$QelKeyPairList";

std::wstring PairListArguments(const std::wstring& parent) {
    std::wstring text = kPairListCommand;
    return text.replace(text.find(L"%s"), 2, parent);
}

class ClientCommandsTest : public testing::Test, protected ClientParts {
protected:
    void SetUp() override { LoadSample(root, L"ws\\workspace.json", true); }

    long Run(const std::wstring& command, const std::wstring& arguments) {
        long result = -99;
        EXPECT_EQ(commands.Run(command, arguments, result), S_OK);
        return result;
    }

    CWorkspace Reloaded() {
        CWorkspace copy;
        std::wstring error;
        EXPECT_TRUE(copy.Load(root.File(L"ws\\workspace.json"), error)) << TextCodec::ToUtf8(error);
        return copy;
    }

    TempFolder root;
};

TEST_F(ClientCommandsTest, EnvironmentSetsAndClears) {
    struct Row {
        const wchar_t* arguments;
        long result;
        const wchar_t* value;  // of A afterwards; null: unset
    };
    const Row rows[] = {
        {L"A=1", 0, L"1"},
        {L"A=x=y z", 0, L"x=y z"},
        {L"A=", 0, nullptr},
        {L"B=2", 0, nullptr},
        {L"no assignment", 1, nullptr},
        {L"=value", 1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(TextCodec::ToUtf8(row.arguments));
        EXPECT_EQ(Run(L"___Environment", row.arguments), row.result);
        const auto value = workspace.Variable(L"A");
        EXPECT_EQ(value.has_value(), row.value != nullptr);
        if (row.value && value) {
            EXPECT_EQ(*value, row.value);
        }
    }
}

TEST_F(ClientCommandsTest, ForAllRelaSubstitutesPerRecordAndBuildsThePairList) {
    EXPECT_EQ(Run(L"___Environment", L"QelKeyPairList="), 0);
    EXPECT_EQ(Run(L"___ForAllRela", PairListArguments(L"1001")), 0);
    // Last record first, each pair ended by a bar; 1004's blank old key counts as none.
    EXPECT_EQ(workspace.Variable(L"QelKeyPairList").value_or(L"<unset>"), L"0816 1003|0815 1002|");
}

TEST_F(ClientCommandsTest, ForAllRelaWithoutMatchesLeavesTheListEmpty) {
    EXPECT_EQ(Run(L"___ForAllRela", PairListArguments(L"1002")), 0);
    EXPECT_FALSE(workspace.Variable(L"QelKeyPairList"));
}

TEST_F(ClientCommandsTest, ForRelaChangeFieldIsWrittenBackAtOnce) {
    EXPECT_EQ(Run(L"___ForRela", L"db=Folder_All_Document QELKEY=1002 ___ChangeField 'OLD_DOC_QELKEY= '"), 0);
    CWorkspace saved = Reloaded();
    bool isNull = false;
    saved.Field(*saved.FindDocument(L"1002"), L"OLD_DOC_QELKEY", &isNull);
    EXPECT_TRUE(isNull);
    EXPECT_EQ(saved.Field(*saved.FindDocument(L"1003"), L"OLD_DOC_QELKEY"), L"0816") << "other records untouched";
    EXPECT_FALSE(Exists(root, L"ws\\workspace.json.caiclient-tmp"));

    EXPECT_EQ(Run(L"___ForAllRela", PairListArguments(L"1001")), 0);
    EXPECT_EQ(workspace.Variable(L"QelKeyPairList").value_or(L""), L"0816 1003|") << "the cleared key has left the list";
}

TEST_F(ClientCommandsTest, MalformedOrUnmatchedRecordCommandsFail) {
    const wchar_t* rows[][2] = {
        {L"___ForRela", L"db=Folder_All_Document QELKEY=4711 ___ChangeField 'OLD_DOC_QELKEY= '"},
        {L"___ForRela", L"Folder_All_Document QELKEY=1002 ___ChangeField 'A=1'"},
        {L"___ForRela", L"db=Folder_None QELKEY=1002 ___ChangeField 'A=1'"},
        {L"___ForRela", L"db=Folder_All_Document QELKEY=1002"},
        {L"___ForRela", L"db=Folder_All_Document QELKEY=1002 ___ChangeField 'no assignment'"},
        {L"___ForAllRela", L"db=Folder_All_Document \"QELKEY=1002\" ___NoSuchCommand x"},
        {L"___ChangeField", L"'OLD_DOC_QELKEY= '"},
    };
    const std::string before = Get(root, L"ws\\workspace.json");
    for (const auto& row : rows) {
        SCOPED_TRACE(TextCodec::ToUtf8(row[0]) + " " + TextCodec::ToUtf8(row[1]));
        EXPECT_EQ(Run(row[0], row[1]), 1);
    }
    EXPECT_EQ(Get(root, L"ws\\workspace.json"), before) << "nothing was written";
}

TEST_F(ClientCommandsTest, UnknownCommandIsNotImplemented) {
    long result = 0;
    EXPECT_EQ(commands.Run(L"___Frobnicate", L"", result), E_NOTIMPL);
    EXPECT_NE(err.str().find("unknown client command \"___Frobnicate\""), std::string::npos);
}

TEST_F(ClientCommandsTest, PrepareWritesUtf8WithExpressionsFilledIn) {
    // UTF-16 LE source with a byte order mark and a non-ASCII character.
    const std::wstring source = L"(setq ws \"$(WSPATH:/+)\") ; \u00e9t\u00e9\r\n";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(source.data()), source.size() * 2);
    Put(root, L"a\\qel.vor", bytes);

    const std::wstring found = evaluator.Evaluate(L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)");
    EXPECT_EQ(Run(L"___Prepare", L"'" + found + L"' '$(WSPATH:/+)qel.lsp' -utf8"), 0) << err.str();
    std::wstring ws = root.File(L"ws") + L"/";
    for (wchar_t& c : ws)
        if (c == L'\\') c = L'/';
    EXPECT_EQ(Get(root, L"ws\\qel.lsp"), TextCodec::ToUtf8(L"(setq ws \"" + ws + L"\") ; \u00e9t\u00e9\r\n"));
}

TEST_F(ClientCommandsTest, PrepareFailures) {
    Put(root, L"a\\broken.vor", "(load \"#(NO_SUCH_FIELD)\")");
    const wchar_t* rows[] = {
        L"'$(WSPATH:|+)missing.vor' '$(WSPATH:|+)qel.lsp' -utf8",
        L"'$(WSPATH:|+)missing.vor' -utf8",
        L"'<A>\\qel.vor' '$(WSPATH:|+)qel.lsp' -latin9",
        L"'<A>\\broken.vor' '$(WSPATH:|+)qel.lsp' -utf8",
    };
    for (const wchar_t* row : rows) {
        std::wstring arguments = row;
        if (const size_t at = arguments.find(L"<A>"); at != std::wstring::npos) arguments.replace(at, 3, root.File(L"a"));
        SCOPED_TRACE(TextCodec::ToUtf8(arguments));
        EXPECT_EQ(Run(L"___Prepare", arguments), 1);
        EXPECT_FALSE(Exists(root, L"ws\\qel.lsp"));
    }
}

TEST_F(ClientCommandsTest, ShellStartsTheProgram) {
    const std::wstring marker = root.File(L"ws\\started.txt");
    ASSERT_EQ(Run(L"___Shell", L"Shellexecute(open 'cmd.exe' '/c echo started> started.txt' '$(WSPATH:|-)' )"), 0)
        << err.str();
    bool started = false;
    for (int i = 0; i < 200 && !started; ++i) {
        started = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!started) Sleep(50);
    }
    EXPECT_TRUE(started) << "the program ran in the given folder";
    EXPECT_NE(out.str().find("started cmd.exe"), std::string::npos);
}

TEST_F(ClientCommandsTest, ShellRejectsWhatItCannotStart) {
    const wchar_t* rows[] = {
        L"open 'cmd.exe' '' ''",
        L"Shellexecute(open 'C:\\no\\such\\program.exe' '' '' )",
        L"Shellexecute('cmd.exe')",
        L"Shellexecute(open 'cmd.exe' '' '$(NOT_A_VARIABLE:%)' )",
    };
    for (const wchar_t* row : rows) {
        SCOPED_TRACE(TextCodec::ToUtf8(row));
        EXPECT_EQ(Run(L"___Shell", row), 1);
    }
}

TEST_F(ClientCommandsTest, ReportObsoleteDocumentsAsksWhenAttended) {
    ASSERT_TRUE(workspace.SetCurrentDocument(L"1001"));
    in.str("maybe\nn\n");
    user.SetAttended(true);
    EXPECT_EQ(Run(L"m_ReportObsoleteDocuments", L""), 1) << "the user said no";
    const std::string shown = out.str();
    EXPECT_NE(shown.find("[Fennory - Standard] Obsolete:"), std::string::npos) << shown;
    EXPECT_NE(shown.find("1003"), std::string::npos);
    EXPECT_EQ(shown.find("1002  "), std::string::npos) << "1002 is not obsolete";
    EXPECT_NE(shown.find("Please answer y or n"), std::string::npos);
}

TEST_F(ClientCommandsTest, ReportObsoleteDocumentsTakesTheDefaultUnattended) {
    ASSERT_TRUE(workspace.SetCurrentDocument(L"1001"));
    in.str("n\n");
    user.SetAttended(false);
    EXPECT_EQ(Run(L"m_ReportObsoleteDocuments", L""), 0);
    EXPECT_NE(out.str().find("(unattended)"), std::string::npos);
}

TEST_F(ClientCommandsTest, ReportObsoleteDocumentsWithNoneToReport) {
    EXPECT_EQ(Run(L"m_ReportObsoleteDocuments", L""), 0);
    EXPECT_NE(out.str().find("no obsolete documents"), std::string::npos);
}

TEST_F(ClientCommandsTest, CaptionIsTheExpandedVX16003) {
    EXPECT_EQ(commands.Caption(), L"Fennory - Standard");
    EXPECT_EQ(commands.MessageText(L"VX99999"), L"VX99999");
}

}  // namespace

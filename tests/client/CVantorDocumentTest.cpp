#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

using Accessor = std::wstring (CVantorDocument::*)() const;

class DocumentTest : public ComponentTest {
protected:
    DocumentTest() {
        client.attach(FakeCallback::Create());
        CUtils::Instance().SetLogThreshold(1);
    }

    ComPtr<FakeCallback> client;
    CVantorDocument document;
};

const struct AccessorRow {
    Accessor accessor;
    const wchar_t* expression;
} kAccessors[] = {
    {&CVantorDocument::GetQelkey, L"#(QELKEY)"},
    {&CVantorDocument::GetFileType, L"#(FILE_TYPE)"},
    {&CVantorDocument::GetContainerKey, L"#(DTY:CONTAINERKEY)"},
    {&CVantorDocument::GetContainerFileType, L"@(where \"QELKEY = #(DTY:CONTAINERKEY)\" #(FILE_TYPE))"},
    {&CVantorDocument::GetCreateLocalDrawing, L"#(DTY:CreateLocalDrawing)"},
    {&CVantorDocument::GetTemplate0, L"#(DTY:Template0)"},
    {&CVantorDocument::GetQNewTemplate, L"#(DTY:QNewTemplate)"},
    {&CVantorDocument::GetContainerAutoPsx, L"#(DTY:ContainerAutoPSX)"},
};

// The document asks through its own handler: the session's holds nothing here.
TEST_F(DocumentTest, AccessorsSendTheirExpressionThroughTheDocumentsHandler) {
    ASSERT_EQ(document.SetCallback(client.get()), S_OK);
    ASSERT_EQ(CVantorApplication::Instance().GetCallback(), nullptr);
    for (const AccessorRow& row : kAccessors) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression)));
        client->records.clear();
        client->answers[row.expression] = L"value";
        EXPECT_EQ((document.*row.accessor)(), L"value");
        client->answers[row.expression] = L"!no record";
        EXPECT_EQ((document.*row.accessor)(), L"");
        client->answers[row.expression] = std::nullopt;
        EXPECT_EQ((document.*row.accessor)(), L"");
        EXPECT_THAT(client->Prepared(), ElementsAre(row.expression, row.expression, row.expression));
    }
}

TEST_F(DocumentTest, KeyFromPathKeepsTheRawAnswer) {
    ASSERT_EQ(document.SetCallback(client.get()), S_OK);
    const std::wstring query = L"@(QELKEYfromPath \"C:\\dwg\\a b.dwg\")";
    struct Row {
        std::optional<std::wstring> answer;
        bool fails;
        const wchar_t* expected;
    } rows[] = {
        {L"4711", false, L"4711"},
        {L"!unknown function", false, L"!unknown function"},  // the caller treats it as managed
        {std::nullopt, false, L""},
        {L"4711", true, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.answer.value_or(L"<null>")));
        client->records.clear();
        client->answers[query] = row.answer;
        if (row.fails) client->failing.insert(query);
        EXPECT_EQ(document.GetQelkeyFromPath(L"C:\\dwg\\a b.dwg"), row.expected);
        EXPECT_THAT(client->Prepared(), ElementsAre(query));
    }
}

TEST_F(DocumentTest, WithoutCallbackEveryAccessorIsEmpty) {
    for (const AccessorRow& row : kAccessors) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expression)));
        LogReader::Remove();
        EXPECT_EQ((document.*row.accessor)(), L"");
        EXPECT_THAT(LogReader().Messages(), ElementsAre(L"Error: Fennory Professional Prepare(" +
                                                        std::wstring(row.expression) + L") failed. No callback object."));
    }
    LogReader::Remove();
    EXPECT_EQ(document.GetQelkeyFromPath(L"C:\\a.dwg"), L"");
    EXPECT_THAT(LogReader().Messages(),
                Contains(L"Error: Fennory Professional Prepare(@(QELKEYfromPath \"C:\\a.dwg\")) failed. No callback object."));
}

TEST_F(DocumentTest, DestructionReleasesAHeldCallback) {
    {
        CVantorDocument owner;
        ASSERT_EQ(owner.SetCallback(client.get()), S_OK);
        EXPECT_EQ(client->RefCount(), 2);
    }
    EXPECT_EQ(client->RefCount(), 1);
}

}  // namespace

#include "documents/CDocumentSetup.h"
#include "fakes/DocumentFixture.h"
#include "fakes/FakeVectaDocument.h"
#include "fakes/LogReader.h"
#include <gmock/gmock.h>
#include <functional>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

struct SymbolRow {
    const wchar_t* symbol;
    const wchar_t* logName;
    const wchar_t* expression;
    const wchar_t* value;
};

// The eleven symbols in the order the add-in must receive them.
const SymbolRow kSymbols[] = {
    {L"QELKEY", L"QELKEY", L"#(DTY:CONTAINERKEY)", L"Q-1001"},
    {L"EXTMEHR", L"EXTMEHR", L"@(where \"QELKEY = #(DTY:CONTAINERKEY)\" #(FILE_TYPE))", L"DWG"},
    {L"CreateLocalDrawing", L"CreateLocalDrawing", L"#(DTY:CreateLocalDrawing)", L"1"},
    {L"PSXFilename", L"PSXFilename", L"#(DTY:ContainerAutoPSX)", L"C:\\psx\\a.psx"},
    {L"TitleIniFile", L"TitleIniPath", L"#(FindFile \"mxdtitle.ini\" \"#(Appl:SearchPath)\")", L"C:\\c\\mxdtitle.ini"},
    {L"Title2VntIniFile", L"Title2VntIniFile", L"#(FindFile \"qeldtitle2vnt.ini\" \"#(Appl:SearchPath)\")",
     L"C:\\c\\qeldtitle2vnt.ini"},
    {L"TitleImportIniFile", L"TitleImportIniFile", L"#(FindFile \"qeldtitleimport.ini\" \"#(Appl:SearchPath)\")",
     L"C:\\c\\qeldtitleimport.ini"},
    {L"BOMIniFile", L"BOMIniPath", L"#(FindFile \"QELDBom.ini\" \"#(Appl:SearchPath)\")", L"C:\\c\\QELDBom.ini"},
    {L"WSPATH", L"WSPATH", L"$(WSPATH:/+)", L"C:/ws/"},
    {L"TemplatePath", L"TemplatePath", L"#(Appl:TemplatePath)", L"C:\\t"},
    {L"ApplTemplatePath", L"ApplTemplatePath", L"@(Appl:ApplTemplatePath:/)", L"C:/at/"},
};
constexpr wchar_t kLispTemplate[] = L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)";

class InitDocumentTest : public DocumentFixture {
protected:
    InitDocumentTest() {
        for (const SymbolRow& row : kSymbols) client->answers[row.expression] = row.value;
        client->answers[kLispTemplate] = L"C:\\c\\qel.vor";
        drawing = host.AddOpen(L"C:\\w\\a.dwg", false);
    }
    HRESULT Init() { return CDocumentSetup::InitDocument(Context(), drawing); }

    FakeVectaDocument* drawing;
};

TEST_F(InitDocumentTest, AddInIsChosenByTheFirstFourCharactersOfTheVersion) {
    const struct {
        const wchar_t* version;
        HRESULT versionResult;
        const wchar_t* progId;
    } rows[] = {
        {L"17.2", S_OK, L"Derudir.VntApplication2x.1"},   {L"17.20", S_OK, L"Derudir.VntApplication2x.1"},
        {L"17.2 SP1", S_OK, L"Derudir.VntApplication2x.1"}, {L"17.1", S_OK, L"Derudir.VntApplication2.1"},
        {L"16.2", S_OK, L"Derudir.VntApplication2.1"},    {L"", S_OK, L"Derudir.VntApplication2.1"},
        {L"17.", S_OK, L"Derudir.VntApplication2.1"},     {L"17.2", E_FAIL, L"Derudir.VntApplication2.1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.version)));
        host.journal.clear();
        host.version = row.version;
        host.versionResult = row.versionResult;
        EXPECT_EQ(Init(), S_OK);
        EXPECT_THAT(host.Entries(L"GetInterfaceObject"),
                    ElementsAre(L"GetInterfaceObject(" + std::wstring(row.progId) + L")"));
    }
}

TEST_F(InitDocumentTest, HandsOverCallbackElevenSymbolsInOrderAndLoadsTheLispFile) {
    EXPECT_EQ(Init(), S_OK);

    std::vector<std::wstring> expected = {L"GetInterfaceObject(Derudir.VntApplication2.1)", L"SetCAICallback(object)"};
    for (const SymbolRow& row : kSymbols)
        expected.push_back(L"SetSymbol(" + std::wstring(row.symbol) + L", \"" + row.value + L"\")");
    // The workspace folder goes in exactly as the client gave it, "qel" straight after it.
    expected.push_back(L"SendCommand(a.dwg, \"(load \"C:/ws/qel\") \")");
    EXPECT_THAT(host.journal, ElementsAreArray(expected));

    EXPECT_THAT(client->Calls(), Contains(FakeCallback::Record{L"Call", L"___Prepare",
                                                               L"'C:\\c\\qel.vor' '$(WSPATH:/+)qel.lsp' -utf8"}));
    std::vector<std::wstring> log = {L"Info: InitDocument: SetCAICallback() succeeded",
                                     L"Info: InitDocument: Set document symbols ..."};
    for (const SymbolRow& row : kSymbols) log.push_back(L"Info: InitDocument: Successfully set symbol " + std::wstring(row.logName));
    log.push_back(L"Info: InitDocument: Load qel.lsp ...");
    EXPECT_THAT(Log(), ElementsAreArray(log));
}

TEST_F(InitDocumentTest, EverySymbolFailingStillLoadsTheLispFileAndAnswersTheLastFailure) {
    host.failingSymbols = {L"*"};
    host.setCallbackResult = E_ACCESSDENIED;

    EXPECT_EQ(Init(), E_FAIL);

    EXPECT_EQ(host.Entries(L"SetSymbol").size(), 11u);
    EXPECT_THAT(host.Entries(L"SendCommand"), ElementsAre(L"SendCommand(a.dwg, \"(load \"C:/ws/qel\") \")"));
    const std::vector<std::wstring> log = Log();
    EXPECT_THAT(log, Contains(L"Error: InitDocument: SetCAICallback() failed (hr = 80070005)"));
    for (const SymbolRow& row : kSymbols)
        EXPECT_THAT(log, Contains(L"Error: InitDocument: Failed to set symbol " + std::wstring(row.logName) +
                                  L" (hr = 80004005)"));
}

TEST_F(InitDocumentTest, OnlyTheLastSymbolDecidesTheResult) {
    const struct {
        const wchar_t* failing;
        HRESULT expected;
    } rows[] = {{L"QELKEY", S_OK}, {L"WSPATH", S_OK}, {L"ApplTemplatePath", E_FAIL}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.failing)));
        host.failingSymbols = {row.failing};
        EXPECT_EQ(Init(), row.expected);
    }
}

TEST_F(InitDocumentTest, ValuesTheClientCannotGiveAreSetEmpty) {
    client->answers.clear();
    EXPECT_EQ(Init(), S_OK);
    EXPECT_EQ(host.symbols.size(), 11u);
    for (const auto& [name, value] : host.symbols) EXPECT_EQ(value, L"") << testing::PrintToString(name);
}

TEST_F(InitDocumentTest, WithoutQelVorNothingIsLoaded) {
    const struct {
        const wchar_t* name;
        std::function<void(FakeCallback&)> setUp;
    } rows[] = {
        {L"not on the search path", [](FakeCallback& c) { c.answers.erase(kLispTemplate); }},
        {L"preparation fails", [](FakeCallback& c) { c.callResults[L"___Prepare"] = 1; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        host.journal.clear();
        client->answers[kLispTemplate] = L"C:\\c\\qel.vor";
        client->callResults.clear();
        LogReader::Remove();
        row.setUp(*client.get());
        EXPECT_EQ(Init(), S_OK);
        EXPECT_THAT(host.Entries(L"SendCommand"), IsEmpty());
        EXPECT_THAT(Log(), Contains(L"Info: InitDocument: Don't load qel.lsp because qel.vor does not exist"));
    }
}

TEST_F(InitDocumentTest, AMissingOrIncompatibleAddInStopsBeforeAnySymbol) {
    const struct {
        const wchar_t* name;
        HRESULT objectResult;
        bool hasInterface;
        HRESULT expected;
        const wchar_t* entry;
    } rows[] = {
        {L"missing", REGDB_E_CLASSNOTREG, true, REGDB_E_CLASSNOTREG,
         L"Error: InitDocument: Failed to get interface Derudir.VntApplication2 (hr = 80040154)"},
        {L"no interface", S_OK, false, S_OK, L"Error: InitDocument: Interface Derudir.VntApplication2 not compatible"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        host.journal.clear();
        LogReader::Remove();
        host.interfaceObjectResult = row.objectResult;
        host.addInHasInterface = row.hasInterface;
        EXPECT_EQ(Init(), row.expected);
        EXPECT_THAT(host.journal, ElementsAre(L"GetInterfaceObject(Derudir.VntApplication2.1)"));
        EXPECT_THAT(Log(), ElementsAre(row.entry));
    }
}

TEST_F(InitDocumentTest, NoHostOrNoDocumentFailsWithoutAnyCall) {
    CDocumentContext withoutHost = Context();
    withoutHost.application = nullptr;
    EXPECT_EQ(CDocumentSetup::InitDocument(withoutHost, drawing), E_FAIL);
    EXPECT_EQ(CDocumentSetup::InitDocument(Context(), nullptr), E_FAIL);
    EXPECT_THAT(host.journal, IsEmpty());
    EXPECT_THAT(client->records, IsEmpty());
}

}  // namespace

#include "HostTest.h"
#include "client/CVantorApplication.h"
#include "fakes/ArgumentArray.h"
#include "fakes/LogReader.h"
#include "fakes/WaitLimit.h"
#include "support/CUtils.h"
#include "support/UniqueVariant.h"
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::wstring FreshProfile() {
    static int counter = 0;
    return L"Host-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
           std::to_wstring(++counter);
}

// An entry ending in "*" matches every line that begins with the rest.
bool Matches(const std::wstring& line, const std::wstring& entry) {
    if (entry.empty() || entry.back() != L'*') return line == entry;
    return line.compare(0, entry.size() - 1, entry, 0, entry.size() - 1) == 0;
}

}  // namespace

void HostTest::SetUpTestSuite() { ASSERT_EQ(CSimProcess::RegisterAll(), S_OK); }

HostTest::HostTest() : profile(FreshProfile()) {
    tracePath = folder.File(L"trace.txt");
    client.attach(FakeCallback::Create());
    client->AnswerForHostSession(profile, L"1");
    client->answers[L"#(Appl:ApplicationName)"] = L"Vecta";
    client->answers[L"#(Appl:ExeFileName)"] = CSimProcess::SimPath();
    SetOpenArgument(L"");
    launcher.Attach(*client.get());
    EXPECT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, object.put_void()), S_OK);
    CUtils::Instance().SetLogThreshold(2);
}

HostTest::~HostTest() {
    CVantorApplication::Instance().ReleaseCallback();
    QuitHosts();
    object.reset();
    sims.clear();
}

void HostTest::SetOpenArgument(const std::wstring& extra) {
    client->answers[L"#(Appl:OpenArgument)"] =
        L"/profile \"" + profile + L"\" /release R17 /idle 30 /trace \"" + tracePath + L"\" " + extra;
}

CSimProcess& HostTest::StartSim(const std::wstring& extra, std::wstring simProfile) {
    if (simProfile.empty()) simProfile = profile;
    sims.push_back(std::make_unique<CSimProcess>());
    EXPECT_EQ(sims.back()->Start(simProfile, L"R17", L"/idle 30 /trace \"" + tracePath + L"\" " + extra), S_OK);
    return *sims.back();
}

void HostTest::OpenDrawing(const std::wstring& name, ComPtr<IVectaDocument>& document) {
    const std::wstring path = folder.File(name);
    TempFolder::WriteBytes(path, "VECTA DRAWING 1\nKEY=Q-1\n");
    ComPtr<IVectaDocuments> documents;
    ASSERT_EQ(sims.at(0)->App()->get_Documents(documents.put()), S_OK);
    UniqueBstr text(path);
    ASSERT_EQ(documents->Open(text.get(), CVectaArgument::Index(0), CVectaArgument::Index(0), document.put()), S_OK);
}

void HostTest::LendClient() {
    ASSERT_EQ(CVantorApplication::Instance().SetCallback(client.get()), S_OK);
    CUtils::Instance().SetLogThreshold(2);
}

HRESULT HostTest::Run(const std::vector<std::wstring>& items, LONG& result) {
    UniqueVariant args = ArgumentArray(items);
    UniqueVariant out;
    const HRESULT hr = [&] {
        const WaitLimit bound(RunOf(items), std::chrono::seconds(60));
        return object->Run(client.get(), args.get(), out.put());
    }();
    result = V_I4(&out.get());
    return hr;
}

void HostTest::ShellStartsNothing() {
    client->commands[L"___Shell"] = [](FakeCallback&, const std::wstring&) { return 0L; };
}

void HostTest::SetMessage(const std::wstring& key, const std::wstring& text) {
    client->messages[key] = text;
    client->answers[text] = text;
}

bool HostTest::WaitForEntry(const std::wstring& entry, DWORD milliseconds) const {
    const DWORD begin = GetTickCount();
    do {
        const auto messages = Messages();
        if (std::any_of(messages.begin(), messages.end(), [&](const std::wstring& line) { return Matches(line, entry); }))
            return true;
        Sleep(20);
    } while (GetTickCount() - begin < milliseconds);
    return false;
}

std::vector<std::wstring> HostTest::Messages() const { return LogReader().Messages(); }

size_t HostTest::Count(const std::wstring& entry) const {
    const auto messages = Messages();
    return static_cast<size_t>(
        std::count_if(messages.begin(), messages.end(), [&](const std::wstring& line) { return Matches(line, entry); }));
}

size_t HostTest::ShellCalls() const {
    size_t count = 0;
    for (const auto& call : client->Calls()) count += call.text == L"___Shell";
    return count;
}

std::string HostTest::Trace() const {
    std::ifstream in(std::filesystem::path(tracePath), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void HostTest::QuitHosts() {
    if (object && Host().Application().get()) (void)Host().Application().get()->Quit();
    launcher.WaitForAll(5000);
}

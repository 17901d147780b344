#include "DocumentFixture.h"
#include "FakeVectaDocument.h"
#include "LogReader.h"
#include "client/CVantorApplication.h"
#include "support/CUtils.h"
#include "support/UniqueBstr.h"

DocumentFixture::DocumentFixture() {
    client.attach(FakeCallback::Create());
    CUtils::Instance().SetLogThreshold(1);
    EXPECT_EQ(CVantorApplication::Instance().SetCallback(client.get()), S_OK);
    EXPECT_EQ(properties.SetCallback(client.get()), S_OK);
}

DocumentFixture::~DocumentFixture() {
    CVantorApplication::Instance().ReleaseCallback();
    properties.ReleaseCallback();
}

CDocumentContext DocumentFixture::Context() {
    return {hostSession, ComPtr<IVectaApplication>(host.App()), CVantorApplication::Instance(), properties,
            [this](const CCommandLine& commandLine, int check) {
                sent.emplace_back(commandLine.str(), check);
                if (FakeVectaDocument* active = host.Active()) {
                    UniqueBstr text(commandLine.str());
                    (void)active->SendCommand(text.get());
                }
                return sendResult;
            }};
}

std::vector<std::wstring> DocumentFixture::Log() const {
    std::vector<std::wstring> entries;
    for (const std::wstring& entry : LogReader().Messages())
        if (entry.find(L": Fennory Professional ") == std::wstring::npos) entries.push_back(entry);
    return entries;
}

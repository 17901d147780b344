#include "SimDocumentTest.h"
#include "client/CVantorApplication.h"
#include "support/ComPtr.h"
#include "support/UniqueBstr.h"
#include <filesystem>
#include <fstream>
#include <sstream>

void SimDocumentTest::SetUpTestSuite() { ASSERT_EQ(CSimProcess::RegisterAll(), S_OK); }

std::wstring SimDocumentTest::InWorkFolder(const std::wstring& file) { return CSimProcess::WorkFolder() + L"\\" + file; }

std::string SimDocumentTest::ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void SimDocumentTest::WriteAll(const std::wstring& path, const std::string& text) {
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << text;
}

void SimDocumentTest::StartSim(const std::wstring& name, const std::string& control, const std::wstring& extra) {
    const std::wstring controlPath = InWorkFolder(name + L".json");
    tracePath = InWorkFolder(name + L".trace");
    WriteAll(controlPath, control);
    DeleteFileW(tracePath.c_str());
    const std::wstring profile = name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
    ASSERT_EQ(sim.Start(profile, L"R17", L"/control \"" + controlPath + L"\" /trace \"" + tracePath + L"\" " + extra), S_OK);
}

CDocumentContext SimDocumentTest::SimContext() {
    return {hostSession, ComPtr<IVectaApplication>(sim.App()), CVantorApplication::Instance(), properties,
            [this](const CCommandLine& commandLine, int check) {
                sent.emplace_back(commandLine.str(), check);
                ComPtr<IVectaDocument> active;
                HRESULT hr = sim.App()->get_ActiveDocument(active.put());
                if (FAILED(hr)) return hr;
                UniqueBstr text(commandLine.str());
                return active->SendCommand(text.get());
            }};
}

std::wstring SimDocumentTest::Drawing(const std::wstring& name, const std::string& content) {
    const std::wstring path = InWorkFolder(name);
    WriteAll(path, content);
    return path;
}

std::string SimDocumentTest::Trace() const { return ReadAll(tracePath); }

long SimDocumentTest::DocumentCount() const {
    ComPtr<IVectaDocuments> documents;
    long count = -1;
    if (SUCCEEDED(sim.App()->get_Documents(documents.put()))) (void)documents->get_Count(&count);
    return count;
}

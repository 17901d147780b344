#include "VectaTestSupport.h"
#include "fakes/CSimProcess.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vecta_test {

std::wstring UniqueProfile(const wchar_t* name) {
    return std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
}

std::wstring InWorkFolder(const std::wstring& file) { return CSimProcess::WorkFolder() + L"\\" + file; }

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::wstring& path, const std::string& text) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << text;
}

VARIANT Text(BSTR text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text;
    return v;
}

HRESULT OpenDrawing(IVectaApplication* app, const std::wstring& path, ComPtr<IVectaDocument>& document) {
    ComPtr<IVectaDocuments> documents;
    RETURN_IF_FAILED(app->get_Documents(documents.put()));
    UniqueBstr name(path);
    return documents->Open(name.get(), CVectaArgument::Index(0), CVectaArgument::Index(0), document.put());
}

long DocumentCount(IVectaApplication* app) {
    ComPtr<IVectaDocuments> documents;
    long count = -1;
    if (SUCCEEDED(app->get_Documents(documents.put()))) (void)documents->get_Count(&count);
    return count;
}

HRESULT StartWithDrawing(CSimProcess& sim, const std::wstring& name, const std::string& control,
                         ComPtr<IVectaDocument>& document) {
    const std::wstring path = InWorkFolder(name + L".vdr");
    const std::wstring controlFile = InWorkFolder(name + L".json");
    WriteAll(path, kDrawing);
    WriteAll(controlFile, control);
    RETURN_IF_FAILED(sim.Start(UniqueProfile(name.c_str()), L"R17", L"/control \"" + controlFile + L"\""));
    return OpenDrawing(sim.App(), path, document);
}

HRESULT ConnectAddIn(IVectaApplication* app, const wchar_t* progId, ICAICallback* callback, ComPtr<IVntAddIn>& addIn) {
    ComPtr<IDispatch> object;
    UniqueBstr name(progId);
    RETURN_IF_FAILED(app->GetInterfaceObject(name.get(), object.put()));
    RETURN_IF_FAILED(object.query(addIn));
    return addIn->SetCAICallback(callback);
}

bool Contains(const std::wstring& path, const std::string& text) {
    return ReadAll(path).find(text) != std::string::npos;
}

void RegisteredSim::SetUpTestSuite() { ASSERT_EQ(CSimProcess::RegisterAll(), S_OK); }

}  // namespace vecta_test

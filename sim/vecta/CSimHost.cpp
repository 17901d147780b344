#include "CSimHost.h"
#include "../instance/InstanceNames.h"
#include "CDemandLoader.h"
#include "CSimAddIn.h"
#include "CSimApplication.h"
#include "CSimDocument.h"
#include "CSimDocuments.h"
#include "CSimMenuBar.h"
#include "CSimMenuGroup.h"
#include "CSimMenuGroups.h"
#include "CSimPopupMenu.h"
#include "CSimPopupMenus.h"
#include "CSimRegistrar.h"
#include "CSimState.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include <algorithm>

CSimHost::CSimHost(const CSimOptions& options)
    : m_options(options), m_trace(options.traceFile), m_faults(options.controlFile), m_lastCall(GetTickCount64()) {
    if (options.busyMs) SetBusy(options.busyMs);
    m_faults.Refresh();
}

CSimHost::~CSimHost() {
    if (m_rotCookie) {
        ComPtr<IRunningObjectTable> rot;
        if (SUCCEEDED(GetRunningObjectTable(0, rot.put()))) rot->Revoke(m_rotCookie);
    }
}

HRESULT CSimHost::Start(HWND window) {
    m_window = window;
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    RETURN_IF_FAILED(LoadTypeLibEx(path, REGKIND_NONE, m_typeLib.put()));
    m_application = MakeSimObject<CSimApplication>(*this);
    CreateBaseMenu();
    RETURN_IF_FAILED(KeepStubs());
    CDemandLoader::LoadAtStartUp(*this);
    for (unsigned i = 0; i < m_options.startupDrawings; ++i)
        Add(MakeSimObject<CSimDocument>(*this, CDrawing(), std::wstring(), NextUntitledName(), false));

    ComPtr<IRunningObjectTable> rot;
    RETURN_IF_FAILED(GetRunningObjectTable(0, rot.put()));
    ComPtr<IMoniker> moniker;
    RETURN_IF_FAILED(CreateInstanceItemMoniker(m_options.InstanceClass(), m_options.profile, moniker.put()));
    ComPtr<IUnknown> object;
    RETURN_IF_FAILED(m_application.query(object));
    return rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object.get(), moniker.get(), &m_rotCookie);
}

void CSimHost::Quit() {
    while (!m_documents.empty()) Remove(m_documents.back().get());
    if (m_rotCookie) {
        ComPtr<IRunningObjectTable> rot;
        if (SUCCEEDED(GetRunningObjectTable(0, rot.put()))) rot->Revoke(m_rotCookie);
        m_rotCookie = 0;
    }
    m_callback.reset();
    PostQuitMessage(0);
}

HRESULT CSimHost::TypeInfo(REFIID iid, ITypeInfo** out) const {
    if (!m_typeLib) return E_UNEXPECTED;
    return m_typeLib->GetTypeInfoOfGuid(iid, out);
}

void CSimHost::BeginCall() {
    m_lastCall = GetTickCount64();
    m_faults.Refresh();
}

void CSimHost::EndInCall(const std::wstring& call) const {
    constexpr UINT kEndedInCall = 5;
    m_trace.Record(L"Application", L"Exit", {CTrace::Text(call)}, S_OK);
    TerminateProcess(GetCurrentProcess(), kEndedInCall);
    ExitProcess(kEndedInCall);
}

bool CSimHost::IdleLongEnough() const {
    if (m_options.idleSeconds == 0) return false;
    const bool onlyStartUp = std::all_of(m_documents.begin(), m_documents.end(),
                                         [](const auto& d) { return d->IsUntouchedStartUp(); });
    return onlyStartUp && GetTickCount64() - m_lastCall >= m_options.idleSeconds * 1000ULL;
}

ComPtr<CSimDocument> CSimHost::ActiveDocument() const { return m_active; }

void CSimHost::Activate(CSimDocument* document) {
    for (const auto& d : m_documents)
        if (d.get() == document) m_active = d;
}

void CSimHost::Add(const ComPtr<CSimDocument>& document) {
    m_documents.push_back(document);
    m_active = document;
}

void CSimHost::Remove(CSimDocument* document) {
    document->MarkClosed();
    std::erase_if(m_documents, [document](const auto& d) { return d.get() == document; });
    if (m_active.get() == document) {
        m_active.reset();
        if (!m_documents.empty()) m_active = m_documents.back();
    }
}

ComPtr<CSimDocument> CSimHost::FindOpen(const std::wstring& fullName) const {
    for (const auto& d : m_documents)
        if (!d->FullNameText().empty() && lstrcmpiW(d->FullNameText().c_str(), fullName.c_str()) == 0) return d;
    return {};
}

std::wstring CSimHost::NextUntitledName() { return L"Drawing" + std::to_wstring(++m_untitledCount) + L".dwg"; }

bool CSimHost::IsIdle() const { return GetTickCount64() >= m_busyUntil; }

void CSimHost::SetBusy(DWORD milliseconds) { m_busyUntil = GetTickCount64() + milliseconds; }

void CSimHost::Cancel() { m_busyUntil = 0; }

void CSimHost::SetCallback(ICAICallback* callback) { m_callback = ComPtr<ICAICallback>(callback); }

std::wstring CSimHost::Evaluate(const std::wstring& expression) const {
    if (!m_callback) return {};
    UniqueBstr request(expression);
    UniqueBstr answer;
    if (FAILED(m_callback->Prepare(request.get(), answer.put()))) return {};
    std::wstring text = answer.str();
    return !text.empty() && text[0] == L'!' ? std::wstring() : text;
}

void CSimHost::ReportOutcome(const std::wstring& outcome) const {
    if (!m_callback) {
        m_trace.Record(L"AddIn", L"Report", {CTrace::Text(outcome)}, E_POINTER);
        return;
    }
    UniqueBstr command(L"___Environment");
    UniqueBstr arguments(L"ZEPErrorCode=" + outcome);
    long result = 0;
    const HRESULT hr = m_callback->Call(command.get(), arguments.get(), nullptr, &result);
    m_trace.Record(L"AddIn", L"Report", {CTrace::Text(outcome)}, hr);
}

HRESULT CSimHost::KeepStubs() {
    const auto& group = m_menuGroups.front();
    const auto addIn = MakeSimObject<CSimAddIn>(*this, true);
    RETURN_IF_FAILED(m_stubs.Keep(m_application.get(), IID_IUnknown));
    RETURN_IF_FAILED(m_stubs.Keep(m_application.get(), __uuidof(IVectaApplication)));
    RETURN_IF_FAILED(m_stubs.Keep(addIn.get(), IID_IDispatch));
    if (CSimRegistrar::ClientLibraryLoads()) RETURN_IF_FAILED(m_stubs.Keep(addIn.get(), __uuidof(IVntAddIn)));
    RETURN_IF_FAILED(m_stubs.Keep(
        MakeSimObject<CSimDocument>(*this, CDrawing(), std::wstring(), std::wstring(), false).get(),
        __uuidof(IVectaDocument)));
    RETURN_IF_FAILED(m_stubs.Keep(MakeSimObject<CSimDocuments>(*this).get(), __uuidof(IVectaDocuments)));
    RETURN_IF_FAILED(m_stubs.Keep(MakeSimObject<CSimState>(*this).get(), __uuidof(IVectaState)));
    RETURN_IF_FAILED(m_stubs.Keep(MakeSimObject<CSimMenuGroups>(*this).get(), __uuidof(IVectaMenuGroups)));
    RETURN_IF_FAILED(m_stubs.Keep(group.get(), __uuidof(IVectaMenuGroup)));
    RETURN_IF_FAILED(m_stubs.Keep(MakeSimObject<CSimPopupMenus>(*this, group).get(), __uuidof(IVectaPopupMenus)));
    RETURN_IF_FAILED(m_stubs.Keep(group->PopupMenus().front().get(), __uuidof(IVectaPopupMenu)));
    return m_stubs.Keep(MakeSimObject<CSimMenuBar>(*this).get(), __uuidof(IVectaMenuBar));
}

void CSimHost::CreateBaseMenu() {
    auto group = MakeSimObject<CSimMenuGroup>(*this, L"VECTA", L"vecta.mns",
                                              std::vector<std::wstring>{L"&File", L"&Edit", L"&View", L"&Help"});
    m_menuGroups.push_back(group);
    for (const auto& menu : group->PopupMenus()) m_menuBar.push_back(menu);
}

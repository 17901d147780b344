// One object's session with Vecta: connecting (the search, the host window, the busy check,
// the session set-up), the commands that only connect, command lines to the active drawing,
// quitting, and the host profile's template folder.
#include "CHostSession.h"
#include "CApplicationManager.h"
#include "CHostProfile.h"
#include "CVectaArgument.h"
#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "support/COutsideValue.h"
#include "support/CProductIdentity.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include "support/UniqueVariant.h"

namespace {

constexpr wchar_t kMenuGroup[] = L"Fennory";

std::wstring WithoutExtension(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : path.substr(0, dot);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
}  // namespace

HRESULT CHostSession::ConnectApplication(int start, int useLastProfile, int checkBusy,
                                         ComPtr<IVectaApplication>& application, ComPtr<IVectaDocument>* activeDocument) {
    try {
        CApplicationManager manager;
        ComPtr<IUnknown> object;
        const HRESULT located = manager.LocateApplication(object, start, useLastProfile);
        if (FAILED(located)) return located;

        application.reset();
        if (object) (void)object.query(application);
        m_application = application;
        if (!application) return E_NOINTERFACE;

        BringHostWindowForward(application.get());
        if (checkBusy == 1 && manager.IsBusy(application.get(), activeDocument) == 1) return E_FAIL;
        if (start == 1) (void)InitApplication(application.get());
        if (manager.FoundStarting()) {
            if (activeDocument) activeDocument->reset();  // no reference of ours outlives their close
            (void)CloseStartUpDrawings(application.get());
        }
        return located;
    } catch (...) {
        const HRESULT hr = HResultFromCaught();
        CUtils::Instance().WriteLog(CUtils::LevelError, L"ConnectApplication: Unexpected failure (hr = %X)", hr);
        return hr;
    }
}

void CHostSession::BringHostWindowForward(IVectaApplication* application) {
    long handle = 0;
    const HRESULT hr = application->get_HWND(&handle);
    if (FAILED(hr)) {
        // The connection stands; only the window stays where it is.
        CUtils::Instance().WriteLog(CUtils::LevelError, L"ConnectApplication: Can't read Vecta's main window (hr = %X)", hr);
        return;
    }
    HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(handle));
    if (!window) return;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

HRESULT CHostSession::RestoreApplication() {
    if (m_application) return S_OK;
    ComPtr<IVectaApplication> application;
    const HRESULT hr = ConnectApplication(0, 1, 0, application);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CHostSession::IsAvailableForPublishPSX(LONG& result) {
    result = 0;
    ComPtr<IVectaApplication> application;
    const HRESULT connected = ConnectApplication(0, 0, 0, application);
    if (FAILED(connected)) return S_OK;

    ComPtr<IVectaDocuments> documents;
    long count = -1;
    HRESULT hr = application->get_Documents(documents.put());
    if (SUCCEEDED(hr) && documents) hr = documents->get_Count(&count);
    if (FAILED(hr) || !documents || count != 0) {
        result = 1;
        CUtils::Instance().WriteLog(
            CUtils::LevelError,
            L"IsAvailableForPublishPSX: Application is already running and a document is opened. Don't create PSX file");
    }
    return connected;
}

HRESULT CHostSession::HeldOrConnected(ComPtr<IVectaApplication>& application) {
    application = m_application;
    return application ? S_OK : ConnectApplication(0, 1, 1, application);
}

HRESULT CHostSession::SendCommand(const CCommandLine& commandLine, int checkManagedDocument) {
    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaApplication> application;
    RETURN_IF_FAILED(HeldOrConnected(application));

    ComPtr<IVectaDocument> document;
    HRESULT hr = application->get_ActiveDocument(document.put());
    if (SUCCEEDED(hr) && !document) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"SendCommand: Can't send command. There is no active document");
        return hr;
    }

    CVantorApplication& session = CVantorApplication::Instance();
    if (checkManagedDocument != 0 && !session.IsJobServer()) {
        UniqueBstr folder, name;
        (void)document->get_Path(folder.put());
        (void)document->get_Name(name.put());
        if (m_document.GetQelkeyFromPath(folder.str() + L"\\" + name.str()).empty()) {
            utils.ShowMessage(session.GetUserMessage(L"VX16014", false), MB_OK);
            return S_OK;
        }
    }

    UniqueBstr text(commandLine.str());
    hr = document->SendCommand(text.get());
    if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"SendCommand: Failed to send command (hr = %X)", hr);
    return hr;
}

HRESULT CHostSession::QuitVecta() {
    ComPtr<IVectaApplication> application;
    RETURN_IF_FAILED(HeldOrConnected(application));

    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaDocument> document;
    const HRESULT hr = application->get_ActiveDocument(document.put());
    if (FAILED(hr) || !document) {
        const HRESULT quit = application->Quit();
        if (FAILED(quit)) utils.WriteLog(CUtils::LevelError, L"QuitVecta: Failed to quit Vecta (hr = %X)", quit);
        return quit;
    }
    utils.WriteLog(CUtils::LevelInfo, L"QuitVecta: Don't quit Vecta, because there is still an active document");
    return hr;
}

HRESULT CHostSession::InitApplication(IVectaApplication* application) {
    CUtils& utils = CUtils::Instance();
    const std::wstring& product = CProductIdentity::Instance().DisplayName();

    HRESULT hr = E_FAIL;
    for (CUtils::AddInPosition position = utils.LoadAddInList(); position;) {
        bool refused = false;
        const std::wstring path = utils.GetNextAddInPath(position, &refused);
        if (refused) continue;  // its entry says what was refused; nothing is loaded
        utils.WriteLog(CUtils::LevelInfo, L"InitApplication: Load %s", path);
        UniqueBstr module(path);
        // An empty path (not found) is never handed over: Vecta would look in its working folder.
        hr = path.empty() ? E_FAIL : application->LoadAddIn(module.get());
        if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"InitApplication: Failed to load %s (hr = %X)", path, hr);
    }

    const std::wstring menu = WithoutExtension(CVantorApplication::Instance().FindMenuFile());
    if (menu.empty()) {
        utils.WriteLog(CUtils::LevelError, (L"InitApplication: " + product + L" menu file 'vantor.mns' not found.").c_str());
        return hr;
    }

    ComPtr<IVectaMenuGroups> groups;
    hr = application->get_MenuGroups(groups.put());
    if (SUCCEEDED(hr) && !groups) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelInfo, L"InitApplication: get_MenuGroups failed (hr = %X)", hr);
        return hr;
    }

    const UniqueVariant groupName{std::wstring(kMenuGroup)};
    ComPtr<IVectaMenuGroup> loaded;
    if (SUCCEEDED(groups->Item(groupName.get(), loaded.put())) && loaded) {
        UniqueBstr fileName;
        hr = loaded->get_MenuFileName(fileName.put());
        if (SUCCEEDED(hr) && SameText(WithoutExtension(fileName.str()), menu)) return hr;
        utils.WriteLog(CUtils::LevelInfo, (L"InitApplication: Unload " + product + L" menu '%s'").c_str(), fileName.str());
        (void)loaded->Unload();
    }

    // Vecta reads the menu file itself: a pipe or a relative name must not reach it.
    const std::optional<CCheckedPath> checkedMenu = COutsideValue::Path(L"InitApplication", menu);
    if (!checkedMenu) return E_INVALIDARG;
    utils.WriteLog(CUtils::LevelInfo, (L"InitApplication: Load " + product + L" menu '%s'").c_str(), menu);
    UniqueBstr menuPath(checkedMenu->str());
    ComPtr<IVectaMenuGroup> group;
    hr = groups->Load(menuPath.get(), CVectaArgument::Empty(), group.put());
    if (SUCCEEDED(hr) && !group) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, (L"InitApplication: Failed to load " + product + L" menu '%s'").c_str(), menu);
        return hr;
    }

    ComPtr<IVectaPopupMenus> menus;
    ComPtr<IVectaPopupMenu> first;
    ComPtr<IVectaMenuBar> bar;
    if (FAILED(group->get_Menus(menus.put())) || !menus || FAILED(menus->Item(CVectaArgument::Index(0), first.put())) ||
        !first || FAILED(application->get_MenuBar(bar.put())) || !bar)
        return hr;
    long count = 0;
    const HRESULT counted = bar->get_Count(&count);
    if (FAILED(counted)) return counted;
    return first->InsertInMenuBar(CVectaArgument::Index(count + 1));
}

HRESULT CHostSession::CloseStartUpDrawings(IVectaApplication* application) {
    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaDocuments> documents;
    HRESULT hr = application->get_Documents(documents.put());
    if (SUCCEEDED(hr) && !documents) hr = E_POINTER;
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"CloseStartUpDrawings: IVectaApplication->get_Documents() failed (hr = %X)", hr);
        return hr;
    }

    long count = 0;
    for (long index = 0; SUCCEEDED(documents->get_Count(&count)) && index < count; ++index) {
        ComPtr<IVectaDocument> document;
        hr = documents->Item(CVectaArgument::Index(index), document.put());
        if (FAILED(hr) || !document) continue;
        UniqueBstr fullName;
        VARIANT_BOOL saved = VARIANT_FALSE;
        if (FAILED(document->get_FullName(fullName.put())) || fullName.length() != 0 ||
            FAILED(document->get_Saved(&saved)) || saved == VARIANT_FALSE)
            continue;
        UniqueBstr name;
        (void)document->get_Name(name.put());
        utils.WriteLog(CUtils::LevelInfo, L"CloseStartUpDrawings: Close drawing '%s'", name.str());
        // The collection has shrunk: the next drawing now sits at this index.
        if (SUCCEEDED(document->Close(CVectaArgument::Index(0), CVectaArgument::Missing()))) --index;
    }
    return hr;
}

std::wstring CHostSession::GetHostTemplatePath() { return CHostProfile::TemplatePath(); }

ComPtr<IVectaApplication> CHostSession::Forget(IVectaApplication* application) noexcept {
    ComPtr<IVectaApplication> held;
    if (application && m_application.get() == application) held = std::move(m_application);
    return held;
}

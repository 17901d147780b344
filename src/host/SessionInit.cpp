// Preparing a connected host for the PDM system: add-ins, the product menu, the empty
// drawings a fresh host opens by itself; and the host profile's template folder.
#include "CHostProfile.h"
#include "CVectaArgument.h"
#include "component/CCAI_Call.h"
#include "client/CVantorApplication.h"
#include "support/CProductIdentity.h"
#include "support/CUtils.h"
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

HRESULT CCAI_Call::InitApplication() {
    if (!m_application) return E_FAIL;
    CUtils& utils = CUtils::Instance();
    const std::wstring& product = CProductIdentity::Instance().DisplayName();

    HRESULT hr = E_FAIL;
    for (CUtils::AddInPosition position = utils.LoadAddInList(); position;) {
        const std::wstring path = utils.GetNextAddInPath(position);
        utils.WriteLog(CUtils::LevelInfo, L"InitApplication: Load %s", path);
        UniqueBstr module(path);
        // An empty path (not found, or refused) is never handed over: Vecta would look in its
        // working folder.
        hr = path.empty() ? E_FAIL : m_application->LoadAddIn(module.get());
        if (FAILED(hr)) utils.WriteLog(CUtils::LevelError, L"InitApplication: Failed to load %s (hr = %X)", path, hr);
    }

    const std::wstring menu = WithoutExtension(CVantorApplication::Instance().FindMenuFile());
    if (menu.empty()) {
        utils.WriteLog(CUtils::LevelError, (L"InitApplication: " + product + L" menu file 'vantor.mns' not found.").c_str());
        return hr;
    }

    ComPtr<IVectaMenuGroups> groups;
    hr = m_application->get_MenuGroups(groups.put());
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

    utils.WriteLog(CUtils::LevelInfo, (L"InitApplication: Load " + product + L" menu '%s'").c_str(), menu);
    UniqueBstr menuPath(menu);
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
        !first || FAILED(m_application->get_MenuBar(bar.put())) || !bar)
        return hr;
    long count = 0;
    const HRESULT counted = bar->get_Count(&count);
    if (FAILED(counted)) return counted;
    return first->InsertInMenuBar(CVectaArgument::Index(count + 1));
}

HRESULT CCAI_Call::CloseStartUpDrawings() {
    if (!m_application) return E_FAIL;
    CUtils& utils = CUtils::Instance();
    ComPtr<IVectaDocuments> documents;
    HRESULT hr = m_application->get_Documents(documents.put());
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

std::wstring CCAI_Call::GetHostTemplatePath() { return CHostProfile::TemplatePath(); }

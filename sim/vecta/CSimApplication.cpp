#include "CSimApplication.h"
#include "CSimAddIn.h"
#include "CSimDocument.h"
#include "CSimDocuments.h"
#include "CSimMenuBar.h"
#include "CSimMenuGroups.h"
#include "CSimState.h"
#include "CTextFile.h"
#include "support/UniqueBstr.h"

namespace {
constexpr const wchar_t* kAddInProgIds[] = {L"Derudir.VntApplication2.1", L"Derudir.VntApplication2x.1"};
}

HRESULT CSimApplication::get_ActiveDocument(IVectaDocument** document) noexcept {
    return Call(L"ActiveDocument", [&](auto&) -> HRESULT {
        if (!document) return E_POINTER;
        *document = nullptr;
        const auto active = m_host.ActiveDocument();
        if (!active) return E_FAIL;
        *document = active.get();
        active->AddRef();
        return S_OK;
    });
}

HRESULT CSimApplication::get_Version(BSTR* version) noexcept {
    return Call(L"Version", [&](auto&) -> HRESULT {
        if (!version) return E_POINTER;
        *version = UniqueBstr(m_host.Options().version).release();
        return S_OK;
    });
}

HRESULT CSimApplication::LoadAddIn(BSTR fullPath) noexcept {
    return Call(L"LoadAddIn", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Text(fullPath));
        const std::wstring path = fullPath ? fullPath : L"";
        return CTextFile::Exists(path) ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    });
}

HRESULT CSimApplication::GetInterfaceObject(BSTR progId, IDispatch** object) noexcept {
    return Call(L"GetInterfaceObject", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Text(progId));
        if (!object) return E_POINTER;
        *object = nullptr;
        const std::wstring name = progId ? progId : L"";
        bool known = false;
        for (const wchar_t* id : kAddInProgIds) known = known || lstrcmpiW(id, name.c_str()) == 0;
        if (!known || m_host.Faults().addIn == L"missing") return REGDB_E_CLASSNOTREG;
        const auto addIn = MakeSimObject<CSimAddIn>(m_host, m_host.Faults().addIn != L"nointerface");
        return addIn->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object));
    });
}

HRESULT CSimApplication::Quit() noexcept {
    return Call(L"Quit", [&](auto&) -> HRESULT {
        m_host.Quit();
        return S_OK;
    });
}

HRESULT CSimApplication::get_MenuGroups(IVectaMenuGroups** groups) noexcept {
    return Call(L"MenuGroups", [&](auto&) -> HRESULT {
        if (!groups) return E_POINTER;
        *groups = MakeSimObject<CSimMenuGroups>(m_host).detach();
        return S_OK;
    });
}

HRESULT CSimApplication::get_MenuBar(IVectaMenuBar** bar) noexcept {
    return Call(L"MenuBar", [&](auto&) -> HRESULT {
        if (!bar) return E_POINTER;
        *bar = MakeSimObject<CSimMenuBar>(m_host).detach();
        return S_OK;
    });
}

HRESULT CSimApplication::get_Documents(IVectaDocuments** documents) noexcept {
    return Call(L"Documents", [&](auto&) -> HRESULT {
        if (!documents) return E_POINTER;
        *documents = MakeSimObject<CSimDocuments>(m_host).detach();
        return S_OK;
    });
}

HRESULT CSimApplication::get_State(IVectaState** state) noexcept {
    return Call(L"State", [&](auto&) -> HRESULT {
        if (!state) return E_POINTER;
        *state = MakeSimObject<CSimState>(m_host).detach();
        return S_OK;
    });
}

HRESULT CSimApplication::get_HWND(long* hwnd) noexcept {
    return Call(L"HWND", [&](auto&) -> HRESULT {
        if (!hwnd) return E_POINTER;
        *hwnd = 0;
        if (m_host.Faults().hwndFails) return E_FAIL;
        *hwnd = static_cast<long>(reinterpret_cast<LONG_PTR>(m_host.Window()));
        return S_OK;
    });
}

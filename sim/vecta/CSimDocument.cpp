#include "CSimDocument.h"
#include "CCommandProcessor.h"
#include "CSimPublisher.h"
#include "support/UniqueBstr.h"

namespace {

constexpr HRESULT kClosed = RPC_E_DISCONNECTED;

}  // namespace

CSimDocument::CSimDocument(CSimHost& host, CDrawing drawing, std::wstring fullName, std::wstring untitledName,
                           bool readOnly)
    : CSimObject(host), m_drawing(std::move(drawing)), m_fullName(std::move(fullName)),
      m_untitledName(std::move(untitledName)), m_readOnly(readOnly) {}

std::wstring CSimDocument::NameText() const {
    if (m_fullName.empty()) return m_untitledName;
    const size_t slash = m_fullName.find_last_of(L"\\/");
    return slash == std::wstring::npos ? m_fullName : m_fullName.substr(slash + 1);
}

std::wstring CSimDocument::Symbol(const std::wstring& name) const {
    const auto it = m_symbols.find(name);
    return it == m_symbols.end() ? std::wstring() : it->second;
}

HRESULT CSimDocument::get_FullName(BSTR* fullName) noexcept {
    return Call(L"FullName", [&](auto&) -> HRESULT {
        if (!fullName) return E_POINTER;
        *fullName = nullptr;
        if (m_closed) return kClosed;
        *fullName = UniqueBstr(m_fullName).release();
        return S_OK;
    });
}

HRESULT CSimDocument::get_Name(BSTR* name) noexcept {
    return Call(L"Name", [&](auto&) -> HRESULT {
        if (!name) return E_POINTER;
        *name = nullptr;
        if (m_closed) return kClosed;
        *name = UniqueBstr(NameText()).release();
        return S_OK;
    });
}

HRESULT CSimDocument::get_Path(BSTR* path) noexcept {
    return Call(L"Path", [&](auto&) -> HRESULT {
        if (!path) return E_POINTER;
        *path = nullptr;
        if (m_closed) return kClosed;
        const size_t slash = m_fullName.find_last_of(L"\\/");
        *path = UniqueBstr(slash == std::wstring::npos ? std::wstring() : m_fullName.substr(0, slash)).release();
        return S_OK;
    });
}

HRESULT CSimDocument::get_ReadOnly(VARIANT_BOOL* readOnly) noexcept {
    return Call(L"ReadOnly", [&](auto&) -> HRESULT {
        if (!readOnly) return E_POINTER;
        *readOnly = VARIANT_FALSE;
        if (m_closed) return kClosed;
        *readOnly = m_readOnly ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CSimDocument::get_Saved(VARIANT_BOOL* saved) noexcept {
    return Call(L"Saved", [&](auto&) -> HRESULT {
        if (!saved) return E_POINTER;
        *saved = VARIANT_FALSE;
        if (m_closed) return kClosed;
        *saved = m_saved ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CSimDocument::WriteTo(const std::wstring& path) {
    if (m_host.Faults().saveFails) return E_FAIL;
    // As the host does with its backup option on; a drawing not yet on disk has none.
    if (m_host.Faults().saveBackup)
        (void)CopyFileW(path.c_str(), (path.substr(0, path.rfind(L'.')) + L".bak").c_str(), FALSE);
    if (!m_drawing.Save(path)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    m_fullName = path;
    m_readOnly = false;
    m_saved = true;
    CSimPublisher(m_host, *this).PublishIfAsked();
    return S_OK;
}

HRESULT CSimDocument::Save() noexcept {
    return Call(L"Save", [&](auto&) -> HRESULT {
        if (m_closed) return kClosed;
        // Like the host, a read-only or never-named drawing is not saved in place.
        if (m_readOnly || m_fullName.empty()) return E_ACCESSDENIED;
        return WriteTo(m_fullName);
    });
}

HRESULT CSimDocument::SaveAs(BSTR fileName, VARIANT fileType, VARIANT security) noexcept {
    return Call(L"SaveAs", [&](auto& args) -> HRESULT {
        args = {CTrace::Text(fileName), CTrace::Arg(fileType), CTrace::Arg(security)};
        if (m_closed) return kClosed;
        const std::wstring path = fileName ? fileName : L"";
        if (path.empty()) return E_INVALIDARG;
        return WriteTo(path);
    });
}

HRESULT CSimDocument::Activate() noexcept {
    return Call(L"Activate", [&](auto&) -> HRESULT {
        if (m_closed) return kClosed;
        m_host.Activate(this);
        return S_OK;
    });
}

HRESULT CSimDocument::Close(VARIANT saveChanges, VARIANT fileName) noexcept {
    return Call(L"Close", [&](auto& args) -> HRESULT {
        args = {CTrace::Arg(saveChanges), CTrace::Arg(fileName)};
        if (m_closed) return kClosed;
        if (m_host.Faults().closeFails) return E_FAIL;
        if (CVariantArg::IsTrue(saveChanges)) {
            const bool named = V_VT(&fileName) == VT_BSTR && SysStringLen(V_BSTR(&fileName)) > 0;
            if (!named && (m_readOnly || m_fullName.empty())) return E_ACCESSDENIED;
            RETURN_IF_FAILED(WriteTo(named ? std::wstring(V_BSTR(&fileName)) : m_fullName));
        } else {
            CSimPublisher(m_host, *this).PublishIfAsked();
        }
        // Keeps this object alive until the call has returned.
        ComPtr<CSimDocument> self(this);
        m_host.Remove(this);
        return S_OK;
    });
}

HRESULT CSimDocument::SendCommand(BSTR command) noexcept {
    return Call(L"SendCommand", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Text(command));
        if (m_closed) return kClosed;
        m_commandLine += command ? command : L"";
        if (m_commandLine.empty()) return S_OK;
        const wchar_t last = m_commandLine.back();
        if (last != L' ' && last != L'\n' && last != L'\r') return S_OK;
        const std::wstring line = std::exchange(m_commandLine, std::wstring());
        return CCommandProcessor(m_host, *this).Run(line);
    });
}

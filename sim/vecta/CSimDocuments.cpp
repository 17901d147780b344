#include "CSimDocuments.h"
#include "CSimDocument.h"

namespace {

HRESULT HandOut(const ComPtr<CSimDocument>& document, IVectaDocument** out) {
    *out = document.get();
    document->AddRef();
    return S_OK;
}

}  // namespace

HRESULT CSimDocuments::get_Count(long* count) noexcept {
    return Call(L"Count", [&](auto&) -> HRESULT {
        if (!count) return E_POINTER;
        *count = static_cast<long>(m_host.Documents().size());
        return S_OK;
    });
}

HRESULT CSimDocuments::Item(VARIANT index, IVectaDocument** document) noexcept {
    return Call(L"Item", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Arg(index));
        if (!document) return E_POINTER;
        *document = nullptr;
        return ItemAt(m_host.Documents(), index, document);
    });
}

HRESULT CSimDocuments::Add(VARIANT templateName, IVectaDocument** document) noexcept {
    return Call(L"Add", [&](auto& args) -> HRESULT {
        args.push_back(CTrace::Arg(templateName));
        if (!document) return E_POINTER;
        *document = nullptr;
        if (m_host.Faults().addReturnsNothing) return S_OK;
        CDrawing drawing;
        if (V_VT(&templateName) == VT_BSTR) {
            if (!drawing.Load(V_BSTR(&templateName) ? V_BSTR(&templateName) : L""))
                return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        } else if (!CVariantArg::IsMissing(templateName)) {
            return E_INVALIDARG;
        }
        if (std::exchange(m_host.partFileNext, false)) drawing.Set(L"PARTFILE", L"1");
        auto created = MakeSimObject<CSimDocument>(m_host, std::move(drawing), std::wstring(),
                                                   m_host.NextUntitledName(), false);
        // A new drawing starts with changes of its own, unlike the empty start-up drawing.
        created->MarkChanged();
        m_host.Add(created);
        return HandOut(created, document);
    });
}

HRESULT CSimDocuments::Open(BSTR fullName, VARIANT readOnly, VARIANT password, IVectaDocument** document) noexcept {
    return Call(L"Open", [&](auto& args) -> HRESULT {
        args = {CTrace::Text(fullName), CTrace::Arg(readOnly), CTrace::Arg(password)};
        if (!document) return E_POINTER;
        *document = nullptr;
        const CFaults& faults = m_host.Faults();
        if (faults.openHangMs) Sleep(faults.openHangMs);
        if (FAILED(faults.openFails)) return faults.openFails;
        const std::wstring path = fullName ? fullName : L"";
        wchar_t full[MAX_PATH];
        if (path.empty() || !GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr)) return E_INVALIDARG;
        const bool wantReadOnly = CVariantArg::IsTrue(readOnly);
        if (auto open = m_host.FindOpen(full)) {
            m_host.Activate(open.get());
            return HandOut(open, document);
        }
        CDrawing drawing;
        if (!drawing.Load(full)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        const DWORD attributes = GetFileAttributesW(full);
        const bool fileReadOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        auto opened = MakeSimObject<CSimDocument>(m_host, std::move(drawing), std::wstring(full), std::wstring(),
                                                  wantReadOnly || fileReadOnly);
        m_host.Add(opened);
        return HandOut(opened, document);
    });
}

#pragma once
#include "CDocumentContext.h"
#include "runtime/CHostCallApartment.h"
#include <cai_dll.h>
#include <string>

// Publishing the PSX file of a drawing: the PDM add-in inside Vecta writes it when the
// drawing is closed, or, as a fallback, when a temporary copy is saved. A failure leaves a
// lock file that keeps the unchanged drawing from being tried again for a while.
class CPublishPSX {
public:
    explicit CPublishPSX(CDocumentContext& context) noexcept : m_context(context) {}

    [[nodiscard]] HRESULT PublishPSX(const std::wstring& path);

private:
    // The host's application and add-in and the client, marshalled for the apartment that
    // publishes; what it never read is released with this.
    class Handover {
    public:
        Handover() noexcept = default;
        Handover(const Handover&) = delete;
        Handover& operator=(const Handover&) = delete;
        ~Handover();
        [[nodiscard]] HRESULT Marshal(IVectaApplication* application, IVntAddIn* addIn, ICAICallback* client);
        // In the apartment: its own references (the client's null when the command had none).
        [[nodiscard]] HRESULT Unmarshal(ComPtr<IVectaApplication>& application, ComPtr<IVntAddIn>& addIn,
                                        ComPtr<ICAICallback>& client);

    private:
        IStream* m_application = nullptr;
        IStream* m_addIn = nullptr;
        IStream* m_client = nullptr;
    };
    // What the apartment takes from the command before its first host call.
    struct Apartment {
        Handover& handover;
        GUID caller;  // the command's caller, whose Runs the client may start from an answer
        bool quiet;   // the command's quiet scope
    };

    // In the apartment, on its own references: the publication and its fallback; back gets
    // the host for the command's session unless the command gave up.
    HRESULT PublishInApartment(CHostCallApartment::Job& job, const Apartment& apartment, const std::wstring& path,
                               IStream*& back);
    // One publication of the drawing at path; onClose 1 publishes on close, 0 on save, and
    // is set to 0 when the add-in asks for the fallback.
    HRESULT PublishPSXAttempt(CHostCallApartment::Job& job, const std::wstring& path, IVntAddIn* addIn, int& onClose);
    // The fallback attempt on a temporary copy in a folder of its own inside the workspace.
    HRESULT PublishPSXOnCopy(CHostCallApartment::Job& job, const std::wstring& path, IVntAddIn* addIn, int& onClose);

    CDocumentContext& m_context;
};

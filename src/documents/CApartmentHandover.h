#pragma once
#include "CDocumentContext.h"
#include "runtime/CHostCallApartment.h"
#include <cai_dll.h>
#include <functional>

// A command's context carried into an apartment of the component's: the host's application
// and add-in and the client, marshalled on the command's thread and taken in the apartment
// before its first host call, and the command's caller and quiet scope. What the apartment
// never read is released with this object, on the command's thread.
class CApartmentHandover {
public:
    // The work in the apartment, on the apartment's own context and add-in.
    using Body = std::function<HRESULT(CDocumentContext& context, IVntAddIn* addIn)>;

    explicit CApartmentHandover(const CDocumentContext& context) noexcept;
    CApartmentHandover(const CApartmentHandover&) = delete;
    CApartmentHandover& operator=(const CApartmentHandover&) = delete;
    ~CApartmentHandover();

    // On the command's thread; addIn may be null.
    [[nodiscard]] HRESULT Marshal(IVntAddIn* addIn);
    // In the apartment: runs body with the client asked as on the command's thread, in the
    // command's quiet scope, and a Run the client starts from an answer counted as the
    // command's own. Unless the command gave up, the host goes back to the command.
    HRESULT Run(CHostCallApartment::Job& job, const Body& body);
    // On the command's thread once the apartment has ended: the host for the command's
    // session; null when none came back.
    ComPtr<IVectaApplication> TakeBack();

private:
    const CDocumentContext& m_context;
    IStream* m_application = nullptr;
    IStream* m_addIn = nullptr;
    IStream* m_client = nullptr;
    IStream* m_back = nullptr;
    GUID m_caller{};
    bool m_quiet = false;
};

#include "CApartmentHandover.h"
#include "client/CAICallbackHandler.h"
#include "client/CVantorApplication.h"
#include "runtime/CRunLock.h"
#include "support/CRunContext.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UnreadMarshalData.h"
#include <utility>

namespace {

// Unmarshals stream (taken) into out; nothing to do for a stream that was never written.
template <class T>
HRESULT Take(IStream*& stream, REFIID iid, ComPtr<T>& out) {
    if (!stream) return S_OK;
    return CoGetInterfaceAndReleaseStream(std::exchange(stream, nullptr), iid, out.put_void());
}

}  // namespace

CApartmentHandover::CApartmentHandover(const CDocumentContext& context) noexcept : m_context(context) {}

CApartmentHandover::~CApartmentHandover() {
    for (IStream* stream : {m_application, m_addIn, m_client, m_back}) ReleaseUnreadMarshalData(stream);
}

HRESULT CApartmentHandover::Marshal(IVntAddIn* addIn) {
    if (!m_context.application) return E_POINTER;
    RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(IID_IVectaApplication, m_context.application.get(), &m_application));
    if (addIn) RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(IID_IVntAddIn, addIn, &m_addIn));
    if (ICAICallback* client = m_context.session.GetCallback())
        RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(IID_ICAICallback, client, &m_client));
    m_caller = CRunLock::CurrentCaller();
    m_quiet = CRunContext::CurrentQuiet();
    return S_OK;
}

HRESULT CApartmentHandover::Run(CHostCallApartment::Job& job, const Body& body) {
    ComPtr<IVectaApplication> application;
    ComPtr<IVntAddIn> addIn;
    ComPtr<ICAICallback> client;
    HRESULT hr = Take(m_application, IID_IVectaApplication, application);
    if (SUCCEEDED(hr)) hr = Take(m_addIn, IID_IVntAddIn, addIn);
    if (SUCCEEDED(hr)) hr = Take(m_client, IID_ICAICallback, client);
    if (FAILED(hr)) {
        CUtils::Instance().WriteLog(CUtils::LevelError, L"ThreadOpenDoc: Failed to get interface from IStream object (hr = %X)",
                                    hr);
        return hr;
    }
    const CAICallbackHandler::ThreadCallbackScope clientScope(client.get());
    const CRunContext run(m_quiet);
    const CRunLock::Delegate delegate(CRunLock::Process(), m_caller);
    CDocumentContext context{m_context.host,     application,           m_context.session,
                             m_context.document, m_context.sendCommand, m_context.openTimeLimit};
    hr = body(context, addIn.get());
    // Given up, the command is gone: nothing of it is touched.
    if (!job.GivenUp()) (void)CoMarshalInterThreadInterfaceInStream(IID_IVectaApplication, application.get(), &m_back);
    return hr;
}

ComPtr<IVectaApplication> CApartmentHandover::TakeBack() {
    ComPtr<IVectaApplication> application;
    (void)Take(m_back, IID_IVectaApplication, application);
    return application;
}

#include "CTimedOpen.h"
#include "CDocumentSetup.h"
#include "support/ApartmentWait.h"
#include "runtime/CComponentThreads.h"
#include "host/CVectaArgument.h"
#include "runtime/CHostCallWorkers.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include "support/UnreadMarshalData.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include <memory>
#include <utility>

namespace {

// Everything a worker owns. It gets its own copy of the path: an abandoned worker may
// outlive the call that started it, and the next call must not change what it reads.
struct WorkerStart : CHostCallWorkers::Record {
    IStream* stream = nullptr;  // the marshalled application; the worker releases it
    std::wstring path;

    ~WorkerStart() { ReleaseUnreadMarshalData(stream); }
};

HRESULT OpenOnWorker(WorkerStart& start) noexcept {
    try {
        ComPtr<IVectaApplication> application;
        const HRESULT unmarshalled = CoGetInterfaceAndReleaseStream(std::exchange(start.stream, nullptr),
                                                                   IID_IVectaApplication, application.put_void());
        if (FAILED(unmarshalled)) {
            CUtils::Instance().WriteLog(CUtils::LevelError,
                                        L"ThreadOpenDoc: Failed to get interface from IStream object (hr = %X)", unmarshalled);
            return unmarshalled;
        }
        ComPtr<IVectaDocuments> documents;
        RETURN_IF_FAILED(application->get_Documents(documents.put()));
        if (!documents) return E_POINTER;
        // The caller finds the drawing again as the host's active document.
        UniqueBstr name(start.path);
        ComPtr<IVectaDocument> opened;
        HRESULT hr = documents->Open(name.get(), CVectaArgument::Index(0), CVectaArgument::Index(0), opened.put());
        // A host that answers success without a document has opened nothing: its active
        // drawing is some other one, which publishing would close unsaved.
        if (SUCCEEDED(hr) && !opened) {
            hr = E_FAIL;
            CUtils::Instance().WriteLog(CUtils::LevelError, L"ThreadOpenDoc: IVectaDocuments->Open() returned no document (hr = %X)",
                                        hr);
        }
        return hr;
    } catch (...) {
        return HResultFromCaught();
    }
}

}  // namespace

DWORD WINAPI CTimedOpen::ThreadOpenDoc(void* parameter) noexcept {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = SUCCEEDED(entered) ? OpenOnWorker(*start) : entered;
    // The host has answered: what the Run parked is released by its own apartment.
    CHostCallWorkers::End(start.get());
    start.reset();
    if (SUCCEEDED(entered)) CoUninitialize();
    return static_cast<DWORD>(hr);
}

HRESULT CTimedOpen::Open(const std::wstring& path, IVectaDocument** document) const {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (!m_context.application) return E_POINTER;
    CUtils& utils = CUtils::Instance();

    auto start = std::make_unique<WorkerStart>();
    start->path = path;
    HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_IVectaApplication, m_context.application.get(), &start->stream);
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Failed to create IStream object (hr = %X)", hr);
        return hr;
    }
    CHostCallWorkers::Add(start.get());
    UniqueHandle worker(CComponentThreads::Start(&ThreadOpenDoc, start.get()));
    if (!worker.valid()) {
        hr = HResultFromLastError();
        CHostCallWorkers::End(start.get());
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Failed to open document (hr = %X)", hr);
        return E_FAIL;
    }
    WorkerStart* const started = start.release();  // the worker owns it now

    // An add-in of the host may call the client during the open: its apartment keeps serving.
    if (!WaitServingCalls(worker.get(), m_timeLimit)) {
        CHostCallWorkers::MarkAbandoned(started);
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Time-out interval elapsed -> terminate thread");
        return HR_TIMEOUT;
    }
    DWORD exitCode = static_cast<DWORD>(E_FAIL);
    hr = GetExitCodeThread(worker.get(), &exitCode) ? static_cast<HRESULT>(exitCode) : HResultFromLastError();

    ComPtr<IVectaDocument> active;
    if (SUCCEEDED(hr)) hr = m_context.application->get_ActiveDocument(active.put());
    if (SUCCEEDED(hr) && !active) hr = E_POINTER;
    UniqueBstr fullName;
    if (SUCCEEDED(hr)) hr = active->get_FullName(fullName.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Failed to open document (hr = %X)", hr);
        return E_FAIL;
    }

    hr = CDocumentSetup::InitDocument(m_context, active.get());
    utils.WriteLog(CUtils::LevelInfo, L"OpenDocumentWithTimeout: Successfully opened document");
    *document = active.detach();
    return hr;
}

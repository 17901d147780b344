#include "CStubKeeper.h"
#include "support/ResultMacros.h"

CStubKeeper::~CStubKeeper() {
    for (const auto& stream : m_marshalled) {
        const LARGE_INTEGER start{};
        if (SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) (void)CoReleaseMarshalData(stream.get());
    }
}

HRESULT CStubKeeper::Keep(IUnknown* object, REFIID iid) {
    ComPtr<IStream> stream;
    RETURN_IF_FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
    RETURN_IF_FAILED(CoMarshalInterface(stream.get(), iid, object, MSHCTX_LOCAL, nullptr, MSHLFLAGS_TABLESTRONG));
    m_marshalled.push_back(std::move(stream));
    return S_OK;
}

#pragma once
#include <objbase.h>

// A stream of marshal data that was never unmarshalled still holds a reference on the
// marshalled object: the data is released from its start, then the stream itself.
inline void ReleaseUnreadMarshalData(IStream* stream) noexcept {
    if (!stream) return;
    const LARGE_INTEGER start{};
    if (SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) (void)CoReleaseMarshalData(stream);
    stream->Release();
}

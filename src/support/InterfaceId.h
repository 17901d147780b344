#pragma once
#include <objbase.h>
#include <cstring>

// An interface id as a COM entry point receives it, read as bytes: Wine's marshaller hands
// ids from inside its buffers at any address, and a GUID reference may only be used aligned.
inline IID InterfaceId(const IID* received) noexcept {
    IID id;
    std::memcpy(&id, received, sizeof id);
    return id;
}

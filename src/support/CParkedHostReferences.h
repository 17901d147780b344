#pragma once
#include "support/ComPtr.h"
#include <objbase.h>
#include <initializer_list>
#include <vector>

// Host references that the Run thread must not release while the host is stuck in an
// abandoned open: a proxy's last release calls the host and would wait for it. They are
// parked in an object of the Run thread's apartment, and the abandoned open's worker releases
// that object once its open has returned, through a marshalled reference: the references go
// in their own apartment, at once in a multithreaded one, in a single-threaded one when its
// thread next lets COM calls in (or leaves COM). Parked after the open has returned already,
// they go at once.
class CParkedHostReferences final : public IUnknown {
public:
    // Takes over references owned by the calling thread (null ones are skipped).
    static void Park(std::initializer_list<IUnknown*> references) noexcept;
    // True while parked references wait; the module stays loaded meanwhile.
    static bool Any() noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    CParkedHostReferences() noexcept;
    ~CParkedHostReferences();

    std::vector<ComPtr<IUnknown>> m_references;
    volatile LONG m_refs = 1;
};

#pragma once
#include <objidl.h>

// Tells a callback when the calling thread leaves COM for good (its last CoUninitialize),
// before its apartment goes: what belongs to that apartment can still be let go of there.
// Registered once per thread, for the thread's lifetime.
class CApartmentEndSpy final : public IInitializeSpy {
public:
    using Callback = void (*)() noexcept;
    // Watches the calling thread; false when the spy cannot be registered.
    static bool Watch(Callback onEnd) noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override { return result; }
    HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD apartmentReferences) override;
    HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }

private:
    explicit CApartmentEndSpy(Callback onEnd) noexcept : m_onEnd(onEnd) {}

    Callback m_onEnd;
    volatile LONG m_refs = 1;
};

#pragma once
#include "support/ComPtr.h"
#include <cai_dll.h>
#include <optional>
#include <string>

// Holds the PDM client's callback object for the length of one Run and wraps its three
// operations with the component's logging.
class CAICallbackHandler {
public:
    CAICallbackHandler() = default;
    CAICallbackHandler(const CAICallbackHandler&) = delete;
    CAICallbackHandler& operator=(const CAICallbackHandler&) = delete;
    virtual ~CAICallbackHandler() = default;

    [[nodiscard]] HRESULT SetCallback(IUnknown* object);
    // Borrowed: no reference is added.
    ICAICallback* GetCallback() const noexcept { return m_callback.get(); }
    void ReleaseCallback() noexcept { m_callback.reset(); }

    // 0 on success or without a callback (the key is the text then), -1 null buffer,
    // -2 null key, -3 the client failed.
    int GetMessageText(const wchar_t* key, wchar_t* buffer, size_t capacity) const;
    // The client's answer (empty for a null one), or nothing on failure.
    std::optional<std::wstring> Prepare(const wchar_t* expression) const;
    // The client's result, -1 without a command or callback, -2 when the client failed.
    long Call(const wchar_t* command, const wchar_t* arguments, const wchar_t* extra) const;

    // A worker thread may not call the client's object directly (it belongs to the Run
    // thread's apartment). For the scope's lifetime every handler calls the client on this
    // thread through the given copy, marshalled into the thread's own apartment, or answers
    // as without a callback when the copy is null.
    class ThreadCallbackScope {
    public:
        explicit ThreadCallbackScope(ICAICallback* callback) noexcept;
        ThreadCallbackScope(const ThreadCallbackScope&) = delete;
        ThreadCallbackScope& operator=(const ThreadCallbackScope&) = delete;
        ~ThreadCallbackScope();
    };

private:
    ICAICallback* Current() const noexcept;

    ComPtr<ICAICallback> m_callback;
};

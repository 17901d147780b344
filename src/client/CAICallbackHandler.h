#pragma once
#include "support/ComPtr.h"
#include "support/UniqueBstr.h"
#include <cai_dll.h>
#include <optional>
#include <string>

// Wraps the three operations of the PDM client's callback object with the component's
// logging. The object is lent to the handler for the length of one Run, on the Run's own
// thread (RunScope); SetCallback holds one for callers outside a Run.
class CAICallbackHandler {
public:
    CAICallbackHandler() = default;
    CAICallbackHandler(const CAICallbackHandler&) = delete;
    CAICallbackHandler& operator=(const CAICallbackHandler&) = delete;
    virtual ~CAICallbackHandler() = default;

    [[nodiscard]] HRESULT SetCallback(IUnknown* object);
    // The callback lent to this thread (a worker's copy, else the innermost RunScope), else
    // the one set above. Borrowed: no reference is added.
    ICAICallback* GetCallback() const noexcept;
    void ReleaseCallback() noexcept { m_callback.reset(); }

    // 0 on success or without a callback (the key is the text then), -1 null buffer,
    // -2 null key, -3 the client failed.
    int GetMessageText(const wchar_t* key, wchar_t* buffer, size_t capacity) const;
    // The client's answer (empty for a null one), or nothing on failure.
    std::optional<std::wstring> Prepare(const wchar_t* expression) const;
    std::optional<std::wstring> Prepare(const UniqueBstr& expression) const;
    // As Prepare, with the client's own string as the answer (null for a null answer).
    [[nodiscard]] HRESULT PrepareAnswer(const UniqueBstr& expression, UniqueBstr& answer) const;
    // The client's result, -1 without a command or callback, -2 when the client failed.
    long Call(const wchar_t* command, const wchar_t* arguments, const wchar_t* extra) const;
    long Call(const wchar_t* command, const UniqueBstr& arguments, const wchar_t* extra) const;

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

    private:
        friend class CAICallbackHandler;
        ICAICallback* m_callback;
        ThreadCallbackScope* m_outer;
    };

    // Lends a Run's callback to a handler on the calling thread for the scope's lifetime.
    // The session's handler is shared by every thread, and a client may re-enter Run from
    // inside one of its own answers: each thread sees its own innermost scope, and when an
    // inner scope ends the outer one is in force again. Scopes end in reverse order of
    // their start, as stack objects do.
    class RunScope {
    public:
        explicit RunScope(const CAICallbackHandler& handler) noexcept;
        RunScope(const RunScope&) = delete;
        RunScope& operator=(const RunScope&) = delete;
        ~RunScope();
        // As SetCallback: E_POINTER for null, E_NOINTERFACE without ICAICallback, and
        // E_OUTOFMEMORY when the process has no thread slot left for the scopes.
        [[nodiscard]] HRESULT Set(IUnknown* object) noexcept;

    private:
        friend class CAICallbackHandler;
        const CAICallbackHandler& m_handler;
        ComPtr<ICAICallback> m_callback;
        RunScope* m_outer;
    };

private:
    ComPtr<ICAICallback> m_callback;
};

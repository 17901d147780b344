#include "CAICallbackHandler.h"
#include "support/CProductIdentity.h"
#include "support/CUtils.h"
#include "support/ThreadPointer.h"
#include "support/UniqueBstr.h"
#include <algorithm>

namespace {

void CopyTruncated(const wchar_t* text, size_t length, wchar_t* buffer, size_t capacity) {
    const size_t n = std::min(length, capacity - 1);
    std::copy_n(text, n, buffer);
    buffer[n] = L'\0';
}

const wchar_t* Product() { return CProductIdentity::Instance().DisplayName().c_str(); }

// What a thread has been lent: the innermost Run scope, and a worker's own copy of the client.
ThreadPointer<CAICallbackHandler::RunScope> g_innermostRun;
ThreadPointer<CAICallbackHandler::ThreadCallbackScope> g_workerCallback;

HRESULT QueryCallback(IUnknown* object, ComPtr<ICAICallback>& callback) noexcept {
    if (!object) return E_POINTER;
    if (static_cast<IUnknown*>(callback.get()) != object) {
        ComPtr<ICAICallback> queried;
        object->QueryInterface(IID_ICAICallback, queried.put_void());
        callback = std::move(queried);
    }
    return callback ? S_OK : E_NOINTERFACE;
}

}  // namespace

CAICallbackHandler::ThreadCallbackScope::ThreadCallbackScope(ICAICallback* callback) noexcept
    : m_callback(callback), m_outer(g_workerCallback.get()) {
    g_workerCallback.set(this);
}

CAICallbackHandler::ThreadCallbackScope::~ThreadCallbackScope() { g_workerCallback.set(m_outer); }

CAICallbackHandler::RunScope::RunScope(const CAICallbackHandler& handler) noexcept
    : m_handler(handler), m_outer(g_innermostRun.get()) {
    g_innermostRun.set(this);
}

CAICallbackHandler::RunScope::~RunScope() { g_innermostRun.set(m_outer); }

HRESULT CAICallbackHandler::RunScope::Set(IUnknown* object) noexcept {
    if (!g_innermostRun.valid()) return E_OUTOFMEMORY;
    return QueryCallback(object, m_callback);
}

ICAICallback* CAICallbackHandler::GetCallback() const noexcept {
    if (const ThreadCallbackScope* worker = g_workerCallback.get()) return worker->m_callback;
    for (const RunScope* scope = g_innermostRun.get(); scope; scope = scope->m_outer)
        if (&scope->m_handler == this) return scope->m_callback.get();
    return m_callback.get();
}

HRESULT CAICallbackHandler::SetCallback(IUnknown* object) { return QueryCallback(object, m_callback); }

int CAICallbackHandler::GetMessageText(const wchar_t* key, wchar_t* buffer, size_t capacity) const {
    if (!buffer) return -1;
    if (!key) return -2;
    if (capacity == 0) return -1;
    CopyTruncated(key, wcslen(key), buffer, capacity);
    ICAICallback* callback = GetCallback();
    if (!callback) return 0;

    UniqueBstr keyText{key};
    UniqueBstr text;
    if (FAILED(callback->GetMessageText(keyText.get(), text.put()))) return -3;
    CopyTruncated(text.get() ? text.get() : L"", text.length(), buffer, capacity);
    return 0;
}

std::optional<std::wstring> CAICallbackHandler::Prepare(const wchar_t* expression) const {
    if (!expression) return std::nullopt;
    return Prepare(UniqueBstr(expression));
}

std::optional<std::wstring> CAICallbackHandler::Prepare(const UniqueBstr& expression) const {
    UniqueBstr answer;
    if (FAILED(PrepareAnswer(expression, answer))) return std::nullopt;
    return std::optional<std::wstring>(std::in_place, answer.view());
}

// The product name goes in as the first %s: no text is built for an entry below the threshold.
HRESULT CAICallbackHandler::PrepareAnswer(const UniqueBstr& in, UniqueBstr& answer) const {
    const wchar_t* expression = in.get();
    CUtils& utils = CUtils::Instance();
    ICAICallback* callback = GetCallback();
    if (!callback) {
        utils.WriteLog(CUtils::LevelError, L"%s Prepare(%s) failed. No callback object.", Product(), expression);
        return E_POINTER;
    }
    const HRESULT hr = callback->Prepare(in.get(), answer.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"%s Prepare(%s) failed (hr = %X)", Product(), expression, hr);
        return hr;
    }
    // By its length, NULs and all; no copy is made for an entry below the threshold.
    utils.WriteLog(CUtils::LevelInfo, L"%s Prepare(%s) = %s", Product(), expression, answer.view());
    return S_OK;
}

long CAICallbackHandler::Call(const wchar_t* command, const wchar_t* arguments, const wchar_t* extra) const {
    if (!command) return -1;
    return Call(command, UniqueBstr(arguments), extra);
}

long CAICallbackHandler::Call(const wchar_t* command, const UniqueBstr& argumentText, const wchar_t* extra) const {
    if (!command) return -1;
    CUtils& utils = CUtils::Instance();
    const wchar_t* args = argumentText.get();
    utils.WriteLog(CUtils::LevelInfo, L"%s Call(%s, %s)", Product(), command, args);
    ICAICallback* callback = GetCallback();
    if (!callback) {
        utils.WriteLog(CUtils::LevelError, L"%s Call(%s, %s) failed. No callback object.", Product(), command, args);
        return -1;
    }
    UniqueBstr commandText{command};
    UniqueBstr extraText;
    if (extra) extraText = UniqueBstr(extra);
    long result = 0;
    const HRESULT hr = callback->Call(commandText.get(), argumentText.get(), extraText.get(), &result);
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"%s Call(%s, %s) failed (hr = %X)", Product(), command, args, hr);
        return -2;
    }
    return result;
}

#include "CAICallbackHandler.h"
#include "support/CProductIdentity.h"
#include "support/CUtils.h"
#include "support/UniqueBstr.h"
#include <algorithm>

namespace {

void CopyTruncated(const wchar_t* text, size_t length, wchar_t* buffer, size_t capacity) {
    const size_t n = std::min(length, capacity - 1);
    std::copy_n(text, n, buffer);
    buffer[n] = L'\0';
}

const wchar_t* Product() { return CProductIdentity::Instance().DisplayName().c_str(); }

// What a thread has been lent: a worker's own copy of the client (ThreadCallbackScope), and
// the innermost Run scope. One record, so that each client call looks up one thread slot.
struct ThreadCallbacks {
    bool installed = false;
    ICAICallback* workerCallback = nullptr;
    CAICallbackHandler::RunScope* innermost = nullptr;
};
thread_local ThreadCallbacks t_callbacks;

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

CAICallbackHandler::ThreadCallbackScope::ThreadCallbackScope(ICAICallback* callback) noexcept {
    t_callbacks.installed = true;
    t_callbacks.workerCallback = callback;
}

CAICallbackHandler::ThreadCallbackScope::~ThreadCallbackScope() {
    t_callbacks.installed = false;
    t_callbacks.workerCallback = nullptr;
}

CAICallbackHandler::RunScope::RunScope(const CAICallbackHandler& handler) noexcept
    : m_handler(handler), m_outer(t_callbacks.innermost) {
    t_callbacks.innermost = this;
}

CAICallbackHandler::RunScope::~RunScope() { t_callbacks.innermost = m_outer; }

HRESULT CAICallbackHandler::RunScope::Set(IUnknown* object) noexcept { return QueryCallback(object, m_callback); }

ICAICallback* CAICallbackHandler::Lent() const noexcept {
    for (const RunScope* scope = t_callbacks.innermost; scope; scope = scope->m_outer)
        if (&scope->m_handler == this) return scope->m_callback.get();
    return m_callback.get();
}

ICAICallback* CAICallbackHandler::GetCallback() const noexcept { return Lent(); }

ICAICallback* CAICallbackHandler::Current() const noexcept {
    return t_callbacks.installed ? t_callbacks.workerCallback : Lent();
}

HRESULT CAICallbackHandler::SetCallback(IUnknown* object) { return QueryCallback(object, m_callback); }

int CAICallbackHandler::GetMessageText(const wchar_t* key, wchar_t* buffer, size_t capacity) const {
    if (!buffer) return -1;
    if (!key) return -2;
    if (capacity == 0) return -1;
    CopyTruncated(key, wcslen(key), buffer, capacity);
    ICAICallback* callback = Current();
    if (!callback) return 0;

    UniqueBstr keyText{key};
    UniqueBstr text;
    if (FAILED(callback->GetMessageText(keyText.get(), text.put()))) return -3;
    CopyTruncated(text.get() ? text.get() : L"", text.length(), buffer, capacity);
    return 0;
}

// The product name goes in as the first %s: no text is built for an entry below the threshold.
std::optional<std::wstring> CAICallbackHandler::Prepare(const wchar_t* expression) const {
    if (!expression) return std::nullopt;
    CUtils& utils = CUtils::Instance();
    ICAICallback* callback = Current();
    if (!callback) {
        utils.WriteLog(CUtils::LevelError, L"%s Prepare(%s) failed. No callback object.", Product(), expression);
        return std::nullopt;
    }
    UniqueBstr in{expression};
    UniqueBstr answer;
    const HRESULT hr = callback->Prepare(in.get(), answer.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"%s Prepare(%s) failed (hr = %X)", Product(), expression, hr);
        return std::nullopt;
    }
    std::optional<std::wstring> value(std::in_place, answer.get() ? answer.get() : L"", answer.length());
    utils.WriteLog(CUtils::LevelInfo, L"%s Prepare(%s) = %s", Product(), expression, *value);
    return value;
}

long CAICallbackHandler::Call(const wchar_t* command, const wchar_t* arguments, const wchar_t* extra) const {
    if (!command) return -1;
    CUtils& utils = CUtils::Instance();
    const wchar_t* args = arguments ? arguments : L"";
    utils.WriteLog(CUtils::LevelInfo, L"%s Call(%s, %s)", Product(), command, args);
    ICAICallback* callback = Current();
    if (!callback) {
        utils.WriteLog(CUtils::LevelError, L"%s Call(%s, %s) failed. No callback object.", Product(), command, args);
        return -1;
    }
    UniqueBstr commandText{command};
    UniqueBstr argumentText{args};
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

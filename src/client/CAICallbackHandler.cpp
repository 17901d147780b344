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

const std::wstring& Product() { return CProductIdentity::Instance().DisplayName(); }

std::wstring OrEmpty(const wchar_t* text) { return text ? text : L""; }

// The callback a worker thread installed for itself; the Run thread installs none.
struct ThreadCallback {
    bool installed = false;
    ICAICallback* callback = nullptr;
};
thread_local ThreadCallback t_threadCallback;

}  // namespace

CAICallbackHandler::ThreadCallbackScope::ThreadCallbackScope(ICAICallback* callback) noexcept {
    t_threadCallback = {true, callback};
}

CAICallbackHandler::ThreadCallbackScope::~ThreadCallbackScope() { t_threadCallback = {}; }

ICAICallback* CAICallbackHandler::Current() const noexcept {
    return t_threadCallback.installed ? t_threadCallback.callback : m_callback.get();
}

HRESULT CAICallbackHandler::SetCallback(IUnknown* object) {
    if (!object) return E_POINTER;
    if (static_cast<IUnknown*>(m_callback.get()) != object) {
        ComPtr<ICAICallback> queried;
        object->QueryInterface(IID_ICAICallback, queried.put_void());
        m_callback = std::move(queried);
    }
    return m_callback ? S_OK : E_NOINTERFACE;
}

int CAICallbackHandler::GetMessageText(const wchar_t* key, wchar_t* buffer, size_t capacity) const {
    if (!buffer) return -1;
    if (!key) return -2;
    if (capacity == 0) return -1;
    CopyTruncated(key, wcslen(key), buffer, capacity);
    ICAICallback* callback = Current();
    if (!callback) return 0;

    UniqueBstr keyText{std::wstring(key)};
    UniqueBstr text;
    if (FAILED(callback->GetMessageText(keyText.get(), text.put()))) return -3;
    CopyTruncated(text.get() ? text.get() : L"", text.length(), buffer, capacity);
    return 0;
}

std::optional<std::wstring> CAICallbackHandler::Prepare(const wchar_t* expression) const {
    if (!expression) return std::nullopt;
    CUtils& utils = CUtils::Instance();
    ICAICallback* callback = Current();
    if (!callback) {
        utils.WriteLog(CUtils::LevelError, (Product() + L" Prepare(%s) failed. No callback object.").c_str(), expression);
        return std::nullopt;
    }
    UniqueBstr in{std::wstring(expression)};
    UniqueBstr answer;
    const HRESULT hr = callback->Prepare(in.get(), answer.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, (Product() + L" Prepare(%s) failed (hr = %X)").c_str(), expression, hr);
        return std::nullopt;
    }
    std::wstring value = answer.str();
    utils.WriteLog(CUtils::LevelInfo, (Product() + L" Prepare(%s) = %s").c_str(), expression, value);
    return value;
}

long CAICallbackHandler::Call(const wchar_t* command, const wchar_t* arguments, const wchar_t* extra) const {
    if (!command) return -1;
    CUtils& utils = CUtils::Instance();
    const std::wstring args = OrEmpty(arguments);
    utils.WriteLog(CUtils::LevelInfo, (Product() + L" Call(%s, %s)").c_str(), command, args);
    ICAICallback* callback = Current();
    if (!callback) {
        utils.WriteLog(CUtils::LevelError, (Product() + L" Call(%s, %s) failed. No callback object.").c_str(), command,
                       args);
        return -1;
    }
    UniqueBstr commandText{std::wstring(command)};
    UniqueBstr argumentText{args};
    UniqueBstr extraText;
    if (extra) extraText = UniqueBstr(std::wstring(extra));
    long result = 0;
    const HRESULT hr = callback->Call(commandText.get(), argumentText.get(), extraText.get(), &result);
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, (Product() + L" Call(%s, %s) failed (hr = %X)").c_str(), command, args, hr);
        return -2;
    }
    return result;
}

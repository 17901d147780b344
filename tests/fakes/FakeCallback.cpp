#include "FakeCallback.h"
#include "support/InterfaceId.h"
#include <oleauto.h>
#include <new>

namespace {

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

BSTR Alloc(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

}  // namespace

void FakeCallback::AnswerForHostSession(const std::wstring& profile, const std::wstring& logLevel) {
    environment[L"_VNTXVER"] = L"530";
    answers[L"#(Appl:LogLevel)"] = logLevel;
    answers[L"#(Appl:Profile)"] = profile;
    answers[L"#(Appl:VectaVersion)"] = L"R17.1";
    answers[L"#(Appl:WaitForStartup)"] = L"20000";
    answers[L"#(Appl:WaitForActiveCommand)"] = L"100";
}

std::vector<std::wstring> FakeCallback::Prepared() const {
    std::vector<std::wstring> out;
    for (const Record& r : records)
        if (r.operation == L"Prepare") out.push_back(r.text);
    return out;
}

std::vector<FakeCallback::Record> FakeCallback::Calls() const {
    std::vector<Record> out;
    for (const Record& r : records)
        if (r.operation == L"Call") out.push_back(r);
    return out;
}

HRESULT FakeCallback::QueryInterface(REFIID received, void** out) {
    if (!out) return E_POINTER;
    const IID iid = InterfaceId(&received);
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_ICAICallback)) {
        *out = static_cast<ICAICallback*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG FakeCallback::AddRef() { return InterlockedIncrement(&m_refs); }

ULONG FakeCallback::Release() {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
}

HRESULT FakeCallback::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
HRESULT FakeCallback::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT FakeCallback::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT FakeCallback::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}
HRESULT FakeCallback::GetClientInfo(LONG, BSTR*) { return E_NOTIMPL; }
HRESULT FakeCallback::SetStatusText(BSTR) { return E_NOTIMPL; }
HRESULT FakeCallback::ShowProgress(LONG) { return E_NOTIMPL; }

HRESULT FakeCallback::Call(BSTR command, BSTR arguments, BSTR, LONG* result) {
    const std::wstring name = Text(command), args = Text(arguments);
    records.push_back({L"Call", name, args});
    if (failing.count(name)) return failure;
    if (name == L"___Environment") {
        const size_t eq = args.find(L'=');
        const std::wstring variable = args.substr(0, eq);
        const std::wstring value = eq == std::wstring::npos ? std::wstring() : args.substr(eq + 1);
        if (value.empty())
            environment.erase(variable);
        else
            environment[variable] = value;
    }
    if (const auto hook = commands.find(name); hook != commands.end()) {
        *result = hook->second(*this, args);
        return S_OK;
    }
    const auto found = callResults.find(name);
    *result = found == callResults.end() ? 0 : found->second;
    return S_OK;
}

HRESULT FakeCallback::GetMessageText(BSTR key, BSTR* text) {
    const std::wstring name = Text(key);
    records.push_back({L"GetMessageText", name, {}});
    *text = nullptr;
    if (failing.count(name)) return failure;
    const auto found = messages.find(name);
    *text = Alloc(found == messages.end() ? name : found->second);
    return S_OK;
}

HRESULT FakeCallback::Prepare(BSTR expression, BSTR* value) {
    const std::wstring text = Text(expression);
    records.push_back({L"Prepare", text, {}});
    *value = nullptr;
    if (const auto hook = beforeAnswer.find(text); hook != beforeAnswer.end()) hook->second();
    if (failing.count(text)) return failure;
    if (throwing.count(text)) throw std::bad_alloc();
    if (const auto found = answers.find(text); found != answers.end()) {
        if (found->second) *value = Alloc(*found->second);
        return S_OK;
    }
    if (text.size() > 3 && text.rfind(L"$(", 0) == 0 && text.back() == L')') {
        const auto variable = environment.find(text.substr(2, text.size() - 3));
        if (variable != environment.end()) {
            *value = Alloc(variable->second);
            return S_OK;
        }
    }
    *value = Alloc(L"!cannot evaluate " + text);
    return S_OK;
}

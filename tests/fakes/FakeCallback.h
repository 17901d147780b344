#pragma once
#include <cai_dll.h>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A PDM client double: answers Prepare and GetMessageText from tables, keeps environment
// variables set through "___Environment", records every call in order and fails on request.
class FakeCallback final : public ICAICallback {
public:
    struct Record {
        std::wstring operation;  // "Prepare", "Call" or "GetMessageText"
        std::wstring text;       // expression, command or key
        std::wstring arguments;  // Call's arguments
        bool operator==(const Record&) const = default;
    };

    // Created with one reference, owned by the caller.
    static FakeCallback* Create() { return new FakeCallback(); }

    // nullopt answers with a null BSTR.
    std::map<std::wstring, std::optional<std::wstring>> answers;
    std::map<std::wstring, std::wstring> messages;
    std::map<std::wstring, std::wstring> environment;
    std::map<std::wstring, long> callResults;
    // Client commands that act on the fake, such as a "___ForAllRela" over a few records;
    // the hook's answer is the command's result.
    std::map<std::wstring, std::function<long(FakeCallback& self, const std::wstring& arguments)>> commands;
    // Expressions whose Prepare first runs the hook, as a client re-entering the component does.
    std::map<std::wstring, std::function<void()>> beforeAnswer;
    std::set<std::wstring> failing;  // expressions, commands or keys whose call fails
    HRESULT failure = E_FAIL;
    std::set<std::wstring> throwing;  // expressions whose Prepare raises std::bad_alloc
    std::vector<Record> records;

    // The answers of a client that drives a Vecta R17.1 session under this profile: client
    // version, log level, and quick start-up and busy waits.
    void AnswerForHostSession(const std::wstring& profile, const std::wstring& logLevel);

    std::vector<std::wstring> Prepared() const;
    std::vector<Record> Calls() const;
    LONG RefCount() const { return m_refs; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    HRESULT STDMETHODCALLTYPE Call(BSTR command, BSTR arguments, BSTR extra, LONG* result) override;
    HRESULT STDMETHODCALLTYPE GetClientInfo(LONG, BSTR*) override;
    HRESULT STDMETHODCALLTYPE SetStatusText(BSTR) override;
    HRESULT STDMETHODCALLTYPE ShowProgress(LONG) override;
    HRESULT STDMETHODCALLTYPE GetMessageText(BSTR key, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE Prepare(BSTR expression, BSTR* value) override;

private:
    FakeCallback() = default;
    volatile LONG m_refs = 1;  // the component may copy and drop it on its own threads
};

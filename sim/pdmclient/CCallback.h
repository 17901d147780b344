#pragma once
#include "CClientCommands.h"
#include "CConsoleUser.h"
#include "CExpressionEvaluator.h"
#include "CWorkspace.h"
#include "support/ComPtr.h"
#include <cai_dll.h>
#include <atomic>

// The client's callback object handed to the CAD integration with every Run: answers
// expressions, runs client commands and gives message texts from the workspace. Dual, so that
// a host process that received it from the integration can call it through the type library.
// The workspace, evaluator, commands and user belong to the caller and must outlive every call;
// call Disconnect before they go.
class CCallback final : public ICAICallback {
public:
    static HRESULT Create(CWorkspace& workspace, const CExpressionEvaluator& evaluator, CClientCommands& commands,
                          CConsoleUser& user, bool trace, ComPtr<ICAICallback>& callback) noexcept;

    // Ends every remote connection to the object, so that no late call reaches the workspace.
    static void Disconnect(ICAICallback* callback) noexcept;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // IDispatch, from the ICAICallback type information of cai_dll.tlb
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) noexcept override;

    // ICAICallback
    HRESULT STDMETHODCALLTYPE Call(BSTR command, BSTR arguments, BSTR extra, LONG* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetClientInfo(LONG what, BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE SetStatusText(BSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE ShowProgress(LONG percent) noexcept override;
    HRESULT STDMETHODCALLTYPE GetMessageText(BSTR key, BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE Prepare(BSTR expression, BSTR* value) noexcept override;

private:
    CCallback(CWorkspace& workspace, const CExpressionEvaluator& evaluator, CClientCommands& commands, CConsoleUser& user,
              bool trace) noexcept
        : m_workspace(workspace), m_evaluator(evaluator), m_commands(commands), m_user(user), m_trace(trace) {}
    ~CCallback() = default;
    void LoadTypeInfo() noexcept;

    std::atomic<ULONG> m_references{1};
    CWorkspace& m_workspace;
    const CExpressionEvaluator& m_evaluator;
    CClientCommands& m_commands;
    CConsoleUser& m_user;
    const bool m_trace;
    ComPtr<ITypeInfo> m_typeInfo;
};

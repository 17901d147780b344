#pragma once
#include "runtime/CRunLock.h"
#include "client/CVantorDocument.h"
#include "documents/CDocumentContext.h"
#include "host/CHostSession.h"
#include <QELDVecta17x.h>
#include <string>
#include <string_view>

// The implementation of the CAI_Call class, the COM face of the component: it owns the
// object's document properties and its host session, takes the process's Run turn, reads a
// command's arguments and hands them to the host session or to a document command.
class CCAI_Call final : public ICAI_Call, public ISupportErrorInfo {
public:
    // Creates an object, aggregated when outer is given (then only IUnknown may be asked for).
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out) noexcept;

    // IUnknown, delegating to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, served from the registered own type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // ICAI_Call
    HRESULT STDMETHODCALLTYPE Run(IUnknown* callback, VARIANT args, VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE Reserved1(LONG value) override;
    HRESULT STDMETHODCALLTYPE Reserved2(LONG first, LONG second, LONG third) override;
    HRESULT STDMETHODCALLTYPE Reserved3(LONG value) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    // For tests and peers that drive the operations directly.
    static CCAI_Call* FromInterface(ICAI_Call* call) noexcept { return static_cast<CCAI_Call*>(call); }
    CHostSession& HostSession() noexcept { return m_host; }
    // Tests shorten the timed open's limit; the shipped path never does.
    void SetOpenTimeLimit(DWORD milliseconds) noexcept { m_openTimeLimit = milliseconds; }

    // The two arguments a Run reads from its array after the command name.
    struct Arguments {
        std::wstring first;
        std::wstring second;
    };

private:
    // The non-delegating IUnknown that owns the object's lifetime.
    class Inner final : public IUnknown {
    public:
        explicit Inner(CCAI_Call& owner) noexcept : m_owner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        CCAI_Call& m_owner;
    };

    using Handler = HRESULT (CCAI_Call::*)(const Arguments& args, LONG& result);
    struct Command {
        std::wstring_view name;     // its length is known: a mismatch costs no scan
        const wchar_t* logFormat;  // Info entry before the action; null for none
        bool upperCaseArgument;    // the first argument is upper-cased before it is logged
        // The first argument is a path, refused here when the path type refuses it (publishing
        // and the import refuse it themselves, with their own result codes).
        bool pathArgument;
        Handler handler;
    };
    static const Command s_commands[];
    static const Command* FindCommand(std::wstring_view name);

    explicit CCAI_Call(IUnknown* outer);
    ~CCAI_Call();

    // Upper-cases the first argument of the commands that want it.
    HRESULT RunCommand(std::wstring_view name, Arguments& args, LONG& result);
    // Waits for the turn a Run did not find free; a failure is logged and ends the Run.
    HRESULT WaitForTurn(CRunLock::Hold& turn, const VARIANT& args);
    HRESULT LoadTypeInfo(ITypeInfo** info);

    // Command handlers of the Run table.
    HRESULT OnOpen(const Arguments& args, LONG& result);
    HRESULT OnOpenReadOnly(const Arguments& args, LONG& result);
    HRESULT OnNew(const Arguments& args, LONG& result);
    HRESULT OnRestore(const Arguments& args, LONG& result);
    HRESULT OnCommand(const Arguments& args, LONG& result);
    HRESULT OnUpdateTitleBlocks(const Arguments& args, LONG& result);
    HRESULT OnPublishPsx(const Arguments& args, LONG& result);
    HRESULT OnIsAvailableForPublishPsx(const Arguments& args, LONG& result);
    HRESULT OnChangeQelkey(const Arguments& args, LONG& result);
    HRESULT OnCheckApplication(const Arguments& args, LONG& result);
    HRESULT OnQuit(const Arguments& args, LONG& result);
    HRESULT OnSetLogLevel(const Arguments& args, LONG& result);
    HRESULT OnSetSilentMode(const Arguments& args, LONG& result);
    HRESULT OnImportTitleAttributes(const Arguments& args, LONG& result);

    // What a document command works with: the session's host reference as this command's own.
    CDocumentContext DocumentContext();

    Inner m_inner;
    IUnknown* m_outer;  // the controlling unknown: m_inner, or the aggregating object
    volatile LONG m_refs = 1;
    CVantorDocument m_document;
    CHostSession m_host{m_document};
    DWORD m_openTimeLimit = CDocumentContext::kOpenTimeLimit;
};

#pragma once
#include "CRunLock.h"
#include "client/CVantorDocument.h"
#include "documents/CDocumentContext.h"
#include "documents/CTimedOpen.h"
#include "host/CParkedHostReferences.h"
#include "support/ComPtr.h"
#include <QELDVecta17x.h>
#include <vecta.h>
#include <string>
#include <string_view>
#include <vector>

// The implementation of the CAI_Call class. The host and document operations are members
// because they share the object's Vecta reference; each group is defined in the folder of
// its subsystem.
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

    // Host operations (src/host/), on the held Vecta application.
    // Given activeDocument, the busy check's active drawing is kept there for the caller.
    HRESULT ConnectApplication(int start, int useLastProfile, int checkBusy,
                               ComPtr<IVectaDocument>* activeDocument = nullptr);
    HRESULT RestoreApplication();
    HRESULT SendCommand(const std::wstring& commandLine, int checkManagedDocument);
    HRESULT QuitVecta();
    HRESULT IsAvailableForPublishPSX(LONG& result);

    // Document operations (src/documents/).
    HRESULT OpenDocument(const std::wstring& path, int readOnly);
    HRESULT OpenDocumentWithTimeout(const std::wstring& path, IVectaDocument** document);
    HRESULT NewDocument(const std::wstring& documentPath);
    HRESULT UpdateAllTitleblocks(const std::wstring& path);
    HRESULT QELDImportTitleAttributes(const std::wstring& path, LONG& outcome);
    HRESULT PublishPSX(const std::wstring& path);
    HRESULT ChangeQelkey(const std::wstring& oldKey, const std::wstring& newKey);

    // For tests and peers that drive the operations directly.
    static CCAI_Call* FromInterface(ICAI_Call* call) noexcept { return static_cast<CCAI_Call*>(call); }
    IVectaApplication* Application() const noexcept { return m_application.get(); }
    void AttachApplication(IVectaApplication* application) { m_application = ComPtr<IVectaApplication>(application); }
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
        Handler handler;
    };
    static const Command s_commands[];
    static const Command* FindCommand(std::wstring_view name);

    explicit CCAI_Call(IUnknown* outer);
    ~CCAI_Call();

    // Upper-cases the first argument of the commands that want it.
    HRESULT RunCommand(std::wstring_view name, Arguments& args, LONG& result);
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

    // Helpers of the host operations (src/host/).
    HRESULT InitApplication();
    HRESULT CloseStartUpDrawings();
    // The drawing-template folder of the host's current profile; empty when not found.
    std::wstring GetHostTemplatePath();
    void BringHostWindowForward();

    // Helpers of the document operations (src/documents/): open, document set-up, keys, new.
    // What the document operations borrow from this object; take it after connecting.
    CDocumentContext DocumentContext();
    HRESULT InitDocument(IVectaDocument* document);

    // Helpers of publishing (src/documents/).
    // One publication of the drawing at path; onClose 1 publishes on close, 0 on save, and
    // is set to 0 when the add-in asks for the fallback.
    HRESULT PublishPSXAttempt(const std::wstring& path, IVntAddIn* addIn, int& onClose);
    // The fallback attempt on a temporary copy in a folder of its own inside the workspace.
    HRESULT PublishPSXOnCopy(const std::wstring& path, IVntAddIn* addIn, int& onClose);

    Inner m_inner;
    IUnknown* m_outer;  // the controlling unknown: m_inner, or the aggregating object
    volatile LONG m_refs = 1;
    // Runs on one object take turns: a Run may replace the held host reference that another
    // one is calling through.
    CRunLock m_runLock;
    ComPtr<IVectaApplication> m_application;  // the connected host, kept across Run calls
    // Host references that nested Runs replaced, kept until the outermost Run on the object
    // ends: it may be inside a call through one of them.
    std::vector<ComPtr<IVectaApplication>> m_outerRunHosts;
    CVantorDocument m_document;
    DWORD m_openTimeLimit = CTimedOpen::kTimeLimit;
};

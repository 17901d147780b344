#pragma once
#include "FakeDispatch.h"
#include <vecta.h>
#include <string>

class FakeVectaHost;

// A drawing of the in-process Vecta; its calls are journalled as "<Member>(<name>, …)".
class FakeVectaDocument final : public FakeDispatch<IVectaDocument> {
public:
    FakeVectaDocument(FakeVectaHost& host, const std::wstring& fullName, bool readOnly, int number);

    std::wstring fullName;
    std::wstring name;  // "Drawing<n>.dwg" until saved
    VARIANT_BOOL readOnly;
    HRESULT fullNameResult = S_OK;
    HRESULT readOnlyResult = S_OK;

    HRESULT STDMETHODCALLTYPE get_FullName(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_ReadOnly(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE get_Saved(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE Save() override;
    HRESULT STDMETHODCALLTYPE SaveAs(BSTR fileName, VARIANT fileType, VARIANT security) override;
    HRESULT STDMETHODCALLTYPE Activate() override;
    HRESULT STDMETHODCALLTYPE Close(VARIANT saveChanges, VARIANT fileName) override;
    HRESULT STDMETHODCALLTYPE SendCommand(BSTR command) override;

    // "i4:<n>", "missing", "\"text\"" or "vt:<n>".
    static std::wstring Describe(const VARIANT& value);

private:
    FakeVectaHost& m_host;
};

#pragma once
#include "support/ComPtr.h"
#include <vecta.h>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeVectaApplication;
class FakeVectaDocument;

// An in-process Vecta for unit tests: the state behind the fake application, documents
// collection, documents and PDM add-in object, with injectable failures and a journal of
// every call that changes something or that the component must make in order.
class FakeVectaHost {
public:
    FakeVectaHost();
    ~FakeVectaHost();
    FakeVectaHost(const FakeVectaHost&) = delete;
    FakeVectaHost& operator=(const FakeVectaHost&) = delete;

    // Borrowed; the host keeps its reference.
    IVectaApplication* App() const noexcept;
    // A document already open in the host, at the end of the collection.
    FakeVectaDocument* AddOpen(const std::wstring& fullName, bool readOnly);
    FakeVectaDocument* Active() const noexcept { return active; }
    // Journal entries starting with prefix.
    std::vector<std::wstring> Entries(const std::wstring& prefix) const;

    FakeVectaDocument* NewDocument(const std::wstring& fullName, bool readOnly);
    void Remove(FakeVectaDocument* document);

    std::vector<std::wstring> journal;
    std::vector<ComPtr<FakeVectaDocument>> documents;
    FakeVectaDocument* active = nullptr;

    std::wstring version = L"17.1";
    HRESULT versionResult = S_OK;
    HRESULT documentsResult = S_OK;
    HRESULT countResult = S_OK;
    HRESULT interfaceObjectResult = S_OK;
    bool addInHasInterface = true;
    HRESULT setCallbackResult = S_OK;
    std::set<std::wstring> failingSymbols;  // symbol names whose SetSymbol fails with E_FAIL
    std::vector<std::pair<std::wstring, std::wstring>> symbols;
    HRESULT openResult = S_OK;
    bool openReturnsDocument = true;
    HRESULT addResult = S_OK;
    bool addReturnsDocument = true;
    HRESULT saveResult = S_OK;
    HRESULT saveAsResult = S_OK;
    HRESULT activeDocumentResult = S_OK;
    int documentsMade = 0;

private:
    FakeVectaApplication* m_app;
};

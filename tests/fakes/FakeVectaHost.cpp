#include "FakeVectaHost.h"
#include "FakeVectaApplication.h"
#include "FakeVectaDocument.h"
#include <algorithm>

FakeVectaHost::FakeVectaHost() : m_app(new FakeVectaApplication(*this)) {}

FakeVectaHost::~FakeVectaHost() {
    documents.clear();
    m_app->Release();
}

IVectaApplication* FakeVectaHost::App() const noexcept { return m_app; }

FakeVectaDocument* FakeVectaHost::NewDocument(const std::wstring& fullName, bool readOnly) {
    ComPtr<FakeVectaDocument> document;
    document.attach(new FakeVectaDocument(*this, fullName, readOnly, ++documentsMade));
    documents.push_back(document);
    active = document.get();
    return document.get();
}

FakeVectaDocument* FakeVectaHost::AddOpen(const std::wstring& fullName, bool readOnly) {
    return NewDocument(fullName, readOnly);
}

void FakeVectaHost::Remove(FakeVectaDocument* document) {
    if (active == document) active = nullptr;
    std::erase_if(documents, [document](const ComPtr<FakeVectaDocument>& d) { return d.get() == document; });
    if (!active && !documents.empty()) active = documents.back().get();
}

std::vector<std::wstring> FakeVectaHost::Entries(const std::wstring& prefix) const {
    std::vector<std::wstring> out;
    std::copy_if(journal.begin(), journal.end(), std::back_inserter(out),
                 [&](const std::wstring& e) { return e.rfind(prefix, 0) == 0; });
    return out;
}

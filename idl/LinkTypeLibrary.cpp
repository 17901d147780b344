// Build tool, run under Wine: rewrites a type library made by widl so that its classes
// reference their interfaces in an imported library instead of holding copies of them.
// widl cannot name an interface of an importlib'd library in a coclass; it copies the
// definition in, and registering such a library takes over the importing library's
// interface keys.
//
//   LinkTypeLibrary <widl library> <imported library> <output library>
//
// Library attributes and the classes come from the widl library (the .idl stays the one
// source); every type of it that the imported library defines is dropped.
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include "support/ScopeGuard.h"
#include "support/UniqueBstr.h"
#include <oleauto.h>
#include <cstdio>

namespace {

HRESULT CopyClass(ITypeInfo* source, ITypeLib* imported, ICreateTypeLib2* target) {
    TYPEATTR* attr = nullptr;
    RETURN_IF_FAILED(source->GetTypeAttr(&attr));
    ScopeGuard releaseAttr([&] { source->ReleaseTypeAttr(attr); });
    UniqueBstr name, doc;
    DWORD helpContext = 0;
    RETURN_IF_FAILED(source->GetDocumentation(MEMBERID_NIL, name.put(), doc.put(), &helpContext, nullptr));

    ComPtr<ICreateTypeInfo> created;
    RETURN_IF_FAILED(target->CreateTypeInfo(name.get(), TKIND_COCLASS, created.put()));
    RETURN_IF_FAILED(created->SetGuid(attr->guid));
    RETURN_IF_FAILED(created->SetVersion(attr->wMajorVerNum, attr->wMinorVerNum));
    RETURN_IF_FAILED(created->SetTypeFlags(attr->wTypeFlags));
    RETURN_IF_FAILED(created->SetHelpContext(helpContext));
    if (doc.get()) RETURN_IF_FAILED(created->SetDocString(doc.get()));
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE sourceRef = 0, targetRef = 0;
        ComPtr<ITypeInfo> interfaceInfo, importedInfo;
        TYPEATTR* interfaceAttr = nullptr;
        INT flags = 0;
        RETURN_IF_FAILED(source->GetRefTypeOfImplType(i, &sourceRef));
        RETURN_IF_FAILED(source->GetRefTypeInfo(sourceRef, interfaceInfo.put()));
        RETURN_IF_FAILED(interfaceInfo->GetTypeAttr(&interfaceAttr));
        const GUID iid = interfaceAttr->guid;
        interfaceInfo->ReleaseTypeAttr(interfaceAttr);
        // An interface the imported library does not define cannot be referenced there.
        RETURN_IF_FAILED(imported->GetTypeInfoOfGuid(iid, importedInfo.put()));
        RETURN_IF_FAILED(created->AddRefTypeInfo(importedInfo.get(), &targetRef));
        RETURN_IF_FAILED(created->AddImplType(i, targetRef));
        RETURN_IF_FAILED(source->GetImplTypeFlags(i, &flags));
        RETURN_IF_FAILED(created->SetImplTypeFlags(i, flags));
    }
    return created->LayOut();
}

HRESULT Link(const wchar_t* sourcePath, const wchar_t* importedPath, const wchar_t* targetPath) {
    ComPtr<ITypeLib> source, imported;
    RETURN_IF_FAILED(LoadTypeLibEx(sourcePath, REGKIND_NONE, source.put()));
    RETURN_IF_FAILED(LoadTypeLibEx(importedPath, REGKIND_NONE, imported.put()));

    TLIBATTR* libAttr = nullptr;
    RETURN_IF_FAILED(source->GetLibAttr(&libAttr));
    ScopeGuard releaseLibAttr([&] { source->ReleaseTLibAttr(libAttr); });
    UniqueBstr name, doc, helpFile;
    DWORD helpContext = 0;
    RETURN_IF_FAILED(source->GetDocumentation(-1, name.put(), doc.put(), &helpContext, helpFile.put()));

    ComPtr<ICreateTypeLib2> target;
    RETURN_IF_FAILED(CreateTypeLib2(libAttr->syskind, targetPath, target.put()));
    RETURN_IF_FAILED(target->SetGuid(libAttr->guid));
    RETURN_IF_FAILED(target->SetVersion(libAttr->wMajorVerNum, libAttr->wMinorVerNum));
    RETURN_IF_FAILED(target->SetLcid(libAttr->lcid));
    RETURN_IF_FAILED(target->SetLibFlags(libAttr->wLibFlags));
    RETURN_IF_FAILED(target->SetName(name.get()));
    RETURN_IF_FAILED(target->SetHelpContext(helpContext));
    if (doc.get()) RETURN_IF_FAILED(target->SetDocString(doc.get()));
    if (helpFile.get()) RETURN_IF_FAILED(target->SetHelpFileName(helpFile.get()));

    for (UINT i = 0; i < source->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info, importedInfo;
        TYPEATTR* attr = nullptr;
        RETURN_IF_FAILED(source->GetTypeInfo(i, info.put()));
        RETURN_IF_FAILED(info->GetTypeAttr(&attr));
        const GUID guid = attr->guid;
        const TYPEKIND kind = attr->typekind;
        info->ReleaseTypeAttr(attr);
        if (kind == TKIND_COCLASS) {
            RETURN_IF_FAILED(CopyClass(info.get(), imported.get(), target.get()));
        } else if (FAILED(imported->GetTypeInfoOfGuid(guid, importedInfo.put()))) {
            return E_NOTIMPL;  // only classes are carried over
        }
    }
    return target->SaveAllChanges();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fputs("usage: LinkTypeLibrary <widl library> <imported library> <output library>\n", stderr);
        return 2;
    }
    const HRESULT hr = Link(argv[1], argv[2], argv[3]);
    if (FAILED(hr)) std::fprintf(stderr, "LinkTypeLibrary: %ls failed (hr = %lX)\n", argv[3], hr);
    return FAILED(hr) ? 1 : 0;
}

#include "CPublishPSX.h"
#include "CApartmentHandover.h"
#include "CDocumentSetup.h"
#include "CPsxLockFile.h"
#include "CTimedOpen.h"
#include "client/CVantorApplication.h"
#include "client/CVantorDocument.h"
#include "host/CHostSession.h"
#include "host/CVectaArgument.h"
#include "support/CFinalPath.h"
#include "support/COutsideValue.h"
#include "support/CPlainFile.h"
#include "support/CUtils.h"
#include "support/NoImpersonation.h"
#include "support/ResultMacros.h"
#include "support/ScopeGuard.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include <sddl.h>
#include <vector>

namespace {

constexpr wchar_t kPublishSwitch[] = L"PublishPSXFromCAI";
constexpr wchar_t kOutcomeVariable[] = L"ZEPErrorCode";
constexpr wchar_t kOutcomeRetryOnSave[] = L"4";

bool SupportsPublishing(const std::wstring& version) {
    return version.compare(0, 4, L"16.2") == 0 || version.compare(0, 2, L"17") == 0;
}

// Only a denied write counts: a missing target may still be created by the add-in. The
// attribute is read on its own, since a privileged account may open a read-only file.
bool IsWriteDenied(const CCheckedPath& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return true;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr));
    return !file.valid() && GetLastError() == ERROR_ACCESS_DENIED;
}

// Security that lets only the calling account in, inherited by nothing above it.
class PrivateSecurity {
public:
    PrivateSecurity() {
        HANDLE token = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
            !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        UniqueHandle owned(token);
        DWORD size = 0;
        (void)GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size);
        wchar_t* sid = nullptr;
        if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
            return;
        const std::wstring text = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")";
        LocalFree(sid);
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &m_attributes.lpSecurityDescriptor,
                                                                 nullptr))
            m_attributes.nLength = sizeof m_attributes;
    }
    ~PrivateSecurity() { LocalFree(m_attributes.lpSecurityDescriptor); }
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;

    // Null when the descriptor could not be built.
    SECURITY_ATTRIBUTES* get() noexcept { return m_attributes.nLength ? &m_attributes : nullptr; }

private:
    SECURITY_ATTRIBUTES m_attributes{0, nullptr, FALSE};
};

// A folder of its own inside the workspace, so that the copy never meets a user's file. Only
// the job's account may enter it, and it is held open without delete sharing until the
// fallback ends, so nobody can rename it and swap in a link to another folder; held goes only
// to a folder, not a junction, that really is where its name says (where a final path cannot be
// read, its attributes decide alone).
HRESULT CreateCopyFolder(const CCheckedPath& workspace, std::optional<CCheckedPath>& folder, UniqueHandle& held) {
    GUID id;
    RETURN_IF_FAILED(CoCreateGuid(&id));
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    const std::optional<COwnFileName> name = COutsideValue::OwnFileName(L"PublishPSX", L"~psx" + std::wstring(text));
    if (!name) return E_UNEXPECTED;
    folder = workspace.Child(*name);
    PrivateSecurity security;
    if (!security.get()) return E_ACCESSDENIED;
    if (!CreateDirectoryW(folder->c_str(), security.get())) return HResultFromLastError();
    held.reset(CreateFileW(folder->c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | kNoImpersonation, nullptr));
    if (!held.valid()) {
        const HRESULT hr = HResultFromLastError();
        RemoveDirectoryW(folder->c_str());
        return hr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool plainFolder = GetFileInformationByHandle(held.get(), &information) &&
                             (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (plainFolder && CFinalPath::Is(held.get(), folder->str()).value_or(true)) return S_OK;
    held.reset();  // what stands there now is not ours to remove
    return CPlainFile::kRefused;
}

// Deletes a file of the fallback inside its held folder.
void DeleteInside(HANDLE folder, const COwnFileName& name) noexcept {
    CPlainFile file;
    if (SUCCEEDED(file.OpenInside(folder, name, DELETE))) (void)file.Delete();
}

// The drawing's content and last-write time as a new file inside the held folder; a copy that
// fails half-way is removed.
HRESULT CopyInside(const CCheckedPath& source, HANDLE folder, const COwnFileName& name) {
    const UniqueHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | kNoImpersonation, nullptr));
    FILETIME written{};
    if (!from.valid() || !GetFileTime(from.get(), nullptr, nullptr, &written)) return HResultFromLastError();
    CPlainFile copy;
    RETURN_IF_FAILED(copy.CreateInside(folder, name));
    HRESULT hr = copy.CopyFrom(from.get());
    if (SUCCEEDED(hr)) hr = copy.SetTimes(nullptr, &written);
    if (FAILED(hr)) (void)copy.Delete();
    return hr;
}

}  // namespace

HRESULT CPublishPSX::PublishPSX(const std::wstring& path) {
    if (!CPsxLockFile(path).MayPublish()) return E_FAIL;

    CUtils& utils = CUtils::Instance();
    const std::wstring target = m_context.document.GetContainerAutoPsx();
    if (!target.empty()) {
        const std::optional<CCheckedPath> checked = COutsideValue::Path(L"PublishPSX", target);
        if (!checked) return E_INVALIDARG;
        if (IsWriteDenied(*checked)) {
            utils.WriteLog(CUtils::LevelError, L"PublishPSX: PSX File is read-only: %s", target);
            return E_ACCESSDENIED;
        }
    }

    RETURN_IF_FAILED(m_context.Connect(1, 0, 1));
    IVectaApplication* const application = m_context.application.get();

    UniqueBstr version;
    HRESULT hr = application->get_Version(version.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: Can't determine Vecta version");
        return hr;
    }
    const std::wstring versionText = version.str();
    if (!SupportsPublishing(versionText))
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: This Vecta version (%s) does not support PSX publishing.",
                       versionText);

    ComPtr<IDispatch> object;
    hr = application->GetInterfaceObject(UniqueBstr(CDocumentSetup::AddInProgId(versionText)).get(), object.put());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: Failed to get interface Derudir.VntApplication2 (hr = %X)", hr);
        return hr;
    }
    ComPtr<IVntAddIn> addIn;
    if (FAILED(object.query(addIn)) || !addIn) {
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: Interface Derudir.VntApplication2 not compatible");
        return E_NOINTERFACE;
    }

    // The open may hang in the host and be given up: from the open to the close the host is
    // driven from an apartment of the component's, and this thread lets go of it now, while
    // it answers (the session's reference too), so that nothing of a host that may be given
    // up stays in the client's apartment.
    CApartmentHandover handover(m_context);
    hr = handover.Marshal(addIn.get());
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Failed to create IStream object (hr = %X)", hr);
        return hr;
    }
    (void)m_context.host.Forget(application);
    object.reset();
    addIn.reset();
    m_context.application.reset();

    bool started = false, gaveUp = false;
    hr = CHostCallApartment::Run(
        [&](CHostCallApartment::Job& job) {
            started = true;
            return handover.Run(job, [&](CDocumentContext& context, IVntAddIn* apartmentAddIn) {
                CPublishPSX publisher(context);
                int onClose = 1;
                HRESULT published = publisher.PublishPSXAttempt(job, path, apartmentAddIn, onClose);
                if (FAILED(published) && onClose == 0)
                    published = publisher.PublishPSXOnCopy(job, path, apartmentAddIn, onClose);
                return published;
            });
        },
        m_context.openTimeLimit, gaveUp);
    if (gaveUp) {
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Time-out interval elapsed -> terminate thread");
        return HR_TIMEOUT;
    }
    if (!started) {
        utils.WriteLog(CUtils::LevelError, L"OpenDocumentWithTimeout: Failed to open document (hr = %X)", hr);
        return E_FAIL;
    }
    // The session keeps the host for later commands, unless a nested command connected anew.
    m_context.application = handover.TakeBack();
    if (m_context.application && !m_context.host.Application()) m_context.host.Attach(m_context.application.get());
    return hr;
}

HRESULT CPublishPSX::PublishPSXOnCopy(CHostCallApartment::Job& job, const std::wstring& path, IVntAddIn* addIn,
                                      int& onClose) {
    CUtils& utils = CUtils::Instance();
    const std::wstring workspace = m_context.session.GetWorkspacePath();
    if (workspace.empty()) {
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: No workspace folder for the temporary copy (hr = %X)", E_FAIL);
        return E_FAIL;
    }
    const std::optional<CCheckedPath> checkedWorkspace = COutsideValue::Path(L"PublishPSX", workspace);
    const std::optional<CCheckedPath> source = checkedWorkspace ? COutsideValue::Path(L"PublishPSX", path) : std::nullopt;
    const std::optional<COwnFileName> fileName = source ? COutsideValue::OwnFileName(L"PublishPSX", path) : std::nullopt;
    if (!fileName) return E_INVALIDARG;
    std::optional<CCheckedPath> folder;
    UniqueHandle held;
    HRESULT hr = CreateCopyFolder(*checkedWorkspace, folder, held);
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: Can't create the folder for the temporary copy %s (hr = %X)",
                       folder ? folder->str() : std::wstring(), hr);
        return hr;
    }
    // Removed through the held handle once it is empty, never by its name.
    ScopeGuard removeFolder([&]() noexcept {
        FILE_DISPOSITION_INFO remove{TRUE};
        (void)SetFileInformationByHandle(held.get(), FileDispositionInfo, &remove, sizeof remove);
        held.reset();
    });
    // The add-in may rely on the drawing's own file name, so the copy keeps it.
    const std::wstring& name = fileName->str();
    const std::optional<COwnFileName> backupName =
        COutsideValue::OwnFileName(L"PublishPSX", name.substr(0, name.rfind(L'.')) + L".bak");
    if (!backupName) return E_INVALIDARG;
    const CCheckedPath copy = folder->Child(*fileName);
    hr = CopyInside(*source, held.get(), *fileName);
    if (FAILED(hr)) {
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: Can't copy %s to %s (hr = %X)", path, copy.str(), hr);
        return hr;
    }
    // Only what this fallback created goes: the copy and the host's backup of it.
    ScopeGuard cleanUp([&]() noexcept {
        DeleteInside(held.get(), *fileName);
        DeleteInside(held.get(), *backupName);
    });
    return PublishPSXAttempt(job, copy.str(), addIn, onClose);
}

HRESULT CPublishPSX::PublishPSXAttempt(CHostCallApartment::Job& job, const std::wstring& path, IVntAddIn* addIn,
                                       int& onClose) {
    ComPtr<IVectaDocument> document;
    const HRESULT opened = CTimedOpen(m_context, job).Open(path, document.put());
    if (FAILED(opened)) return opened;

    CUtils& utils = CUtils::Instance();
    CVantorApplication& session = m_context.session;
    utils.WriteLog(CUtils::LevelInfo, onClose != 0 ? L"PublishPSX: Publish PSX on close"
                                                   : L"PublishPSX: Publish PSX on save for temporary copy of the document");
    session.SetClientEnvironment(kOutcomeVariable, L"0");
    const UniqueBstr publishSwitch(kPublishSwitch);
    (void)addIn->SetSymbol(publishSwitch.get(), UniqueBstr(L"1").get());

    // The add-in publishes during the close or the save and reports through the client.
    const VARIANT discardChanges = CVectaArgument::Index(0);
    HRESULT stepped = S_OK;
    if (onClose != 0) {
        stepped = document->Close(discardChanges, CVectaArgument::Missing());
        (void)document->SendCommand(UniqueBstr(L"").get());
        if (FAILED(stepped)) {
            // The drawing stays open: it must not publish when the user closes it later.
            (void)addIn->SetSymbol(publishSwitch.get(), UniqueBstr(L"0").get());
            utils.WriteLog(CUtils::LevelError, L"PublishPSX: IVectaDocument->Close() failed (hr = %X)", stepped);
        }
    } else {
        stepped = document->Save();
        (void)addIn->SetSymbol(publishSwitch.get(), UniqueBstr(L"0").get());
        (void)document->Close(discardChanges, CVectaArgument::Missing());
        if (FAILED(stepped))
            utils.WriteLog(CUtils::LevelError, L"PublishPSX: IVectaDocument->Save() failed (hr = %X)", stepped);
    }

    const std::wstring outcome = session.GetClientVariable(kOutcomeVariable);
    // A close or save that failed before the add-in ran leaves the preset outcome (or none):
    // that is the host's failure, not a publication to lock.
    if (FAILED(stepped) && (outcome.empty() || outcome == L"0")) return E_FAIL;
    if (outcome.empty() || outcome == L"0") return opened;

    if (outcome == kOutcomeRetryOnSave) {
        utils.WriteLog(CUtils::LevelError, L"%s", CLog::AsIs{session.GetUserMessage(L"VX16507", false)});
        if (onClose != 0)
            utils.WriteLog(CUtils::LevelError,
                           L"PublishPSX: Failed to publish PSX on close, try to publish PSX on save for temporary copy");
        onClose = 0;
    } else {
        CPsxLockFile(path).WriteLock();
        utils.WriteLog(CUtils::LevelError, L"PublishPSX: Failed to publish PSX");
    }
    return E_FAIL;
}

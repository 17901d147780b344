#include "CPlainFile.h"
#include "CFinalPath.h"
#include "CLog.h"
#include "NoImpersonation.h"
#include "ResultMacros.h"
#include <winternl.h>
#include <vector>

HRESULT CPlainFile::OpenExisting(const CCheckedPath& path, DWORD access, const wchar_t* operation) {
    return Open(path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                OPEN_EXISTING, operation);
}

HRESULT CPlainFile::OpenForWriting(const CCheckedPath& path, const wchar_t* operation) {
    // An existing file is checked before anything is written; only a missing one is created,
    // and then nothing may stand at the name (a dangling link would be created at its target).
    constexpr DWORD kAccess = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES;
    const HRESULT opened = Open(path, kAccess, FILE_SHARE_READ, OPEN_EXISTING, operation);
    if (opened != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return opened;
    return Open(path, kAccess, FILE_SHARE_READ, CREATE_NEW, operation);
}

HRESULT CPlainFile::Open(const CCheckedPath& path, DWORD access, DWORD share, DWORD disposition,
                         const wchar_t* operation) {
    m_file.reset();
    // Backup semantics open a folder or junction at the name too, so that it is seen and refused
    // with an entry instead of failing unexplained.
    m_file.reset(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | kNoImpersonation,
                             nullptr));
    if (!m_file.valid()) return HResultFromLastError();
    if (!GetFileInformationByHandle(m_file.get(), &m_information)) {
        const HRESULT hr = HResultFromLastError();
        m_file.reset();
        return hr;
    }
    CLog& log = CLog::Instance();
    switch (CFinalPath::Check(m_file.get(), m_information, path.str())) {
    case CFinalPath::Finding::Plain:
        return S_OK;
    case CFinalPath::Finding::LinkOrFolder:
        log.Write(CLog::LevelError, L"%s: Refused %s: it is a link, junction or folder, not a file (hr = %X)",
                  operation, path.str(), kRefused);
        break;
    case CFinalPath::Finding::SecondName:
        log.Write(CLog::LevelError, L"%s: Refused %s: the file has %d names (hard links) (hr = %X)", operation, path.str(),
                  static_cast<int>(m_information.nNumberOfLinks), kRefused);
        break;
    case CFinalPath::Finding::Elsewhere:
        log.Write(CLog::LevelError, L"%s: Refused %s: it leads to %s (hr = %X)", operation, path.str(),
                  CFinalPath::Of(m_file.get()), kRefused);
        break;
    }
    // A file this open created is ours to remove (a dangling link leads its creation elsewhere).
    if (disposition == CREATE_NEW) (void)Delete();
    m_file.reset();
    return kRefused;
}

HRESULT CPlainFile::CreateInside(HANDLE folder, const COwnFileName& name) {
    return OpenRelative(folder, name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_CREATE);
}

HRESULT CPlainFile::OpenInside(HANDLE folder, const COwnFileName& name, DWORD access) {
    RETURN_IF_FAILED(OpenRelative(folder, name, access | FILE_READ_ATTRIBUTES, FILE_OPEN));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const DWORD attributes = m_information.dwFileAttributes;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      (!GetFileInformationByHandleEx(m_file.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
                       IsReparseTagNameSurrogate(tag.ReparseTag));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && !link && m_information.nNumberOfLinks <= 1) return S_OK;
    m_file.reset();
    return kRefused;
}

HRESULT CPlainFile::OpenRelative(HANDLE folder, const COwnFileName& name, DWORD access, ULONG disposition) {
    m_file.reset();
    UNICODE_STRING text{};
    text.Buffer = const_cast<wchar_t*>(name.str().c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.str().size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    // A QoS record like kNoImpersonation's, though nothing but a file can stand inside our folder.
    SECURITY_QUALITY_OF_SERVICE quality{sizeof quality, SecurityIdentification, SECURITY_STATIC_TRACKING, FALSE};
    attributes.SecurityQualityOfService = &quality;
    IO_STATUS_BLOCK status{};
    HANDLE file = nullptr;
    const NTSTATUS opened =
        NtCreateFile(&file, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition,
                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(opened)) return HRESULT_FROM_WIN32(RtlNtStatusToDosError(opened));
    m_file.reset(file);
    if (GetFileInformationByHandle(m_file.get(), &m_information)) return S_OK;
    const HRESULT hr = HResultFromLastError();
    m_file.reset();
    return hr;
}

HRESULT CPlainFile::CopyFrom(HANDLE from) {
    std::vector<char> block(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, block.data(), static_cast<DWORD>(block.size()), &read, nullptr)) return HResultFromLastError();
        if (read == 0) return S_OK;
        RETURN_IF_FAILED(Write(block.data(), read));
    }
}

HRESULT CPlainFile::Truncate() {
    const LARGE_INTEGER start{};
    return SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN) && SetEndOfFile(m_file.get()) ? S_OK
                                                                                                  : HResultFromLastError();
}

HRESULT CPlainFile::Write(const void* data, DWORD size) {
    DWORD written = 0;
    if (!WriteFile(m_file.get(), data, size, &written, nullptr)) return HResultFromLastError();
    return written == size ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

HRESULT CPlainFile::SetAttributes(DWORD attributes) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes;  // zero times stay as they are
    return SetFileInformationByHandle(m_file.get(), FileBasicInfo, &basic, sizeof basic) ? S_OK : HResultFromLastError();
}

HRESULT CPlainFile::SetTimes(const FILETIME* creation, const FILETIME* lastWrite) {
    return SetFileTime(m_file.get(), creation, nullptr, lastWrite) ? S_OK : HResultFromLastError();
}

HRESULT CPlainFile::Delete() {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(m_file.get(), FileDispositionInfo, &disposition, sizeof disposition)
               ? S_OK
               : HResultFromLastError();
}

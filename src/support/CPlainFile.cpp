#include "CPlainFile.h"
#include "CFinalPath.h"
#include "CLog.h"
#include "NoImpersonation.h"
#include "ResultMacros.h"

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

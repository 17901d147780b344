#include "CServerImage.h"
#include "TextCodec.h"
#include <windows.h>
#include <cstring>

namespace {

// The component and the moniker provider are a few MB at most.
constexpr size_t kLongestImage = 64u << 20;

template <typename T>
const T* At(const std::string& bytes, size_t offset) {
    return offset <= bytes.size() && bytes.size() - offset >= sizeof(T) ? reinterpret_cast<const T*>(bytes.data() + offset)
                                                                         : nullptr;
}

// The file offset of a virtual address, through the section that holds it.
size_t OffsetOf(const std::string& bytes, const IMAGE_NT_HEADERS32& headers, size_t sectionsAt, DWORD address) {
    for (WORD n = 0; n < headers.FileHeader.NumberOfSections; ++n) {
        const auto* section = At<IMAGE_SECTION_HEADER>(bytes, sectionsAt + n * sizeof(IMAGE_SECTION_HEADER));
        if (!section) break;
        const DWORD size = section->Misc.VirtualSize ? section->Misc.VirtualSize : section->SizeOfRawData;
        if (address >= section->VirtualAddress && address - section->VirtualAddress < size)
            return section->PointerToRawData + (address - section->VirtualAddress);
    }
    return bytes.size();
}

}  // namespace

bool CServerImage::Read(const std::wstring& path, std::wstring& reason) {
    m_exports.clear();
    std::string bytes;
    if (!TextCodec::ReadFileBytes(path, bytes, reason)) return false;
    if (bytes.size() > kLongestImage) {
        reason = L"is too large for a server";
        return false;
    }
    const auto* dos = At<IMAGE_DOS_HEADER>(bytes, 0);
    const auto* headers = dos && dos->e_magic == IMAGE_DOS_SIGNATURE
                              ? At<IMAGE_NT_HEADERS32>(bytes, static_cast<size_t>(dos->e_lfanew))
                              : nullptr;
    if (!headers || headers->Signature != IMAGE_NT_SIGNATURE) {
        reason = L"is not a Windows program file";
        return false;
    }
    if (headers->FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
        headers->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        reason = L"is not a 32-bit file: the 32-bit PDM client cannot load it";
        return false;
    }
    if (!(headers->FileHeader.Characteristics & IMAGE_FILE_DLL)) {
        reason = L"is a program, not a DLL";
        return false;
    }
    const size_t sectionsAt = static_cast<size_t>(dos->e_lfanew) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                              headers->FileHeader.SizeOfOptionalHeader;
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = directory.VirtualAddress && headers->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_EXPORT
                              ? At<IMAGE_EXPORT_DIRECTORY>(bytes, OffsetOf(bytes, *headers, sectionsAt, directory.VirtualAddress))
                              : nullptr;
    const size_t namesAt = exports ? OffsetOf(bytes, *headers, sectionsAt, exports->AddressOfNames) : bytes.size();
    for (DWORD n = 0; exports && n < exports->NumberOfNames; ++n) {
        const auto* name = At<DWORD>(bytes, namesAt + n * sizeof(DWORD));
        const size_t at = name ? OffsetOf(bytes, *headers, sectionsAt, *name) : bytes.size();
        const size_t end = at < bytes.size() ? bytes.find('\0', at) : std::string::npos;
        if (end == std::string::npos) break;
        m_exports.append(bytes, at, end - at + 1);
    }
    return true;
}

bool CServerImage::Exports(const std::string& name) const {
    return (std::string(1, '\0') + m_exports).find('\0' + name + '\0') != std::string::npos;
}

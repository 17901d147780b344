#include "CTemplateDialog.h"
#include <vector>

namespace {

// The real dialog. The component does not import comdlg32: under Wine it brings in
// winspool.drv, which leaves a mutex handle behind each time it is loaded, and unattended jobs
// load and free the component without ever showing a dialog. It is loaded on the first dialog
// (a known system DLL, so found only in the system folder) and kept for the process, so that
// it is loaded once whatever the number of dialogs.
BOOL WINAPI ShowOpenDialog(OPENFILENAMEW* settings) {
    static void* s_show = nullptr;
    void* show = InterlockedCompareExchangePointer(&s_show, nullptr, nullptr);
    if (!show) {
        HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
        if (!dialogs) return FALSE;
        void* const loaded = reinterpret_cast<void*>(GetProcAddress(dialogs, "GetOpenFileNameW"));
        // Two first dialogs at once: the one that comes second gives back its extra load.
        show = InterlockedCompareExchangePointer(&s_show, loaded, nullptr);
        if (show || !loaded) FreeLibrary(dialogs);
        if (!show) show = loaded;
        if (!show) return FALSE;
    }
    return reinterpret_cast<CTemplateDialog::DialogFunction>(show)(settings);
}

CTemplateDialog::DialogFunction g_dialog = &ShowOpenDialog;

// Display text and pattern pairs, each part ended by "|"; the dialog wants NULs instead.
constexpr wchar_t kFilter[] = L"Drawing Templates (*.dwt)|*.dwt|Drawing (*.dwg)|*.dwg|Standards (*.dws)|*.dws||";
constexpr wchar_t kDefaultExtension[] = L"*.dwt";
constexpr DWORD kFlags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                         OFN_NOREADONLYRETURN | OFN_LONGNAMES;

}  // namespace

CTemplateDialog::DialogFunction CTemplateDialog::SetDialogFunction(DialogFunction function) noexcept {
    const DialogFunction previous = g_dialog;
    g_dialog = function ? function : &ShowOpenDialog;
    return previous;
}

bool CTemplateDialog::Choose(const std::wstring& initialFolder, const std::wstring& title, std::wstring& chosen) {
    std::wstring filter = kFilter;
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    std::vector<wchar_t> file(MAX_PATH, L'\0');

    OPENFILENAMEW settings{};
    settings.lStructSize = sizeof(settings);
    settings.hwndOwner = nullptr;
    settings.lpstrFilter = filter.c_str();
    settings.lpstrFile = file.data();
    settings.nMaxFile = static_cast<DWORD>(file.size());
    settings.lpstrInitialDir = initialFolder.c_str();
    settings.lpstrTitle = title.c_str();
    settings.Flags = kFlags;
    settings.lpstrDefExt = kDefaultExtension;
    if (!g_dialog(&settings)) return false;
    chosen = file.data();
    return true;
}

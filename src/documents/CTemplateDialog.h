#pragma once
#include <windows.h>
#include <commdlg.h>
#include <string>

// The modal dialog in which the user picks a drawing template. It goes through a function
// that tests replace, since nobody can click a dialog there; the default is the real one.
class CTemplateDialog {
public:
    using DialogFunction = BOOL(WINAPI*)(OPENFILENAMEW* settings);
    // Returns the previous function; null restores the real dialog.
    static DialogFunction SetDialogFunction(DialogFunction function) noexcept;

    // True with the chosen file's full path when the user confirms.
    [[nodiscard]] static bool Choose(const std::wstring& initialFolder, const std::wstring& title, std::wstring& chosen);
};

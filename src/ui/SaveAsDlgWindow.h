#pragma once
// CSaveAsDlgWindow: the window of the Save As dialog (resource IDD_SAVEAS). It shows a
// CSaveAsDlg's state, hosts the Save As Type control, and gives the user's answers back to that
// state at OK, through the state's public members only; the controls stay the window's own.
// One object may show any number of dialogs, one at a time, on the thread that calls ShowModal.
#include <windows.h>

#include "framework/Handles.h"
#include "save/FileTypeCombo.h"
#include "save/SaveAsDlg.h"
#include "ui/ModalDialog.h"

struct CGdiObjectTraits
{
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
    static void Close(HGDIOBJ h) { DeleteObject(h); }
};
using CGdiObject = CUniqueHandle<HGDIOBJ, CGdiObjectTraits>;

// The text the comment edit starts with, and gets back at every change of choice.
constexpr wchar_t SAVEAS_DEFAULT_COMMENT[] = L"Varenta Comparison";
// The longest comment and library name read from the dialog.
constexpr int SAVEAS_MAX_TEXT = 260;

class CSaveAsDlgWindow final : public CModalDialog, public ISaveAsDlgWindow
{
public:
    CSaveAsDlgWindow();
    ~CSaveAsDlgWindow() override;

    INT_PTR ShowModal(CSaveAsDlg& dlg, HWND hParent) override;

private:
    BOOL OnInitDialog() override;
    void OnCommand(WORD wID, WORD wNotifyCode, HWND hControl) override;
    void OnOK() override;
    bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) override;

    bool PopulateLibrariesCombo();
    void UpdateControls();
    // A radio button's choice; a choice that keeps the document's format puts the Save As
    // Type control back on it and disables it.
    void OnChoice(int nChoice, bool bFileTypeFree);
    void HostFileTypeCombo();
    void OnHelp();

    // The state shown and the dialog's controls, for the duration of ShowModal.
    CSaveAsDlg* m_pDlg = nullptr;
    HWND m_hCommentEdit = nullptr;
    HWND m_hLibraryCombo = nullptr;
    HWND m_hFileTypeHost = nullptr;
    ICVFileTypeComboPtr m_pFileTypeCombo;  // the hosted Save As Type control; none without it
    CGdiObject m_backgroundBrush;  // solid white: the dialog's and its labels' background
};

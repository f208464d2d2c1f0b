#pragma once
// CModalDialog: the small base of the provider's modal dialogs. The object lives in the
// dialog's DWLP_USER slot while the window exists; derived classes answer the messages they
// need. Runs on the calling thread's message loop (DialogBoxParam).
#include <windows.h>

// The module that holds the dialogs' resources: the module this code is linked into.
HINSTANCE UiResourceModule();

class CModalDialog
{
public:
    CModalDialog() = default;
    virtual ~CModalDialog() = default;
    CModalDialog(const CModalDialog&) = delete;
    CModalDialog& operator=(const CModalDialog&) = delete;

    // Shows the dialog resource nResourceID modally; the value given to EndDialog, or -1 when
    // the dialog could not be created.
    INT_PTR DoModal(int nResourceID, HWND hParent);
    HWND Handle() const { return m_hWnd; }

protected:
    // Return FALSE when focus was set.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND; the default sends IDOK to OnOK and IDCANCEL to OnCancel.
    virtual void OnCommand(WORD wID, WORD wNotifyCode, HWND hControl);
    virtual void OnOK() { EndDialog(m_hWnd, IDOK); }
    virtual void OnCancel() { EndDialog(m_hWnd, IDCANCEL); }
    // Any other message: true with *pResult set when handled.
    virtual bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};

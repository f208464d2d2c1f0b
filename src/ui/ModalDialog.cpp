#include "ui/ModalDialog.h"

HINSTANCE UiResourceModule()
{
    static HINSTANCE s_hModule = [] {
        HMODULE hModule = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&UiResourceModule), &hModule);
        return static_cast<HINSTANCE>(hModule);
    }();
    return s_hModule;
}

INT_PTR CModalDialog::DoModal(int nResourceID, HWND hParent)
{
    INT_PTR nResult = DialogBoxParamW(UiResourceModule(), MAKEINTRESOURCEW(nResourceID), hParent, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return nResult;
}

void CModalDialog::OnCommand(WORD wID, WORD, HWND)
{
    if (wID == IDOK)
        OnOK();
    else if (wID == IDCANCEL)
        OnCancel();
}

bool CModalDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*)
{
    return false;
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CModalDialog* pThis;
    if (uMsg == WM_INITDIALOG)
    {
        pThis = reinterpret_cast<CModalDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pThis->m_hWnd = hWnd;
        return pThis->OnInitDialog();
    }
    pThis = reinterpret_cast<CModalDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!pThis)
        return FALSE;
    if (uMsg == WM_COMMAND)
    {
        pThis->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    }
    INT_PTR nResult = FALSE;
    if (pThis->OnMessage(uMsg, wParam, lParam, &nResult))
        return nResult;
    if (uMsg == WM_NCDESTROY)
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
    return FALSE;
}

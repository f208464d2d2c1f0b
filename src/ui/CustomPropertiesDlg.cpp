#include "ui/CustomPropertiesDlg.h"

#include <commctrl.h>

#include "framework/Handles.h"
#include "ui/UiResources.h"

namespace {

// How far below the tab control's top edge the page sits: below the tab's own header.
constexpr int kPageOffset = 20;

}  // namespace

CStdStr LoadUiString(UINT nID, const wchar_t* pszFallback)
{
    // A length of 0 asks for a read-only pointer into the resource.
    const wchar_t* pText = nullptr;
    const int n = LoadStringW(UiResourceModule(), nID, reinterpret_cast<LPWSTR>(&pText), 0);
    return n > 0 && pText ? CStdStr(pText, static_cast<size_t>(n)) : CStdStr(pszFallback);
}

INT_PTR CCustomPropertiesDlg::DoModal(HWND hParent)
{
    // The tab control's window class comes from the common controls library. Only this dialog
    // needs it, so it is loaded here for the dialog's life rather than with the module: loading
    // it registers every common control's class, a cost no fetch or save should pay.
    const CLibrary commonControls(LoadLibraryW(L"comctl32.dll"));
    const auto pfnInit =
        ExportOf<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(commonControls, "InitCommonControlsEx");
    if (!pfnInit)
        return -1;
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_TAB_CLASSES};
    pfnInit(&init);
    return CModalDialog::DoModal(IDD_CUSTOM_PROPERTIES, hParent);
}

BOOL CCustomPropertiesDlg::OnInitDialog()
{
    m_hTabs = GetDlgItem(m_hWnd, IDC_PROPERTIES_TABS);
    m_hApply = GetDlgItem(m_hWnd, IDC_PROPERTIES_APPLY);
    CStdStr strTitle = LoadUiString(IDS_GENERAL_TAB, L"General");
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = &strTitle[0];
    SendMessageW(m_hTabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ShowPage(0);
    EnableWindow(m_hApply, FALSE);
    return TRUE;
}

void CCustomPropertiesDlg::ShowPage(int)
{
    if (m_generalTab.Handle())
        DestroyWindow(m_generalTab.Handle());
    HWND hPage = m_generalTab.Create(m_hTabs);
    if (!hPage)
        return;
    RECT rcTabs = {};
    GetWindowRect(m_hTabs, &rcTabs);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rcTabs), 2);
    SetWindowPos(hPage, nullptr, rcTabs.left, rcTabs.top + kPageOffset, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    SetFocus(hPage);
}

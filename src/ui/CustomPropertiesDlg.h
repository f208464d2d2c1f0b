#pragma once
// CCustomPropertiesDlg: the provider's properties dialog (resource IDD_CUSTOM_PROPERTIES), a
// tab control with the one "General" page. Shown modally on the calling thread; OK and Cancel
// close it, Apply stays disabled.
#include <windows.h>

#include "ui/GeneralTab.h"
#include "ui/ModalDialog.h"

// A string resource of the dialogs' module, or the fallback when it is missing.
CStdStr LoadUiString(UINT nID, const wchar_t* pszFallback);

class CCustomPropertiesDlg final : public CModalDialog
{
public:
    // The button that closed the dialog (IDOK or IDCANCEL), -1 when it could not be shown.
    INT_PTR DoModal(HWND hParent);

private:
    BOOL OnInitDialog() override;
    // Replaces any page window by the page of tab nTab.
    void ShowPage(int nTab);

    CGeneralTab m_generalTab;
    HWND m_hTabs = nullptr;
    HWND m_hApply = nullptr;
};

#pragma once
// CGeneralTab: the page of the properties dialog's "General" tab (resource IDD_GENERAL_TAB), a
// child dialog of the tab control. It shows the provider's file version, whether the host has
// the provider enabled and where the host found it. Lives on the dialog's thread; the owning
// CCustomPropertiesDlg destroys the window with its own.
#include <windows.h>

#include "framework/StdStr.h"

class CGeneralTab
{
public:
    CGeneralTab() = default;
    CGeneralTab(const CGeneralTab&) = delete;
    CGeneralTab& operator=(const CGeneralTab&) = delete;

    // Creates the page window as a child of hParent; null when it cannot be created.
    HWND Create(HWND hParent);
    HWND Handle() const { return m_hWnd; }

    // "%u.%u.%u.%u" of a module's fixed file version; "" when it has no version resource.
    static CStdStr ModuleFileVersion(HMODULE hModule);

private:
    BOOL OnInitDialog();
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    HWND m_hVersion = nullptr;
    HWND m_hStatus = nullptr;
};

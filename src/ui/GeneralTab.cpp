#include "ui/GeneralTab.h"

#include <vector>

#include "framework/Logging.h"
#include "framework/OptionApi.h"
#include "ui/ModalDialog.h"
#include "ui/UiResources.h"

namespace {

// The host's entries for this provider, written when the provider registers with the host.
const wchar_t kProvidersGroup[] = L"DocumentProviders";
const wchar_t kProviderSection[] = L"Hummingbird DM/PowerDocs";

}  // namespace

HWND CGeneralTab::Create(HWND hParent)
{
    return CreateDialogParamW(UiResourceModule(), MAKEINTRESOURCEW(IDD_GENERAL_TAB), hParent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

CStdStr CGeneralTab::ModuleFileVersion(HMODULE hModule)
{
    wchar_t szPath[MAX_PATH] = {};
    if (!GetModuleFileNameW(hModule, szPath, MAX_PATH))
        return CStdStr();
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeW(szPath, &dwHandle);
    if (dwSize == 0)
        return CStdStr();
    std::vector<BYTE> buffer(dwSize + 1);
    VS_FIXEDFILEINFO* pInfo = nullptr;
    UINT uLength = 0;
    if (!GetFileVersionInfoW(szPath, 0, dwSize, buffer.data()) ||
        !VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&pInfo), &uLength) || !pInfo ||
        uLength < sizeof(VS_FIXEDFILEINFO))
        return CStdStr();
    return CStdStr::Format(L"%u.%u.%u.%u", HIWORD(pInfo->dwFileVersionMS), LOWORD(pInfo->dwFileVersionMS),
                           HIWORD(pInfo->dwFileVersionLS), LOWORD(pInfo->dwFileVersionLS));
}

BOOL CGeneralTab::OnInitDialog()
{
    try
    {
        m_hVersion = GetDlgItem(m_hWnd, IDC_GENERAL_VERSION);
        m_hStatus = GetDlgItem(m_hWnd, IDC_GENERAL_STATUS);
        // Without the host's entries for the provider only the fixed texts show.
        if (Corvane::OptionApi::OptionGroupExists(kProvidersGroup, kProviderSection))
        {
            const bool bEnabled = Corvane::OptionApi::GetBool(kProvidersGroup, kProviderSection, L"Enabled");
            SetWindowTextW(m_hStatus, bEnabled ? L"Enabled" : L"Disabled");
            SetDlgItemTextW(m_hWnd, IDC_GENERAL_LOCATION,
                            Corvane::OptionApi::GetString(kProvidersGroup, kProviderSection, L"Filename").c_str());
            SetWindowTextW(m_hVersion, ModuleFileVersion(UiResourceModule()).c_str());
        }
        return TRUE;
    }
    catch (...)
    {
        LOG_ERROR(L"CGeneralTab::OnInitDialog", L"Caught unknown error");
        return FALSE;
    }
}

INT_PTR CALLBACK CGeneralTab::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_INITDIALOG)
    {
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        CGeneralTab* pThis = reinterpret_cast<CGeneralTab*>(lParam);
        pThis->m_hWnd = hWnd;
        return pThis->OnInitDialog();
    }
    CGeneralTab* pThis = reinterpret_cast<CGeneralTab*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!pThis)
        return FALSE;
    if (uMsg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
    {
        EndDialog(hWnd, LOWORD(wParam));
        return TRUE;
    }
    if (uMsg == WM_NCDESTROY)
    {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pThis->m_hWnd = pThis->m_hVersion = pThis->m_hStatus = nullptr;
    }
    return FALSE;
}

// CPDDocProviderHelper: the custom commands (command 0 shows the properties dialog) and the
// system information read from the DMS client's version resource.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <vector>

#include "local/PowerDocsRegReader.h"
#include "ui/CustomPropertiesDlg.h"
#include "ui/UiResources.h"

namespace {

// The longest version-resource value passed on.
constexpr size_t kMaxResourceText = 250;

}  // namespace

HRESULT CPDDocProviderHelper::InvokeCustomCommand(long lCommand, long lParentWnd)
{
    if (lCommand != 0)
        return S_OK;
    // The dialog reports nothing to the host, whichever way the user closes it.
    CCustomPropertiesDlg dlg;
    dlg.DoModal(reinterpret_cast<HWND>(static_cast<INT_PTR>(lParentWnd)));
    return S_OK;
}

HRESULT CPDDocProviderHelper::GetSystemInfo(CStdStr& strInfo)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    const CStdStr strExe = PowerDocsRegReader().GetExeName();
    strInfo = GetResourceString(strExe, LoadUiString(IDS_VERSION_NAME_KEY, L"ProductName")) + L" " +
              GetResourceString(strExe, LoadUiString(IDS_VERSION_VERSION_KEY, L"ProductVersion"));
    return S_OK;
}

CStdStr CPDDocProviderHelper::GetResourceString(const CStdStr& strFile, const CStdStr& strKey)
{
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeW(strFile.c_str(), &dwHandle);
    if (dwSize == 0)
        return CStdStr();
    std::vector<BYTE> buffer(dwSize + 1);
    if (!GetFileVersionInfoW(strFile.c_str(), 0, dwSize, buffer.data()))
        return CStdStr();

    // One language and code page pair names the string block; without one, the user's
    // language in Unicode (04B0) is assumed.
    CStdStr strSubBlock;
    void* pData = nullptr;
    UINT uLength = 0;
    const WORD* pTranslation = nullptr;
    if (VerQueryValueW(buffer.data(), L"\\VarFileInfo\\Translation", &pData, &uLength) && pData && uLength == 4)
        pTranslation = static_cast<const WORD*>(pData);
    if (pTranslation)
        strSubBlock = CStdStr::Format(L"\\StringFileInfo\\%02X%02X%02X%02X\\%ls", HIBYTE(pTranslation[0]),
                                      LOBYTE(pTranslation[0]), HIBYTE(pTranslation[1]), LOBYTE(pTranslation[1]),
                                      strKey.c_str());
    else
        strSubBlock = CStdStr::Format(L"\\StringFileInfo\\%04X04B0\\%ls", GetUserDefaultLangID(), strKey.c_str());

    if (!VerQueryValueW(buffer.data(), strSubBlock.c_str(), &pData, &uLength) || !pData)
        return CStdStr();
    CStdStr strValue(static_cast<const wchar_t*>(pData));
    if (strValue.size() >= kMaxResourceText)
        strValue.resize(kMaxResourceText);
    return strValue;
}

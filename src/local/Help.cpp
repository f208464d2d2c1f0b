#include "local/Help.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "framework/Handles.h"
#include "framework/OptionApi.h"

namespace {

const UINT kHtmlHelpContext = 0x000F;  // the HTML help engine's "show topic by context id" command

CStdStr ReadInstallType()
{
    wchar_t szValue[MAX_PATH] = {};
    DWORD cbValue = sizeof(szValue);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Install", L"InstallType", RRF_RT_REG_SZ, nullptr,
                     szValue, &cbValue) != ERROR_SUCCESS)
        return CStdStr();
    return CStdStr(szValue);
}

}  // namespace

CStdStr GetHelpFolder()
{
    static const CStdStr s_strProgramLocation = Corvane::OptionApi::GetString(L"ProgramLocation");
    const wchar_t* pszEdition = ReadInstallType() == L"Corvane Lens" ? L"Corvane Lens" : L"Corvane Studio";
    return s_strProgramLocation + pszEdition;
}

bool IsHtmlHelpAvailable()
{
    CLibrary shdocvw(LoadLibraryW(L"shdocvw.dll"));
    if (!shdocvw)
        return false;
    auto pfnGetVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(shdocvw.Get(), "DllGetVersion")));
    if (!pfnGetVersion)
        return false;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (FAILED(pfnGetVersion(&info)))
        return false;
    return info.dwMajorVersion > 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion >= 70);
}

CStdStr CompleteHelpFilePath(const CStdStr& strHelpFile, bool bHtmlHelp)
{
    CStdStr strPath = strHelpFile.empty() ? GetHelpFolder() : strHelpFile;
    const wchar_t* pszExtension = bHtmlHelp ? L".chm" : L".hlp";
    if (strPath.find(pszExtension) == CStdStr::npos)
        strPath += pszExtension;
    return strPath;
}

bool ShowHelp(long lContext, const CStdStr& strHelpFile)
{
    const bool bHtmlHelp = IsHtmlHelpAvailable();
    const CStdStr strPath = CompleteHelpFilePath(strHelpFile, bHtmlHelp);
    if (bHtmlHelp)
    {
        // The help window runs on code of the engine's library: keep it loaded for the process.
        static HMODULE s_hHtmlHelp = LoadLibraryW(L"hhctrl.ocx");
        using HtmlHelpProc = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
        auto pfnHtmlHelp = s_hHtmlHelp ? reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(
                                             GetProcAddress(s_hHtmlHelp, "HtmlHelpW")))
                                       : nullptr;
        if (pfnHtmlHelp)
            pfnHtmlHelp(nullptr, strPath.c_str(), kHtmlHelpContext, static_cast<DWORD_PTR>(lContext));
    }
    else
    {
        WinHelpW(nullptr, strPath.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(lContext));
    }
    return true;
}

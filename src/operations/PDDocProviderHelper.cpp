// Construction and the identity, registration and help operations of CPDDocProviderHelper.
#include "operations/PDDocProviderHelper.h"

#include "dms/DmsConstants.h"

#include "framework/Handles.h"
#include "framework/Logging.h"
#include "framework/OptionApi.h"
#include "framework/ComModule.h"
#include "ui/UiResources.h"
#include "save/SaveAsDlg.h"


namespace {

// Loads an extension library beside this module and calls one of its registration entry
// points. A missing library or entry point is skipped: the outcome never matters here.
void CallExtensionEntryPoint(const wchar_t* pszFileName, const char* pszEntryPoint)
{
    CStdStr strPath = ComModule::ModuleFolder() + L"\\" + pszFileName;
    CLibrary library(LoadLibraryW(strPath.c_str()));
    if (!library)
        return;
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    auto pfn = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library.Get(), pszEntryPoint)));
    if (pfn)
        pfn();
}

}  // namespace

CPDDocProviderHelper::CPDDocProviderHelper()
{
    try
    {
        // The host's options are read where they are used: reading one here would load the
        // host's option library into a process that may never need it.
        m_bInstalled = IsInstalled();
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::CPDDocProviderHelper", L"Caught unknown error");
    }
}

CPDDocProviderHelper::~CPDDocProviderHelper() = default;

// Enters the provider in the host's list of document providers (option group
// "DocumentProviders"), after registering the comparison extension afresh. Writing the same
// values again is harmless, so a repeated registration leaves the same entry.
HRESULT CPDDocProviderHelper::RegisterDefault()
{
    CallExtensionEntryPoint(L"VTPowerDocsExt.dll", "DllUnregisterServer");
    CallExtensionEntryPoint(L"VTPowerDocsExt.dll", "DllRegisterServer");

    const CStdStr strPath = ComModule::ModulePath();
    wchar_t szShort[MAX_PATH] = {};
    const DWORD cchShort = GetShortPathNameW(strPath.c_str(), szShort, MAX_PATH);
    // Without a short form (no 8.3 names on the volume) the long path still names the file.
    const CStdStr strIcon = (cchShort > 0 && cchShort < MAX_PATH ? CStdStr(szShort) : strPath) + L",0";

    const CStdStr strGroup = L"DocumentProviders";
    const CStdStr strSubgroup = L"Hummingbird DM/PowerDocs";
    using namespace Corvane::OptionApi;
    SetString(strGroup, strSubgroup, L"ProgID", L"CmQuendrel.DocProvider");
    SetString(strGroup, strSubgroup, L"ServerID", L"PowerDocs");
    SetString(strGroup, strSubgroup, L"Filename", strPath);
    SetBool(strGroup, strSubgroup, L"Enabled", true);
    SetBool(strGroup, strSubgroup, L"DMS", true);
    SetString(strGroup, strSubgroup, L"OdmaDmsID", L"MHODMA");
    SetString(strGroup, strSubgroup, L"ShellIcon", strIcon);
    return S_OK;
}

HRESULT CPDDocProviderHelper::UnRegisterAll()
{
    try
    {
        CallExtensionEntryPoint(L"CmPowerDocsExt.dll", "DllUnregisterServer");
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::UnRegisterAll", FormatHResult(e.Error()));
        return e.Error();
    }
}

HRESULT CPDDocProviderHelper::GetCVDependencies(long*, CVFileInfoNoCom& info)
{
    info.SetID(L"{5d404391-0460-4397-a433-931a7e94d550}");
    info.SetMajor(2);
    info.SetMinor(1);
    info.SetBuild(3);
    info.SetRevision(461);
    return S_OK;
}

HRESULT CPDDocProviderHelper::GetName(CStdStr& strName)
{
    strName = L"Quendrel";
    return S_OK;
}

HRESULT CPDDocProviderHelper::GetShortDescription(CStdStr& strDescription)
{
    strDescription = ComModule::LoadResourceString(IDS_SHORT_DESCRIPTION, L"Powerdocs integration");
    return S_OK;
}


HRESULT CPDDocProviderHelper::GetCapabilities(CStdStr, long, long* plFlags)
{
    if (!plFlags)
        return E_POINTER;
    long lFlags = 0;
    if (IsDM5Installed())
    {
        lFlags |= CAPABILITY_OFFLINE;
        LOG_INFO(L"CPDDocProviderHelper::GetCapabilities",
                L"GetCapabilities detected DM5 installed and hence supporting offline");
    }
    else
    {
        LOG_INFO(L"CPDDocProviderHelper::GetCapabilities",
                L"GetCapabilities detected powerdocs installed and hence not supporting offline");
    }
    *plFlags = lFlags;
    return S_OK;
}

HRESULT CPDDocProviderHelper::GetHelpSource(CStdStr& strSource)
{
    strSource = m_strHelpSource;
    return S_OK;
}

HRESULT CPDDocProviderHelper::SetHelpSource(CStdStr strSource)
{
    m_strHelpSource = strSource;
    return S_OK;
}

HRESULT CPDDocProviderHelper::GetHelpContext(long& lContext)
{
    lContext = m_lHelpContext;
    return S_OK;
}

HRESULT CPDDocProviderHelper::SetHelpContext(long lContext)
{
    m_lHelpContext = lContext;
    return S_OK;
}

// The administration exports of DmsStandIn.dll (DmsStandInControl.h). No exception leaves them.
#include "DmsStandInControl.h"

#include <cwctype>
#include <sstream>

#include "Catalog.h"
#include "ClientSetup.h"
#include "FaultInjector.h"
#include "StandInModule.h"

using namespace dms_standin;

namespace {

template <class F>
HRESULT Guarded(F f)
{
    try
    {
        return f();
    }
    catch (...)
    {
        return E_FAIL;
    }
}

std::wstring Text(const wchar_t* psz)
{
    return psz ? std::wstring(psz) : std::wstring();
}

std::string Bytes(const void* pContent, DWORD cbContent)
{
    return pContent ? std::string(static_cast<const char*>(pContent), cbContent) : std::string();
}

// The library's stored spelling, or "" when the catalog has no such library.
std::wstring ExactLibrary(const wchar_t* pszLibrary)
{
    std::wstring strExact;
    return CCatalog::FindLibrary(Text(pszLibrary), &strExact) ? strExact : std::wstring();
}

HRESULT AddDocument(const std::wstring& strLibrary, const std::wstring& strName, const std::wstring& strAppID,
                    const std::string& content, LONG* plNumber)
{
    std::wstring strExact;
    if (!CCatalog::FindLibrary(strLibrary, &strExact))
        return DISP_E_BADINDEX;
    std::wstring strExtension;
    if (!CCatalog::ApplicationExtension(strAppID, &strExtension))
        return E_INVALIDARG;
    const std::wstring strUser = CCatalog::CurrentUser();
    const ColumnMap columns = {{L"DOCNAME", strName},  {L"APP_ID", strAppID},     {L"TYPE_ID", L"DEFAULT"},
                               {L"AUTHOR_ID", strUser}, {L"TYPIST_ID", strUser},   {L"CLIENT_ID", L""},
                               {L"MATTER_ID", L""},    {L"FormName", L"DEF_PROF"}};
    const LONG lNumber = CCatalog::CreateProfile(strExact, columns, strExtension, content);
    if (plNumber)
        *plNumber = lNumber;
    return S_OK;
}

HRESULT AddVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                   const std::string& content, const std::wstring& strComment)
{
    if (!CCatalog::ProfileExists(strLibrary, lNumber))
        return DISP_E_BADINDEX;
    VersionRecord record;
    record.strLabel = strLabel.empty() ? CCatalog::NextVersionLabel(strLibrary, lNumber) : strLabel;
    record.strComment = strComment;
    record.strAuthor = record.strTypist = CCatalog::CurrentUser();
    if (iswdigit(record.strLabel[0]))
    {
        VersionRecord first;
        CCatalog::FindVersion(strLibrary, lNumber, CCatalog::CurrentVersionLabel(strLibrary, lNumber), &first);
        record.strExtension = first.strExtension;
    }
    else
        for (wchar_t c : record.strLabel)
            record.strExtension += static_cast<wchar_t>(towlower(c));
    return CCatalog::AddVersion(strLibrary, lNumber, record, content);
}

std::string Content(const char* pszText)
{
    return std::string(pszText);
}

HRESULT SeedDemo()
{
    HRESULT hr = CCatalog::Reset();
    if (FAILED(hr))
        return hr;
    CCatalog::AddUser(L"REVIEWER");
    CCatalog::AddLibrary(L"DEMO");
    CCatalog::AddLibrary(L"ARCHIVE");
    CCatalog::SetCurrentLibrary(L"DEMO");

    LONG lBudget = 0, lNotes = 0, lSales = 0, lContract = 0, lReport = 0;
    AddDocument(L"DEMO", L"Budget plan", L"MS WORD", Content("Budget plan, version 1\r\n"), &lBudget);
    AddVersion(L"DEMO", lBudget, L"2", Content("Budget plan, version 2\r\n"), L"Second draft");
    AddVersion(L"DEMO", lBudget, L"2A", Content("Budget plan, version 2, reviewer's sub-version\r\n"),
               L"Reviewer's notes");
    AddVersion(L"DEMO", lBudget, L"PDF", Content("%PDF-1.4\r\n% Budget plan, printed copy\r\n"), L"Printed copy");
    CCatalog::SetProfileValue(L"DEMO", lBudget, L"CLIENT_ID", L"C100");
    CCatalog::SetProfileValue(L"DEMO", lBudget, L"MATTER_ID", L"M200");

    AddDocument(L"DEMO", L"Meeting notes", L"TEXT", Content("Meeting notes\r\n- agree the budget\r\n"), &lNotes);
    AddDocument(L"DEMO", L"Q3 sales plan", L"SHEET", Content("Region;Target\r\nNorth;100\r\n"), &lSales);
    AddVersion(L"DEMO", lSales, L"2", Content("Region;Target\r\nNorth;120\r\nSouth;80\r\n"), L"Targets raised");
    AddDocument(L"DEMO", L"Signed contract", L"PDFDOC", Content("%PDF-1.4\r\n% Signed contract\r\n"), &lContract);
    CCatalog::SetVersionRights(L"DEMO", lContract, L"1", false, false);

    AddDocument(L"ARCHIVE", L"Old report", L"TEXT", Content("Annual report of a past year\r\n"), &lReport);
    return S_OK;
}

// The path that pathOf gives for an existing version, copied out.
template <class PathOf>
HRESULT VersionFilePath(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel, wchar_t* pszPath,
                        DWORD cchPath, PathOf pathOf)
{
    return Guarded([&] {
        VersionRecord record;
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!pszPath)
            return E_POINTER;
        if (!CCatalog::FindVersion(strLibrary, lDocNumber, Text(pszLabel), &record))
            return DISP_E_BADINDEX;
        const std::wstring strPath = pathOf(strLibrary, lDocNumber, record.strLabel);
        if (strPath.size() >= cchPath)
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        wcscpy(pszPath, strPath.c_str());
        return S_OK;
    });
}


}  // namespace

extern "C" {

HRESULT __cdecl StandIn_Install(const wchar_t* pszVersion)
{
    return Guarded([&] {
        const std::wstring strVersion = pszVersion && *pszVersion ? pszVersion : L"5.3";
        HRESULT hr = CClientSetup::Install(strVersion, ModulePath());
        if (SUCCEEDED(hr))
            hr = RegisterServer();
        HKEY hKey = nullptr;
        if (SUCCEEDED(hr) && RegOpenKeyExW(HKEY_LOCAL_MACHINE, CCatalog::kRootKey, 0, KEY_READ, &hKey) == ERROR_SUCCESS)
            RegCloseKey(hKey);
        else if (SUCCEEDED(hr))
            hr = CCatalog::Reset();
        return hr;
    });
}

HRESULT __cdecl StandIn_Uninstall(void)
{
    return Guarded([] {
        CClientSetup::Uninstall();
        return UnregisterServer();
    });
}

HRESULT __cdecl StandIn_Reset(void)
{
    return Guarded([] { return CCatalog::Reset(); });
}

HRESULT __cdecl StandIn_SeedDemo(void)
{
    return Guarded([] { return SeedDemo(); });
}

BSTR __cdecl StandIn_ListCatalog(void)
{
    try
    {
        return SysAllocString(CCatalog::Listing().c_str());
    }
    catch (...)
    {
        return nullptr;
    }
}

HRESULT __cdecl StandIn_AddLibrary(const wchar_t* pszLibrary)
{
    return Guarded([&] { return CCatalog::AddLibrary(Text(pszLibrary)); });
}

HRESULT __cdecl StandIn_AddApplication(const wchar_t* pszAppID, const wchar_t* pszExtension)
{
    return Guarded([&] {
        if (Text(pszAppID).empty())
            return E_INVALIDARG;
        CCatalog::AddApplication(Text(pszAppID), Text(pszExtension));
        return S_OK;
    });
}

HRESULT __cdecl StandIn_AddForm(const wchar_t* pszLibrary, const wchar_t* pszForm, LONG lType)
{
    return Guarded([&] {
        if (Text(pszLibrary).empty() || Text(pszForm).empty())
            return E_INVALIDARG;
        CCatalog::AddForm(Text(pszLibrary), Text(pszForm), lType);
        return S_OK;
    });
}

HRESULT __cdecl StandIn_AddUser(const wchar_t* pszUser)
{
    return Guarded([&] {
        if (Text(pszUser).empty())
            return E_INVALIDARG;
        CCatalog::AddUser(Text(pszUser));
        return S_OK;
    });
}

HRESULT __cdecl StandIn_AddDocument(const wchar_t* pszLibrary, const wchar_t* pszName, const wchar_t* pszAppID,
                                    const void* pContent, DWORD cbContent, LONG* plDocNumber)
{
    return Guarded([&] {
        return AddDocument(Text(pszLibrary), Text(pszName), Text(pszAppID), Bytes(pContent, cbContent), plDocNumber);
    });
}

HRESULT __cdecl StandIn_AddVersion(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                   const void* pContent, DWORD cbContent, const wchar_t* pszComment)
{
    return Guarded([&] {
        return AddVersion(ExactLibrary(pszLibrary), lDocNumber, Text(pszLabel), Bytes(pContent, cbContent),
                          Text(pszComment));
    });
}

HRESULT __cdecl StandIn_SetProfileValue(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszName,
                                        const wchar_t* pszValue)
{
    return Guarded([&] {
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::ProfileExists(strLibrary, lDocNumber))
            return DISP_E_BADINDEX;
        if (Text(pszName).empty())
            return E_INVALIDARG;
        CCatalog::SetProfileValue(strLibrary, lDocNumber, Text(pszName), Text(pszValue));
        return S_OK;
    });
}

HRESULT __cdecl StandIn_SetVersionRights(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                         BOOL bCanNewVersion, BOOL bCanNewSubversion)
{
    return Guarded([&] {
        VersionRecord record;
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::FindVersion(strLibrary, lDocNumber, Text(pszLabel), &record))
            return DISP_E_BADINDEX;
        CCatalog::SetVersionRights(strLibrary, lDocNumber, record.strLabel, bCanNewVersion != FALSE,
                                   bCanNewSubversion != FALSE);
        return S_OK;
    });
}

HRESULT __cdecl StandIn_SetLock(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszUser)
{
    return Guarded([&] {
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::ProfileExists(strLibrary, lDocNumber))
            return DISP_E_BADINDEX;
        CCatalog::Unlock(strLibrary, lDocNumber, std::wstring());
        if (!Text(pszUser).empty())
            CCatalog::TryLock(strLibrary, lDocNumber, Text(pszUser), nullptr);
        return S_OK;
    });
}

HRESULT __cdecl StandIn_ServerFilePath(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                       wchar_t* pszPath, DWORD cchPath)
{
    return VersionFilePath(pszLibrary, lDocNumber, pszLabel, pszPath, cchPath, &CCatalog::ServerFile);
}

HRESULT __cdecl StandIn_CacheFilePath(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                      wchar_t* pszPath, DWORD cchPath)
{
    return VersionFilePath(pszLibrary, lDocNumber, pszLabel, pszPath, cchPath, &CCatalog::CacheFile);
}

HRESULT __cdecl StandIn_SetDefaultUser(const wchar_t* pszUser)
{
    return Guarded([&] {
        if (Text(pszUser).empty())
            return E_INVALIDARG;
        CCatalog::SetDefaultUser(Text(pszUser));
        return S_OK;
    });
}

HRESULT __cdecl StandIn_SetProcessUser(const wchar_t* pszUser)
{
    const wchar_t* pszValue = pszUser && *pszUser ? pszUser : nullptr;
    return SetEnvironmentVariableW(L"DMS_STANDIN_USER", pszValue) || !pszValue ? S_OK
                                                                                : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT __cdecl StandIn_SetConnectionState(LONG lState)
{
    return Guarded([&] {
        CCatalog::SetConnectionState(lState);
        return S_OK;
    });
}

HRESULT __cdecl StandIn_SetCallLatency(LONG lMicroseconds)
{
    if (lMicroseconds < 0)
        return E_INVALIDARG;
    return Guarded([&] {
        CCatalog::SetCallLatency(lMicroseconds);
        call_latency::Set(lMicroseconds);
        return S_OK;
    });
}

LONG __cdecl StandIn_CallLatency(void)
{
    return call_latency::Microseconds();
}

HRESULT __cdecl StandIn_ScriptForms(const wchar_t* pszLines)
{
    return Guarded([&] {
        std::vector<std::wstring> lines;
        std::wistringstream in(Text(pszLines));
        std::wstring strLine;
        while (std::getline(in, strLine))
        {
            while (!strLine.empty() && iswspace(strLine.back()))
                strLine.pop_back();
            if (!strLine.empty())
                lines.push_back(strLine);
        }
        CCatalog::SetFormScript(lines);
        return S_OK;
    });
}

LONG __cdecl StandIn_PendingFormAnswers(void)
{
    try
    {
        return CCatalog::PendingFormAnswers();
    }
    catch (...)
    {
        return 0;
    }
}

HRESULT __cdecl StandIn_InjectFault(const wchar_t* pszMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall,
                                    BOOL bAlways)
{
    return Guarded([&] {
        if (Text(pszMethod).empty() || (SUCCEEDED(hrFailure) && lErrorNumber == 0))
            return E_INVALIDARG;
        CFaultInjector::Instance().Inject(Text(pszMethod), hrFailure, lErrorNumber, lAtCall, bAlways != FALSE);
        return S_OK;
    });
}

HRESULT __cdecl StandIn_InjectFaultForm(const wchar_t* pszMethod, LONG lForm, LONG lAtCall, BOOL bAlways)
{
    return Guarded([&] {
        if (lForm < STANDIN_FAULT_NONE || lForm > STANDIN_FAULT_END_PROCESS ||
            (Text(pszMethod).empty() && lForm != STANDIN_FAULT_END_PROCESS))
            return E_INVALIDARG;
        CFaultInjector::Instance().InjectForm(Text(pszMethod), static_cast<FaultForm>(lForm), lAtCall,
                                              bAlways != FALSE);
        return S_OK;
    });
}

BSTR __cdecl StandIn_FaultPoints(void)
{
    try
    {
        return SysAllocString(CFaultInjector::Instance().FaultPoints().c_str());
    }
    catch (...)
    {
        return nullptr;
    }
}

void __cdecl StandIn_ClearFaults(void)
{
    try
    {
        CFaultInjector::Instance().Clear();
    }
    catch (...)
    {
    }
    process_state::Clear();
}

LONG __cdecl StandIn_CallCount(const wchar_t* pszMethod)
{
    try
    {
        return CFaultInjector::Instance().CallCount(Text(pszMethod));
    }
    catch (...)
    {
        return 0;
    }
}

LONG __cdecl StandIn_TotalCalls(void)
{
    try
    {
        return CFaultInjector::Instance().TotalCalls();
    }
    catch (...)
    {
        return 0;
    }
}

double __cdecl StandIn_DmsSeconds(void)
{
    try
    {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(CFaultInjector::Instance().TotalTicks()) / static_cast<double>(frequency.QuadPart);
    }
    catch (...)
    {
        return 0.0;
    }
}

BSTR __cdecl StandIn_CallStatistics(void)
{
    try
    {
        return SysAllocString(CFaultInjector::Instance().Statistics().c_str());
    }
    catch (...)
    {
        return nullptr;
    }
}

LONG __cdecl StandIn_LiveObjects(void)
{
    return process_state::LiveObjects();
}

LONG __cdecl StandIn_LastParentWindow(void)
{
    return process_state::ParentWindow();
}

BOOL __cdecl StandIn_IsSelectedForEdit(const wchar_t* pszLibrary, LONG lDocNumber)
{
    try
    {
        return process_state::IsSelectedForEdit(Text(pszLibrary), lDocNumber) ? TRUE : FALSE;
    }
    catch (...)
    {
        return FALSE;
    }
}

BSTR __cdecl StandIn_FormRecord(void)
{
    try
    {
        return SysAllocString(process_state::FormRecord().c_str());
    }
    catch (...)
    {
        return nullptr;
    }
}

HRESULT __cdecl StandIn_SetLibraryRight(const wchar_t* pszLibrary, const wchar_t* pszRight, BOOL bGranted)
{
    return Guarded([&] {
        std::wstring strLibrary;
        if (!CCatalog::FindLibrary(Text(pszLibrary), &strLibrary) || Text(pszRight).empty())
            return E_INVALIDARG;
        CCatalog::SetLibraryRight(strLibrary, Text(pszRight), bGranted != FALSE);
        return S_OK;
    });
}

BSTR __cdecl StandIn_ListHistory(const wchar_t* pszLibrary, LONG lDocNumber)
{
    try
    {
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::ProfileExists(strLibrary, lDocNumber))
            return nullptr;
        std::wstring strLines;
        for (const HistoryRecord& h : CCatalog::History(strLibrary, lDocNumber))
            strLines += h.strDescription + L"\t" + h.strText + L"\t" + std::to_wstring(h.lNumber1) + L"\t" +
                        std::to_wstring(h.lNumber2) + L"\t" + h.strUser + L"\n";
        return SysAllocString(strLines.c_str());
    }
    catch (...)
    {
        return nullptr;
    }
}

HRESULT __cdecl StandIn_SetVersionLabel(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                        const wchar_t* pszShown)
{
    return Guarded([&] {
        VersionRecord record;
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::FindVersion(strLibrary, lDocNumber, Text(pszLabel), &record))
            return DISP_E_BADINDEX;
        CCatalog::SetVersionValue(strLibrary, lDocNumber, record.strLabel, L"ShownLabel", L"=" + Text(pszShown));
        return S_OK;
    });
}

HRESULT __cdecl StandIn_RepeatVersion(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel)
{
    return Guarded([&] {
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::ProfileExists(strLibrary, lDocNumber))
            return DISP_E_BADINDEX;
        if (!Text(pszLabel).empty() && !CCatalog::FindVersion(strLibrary, lDocNumber, Text(pszLabel), nullptr))
            return DISP_E_BADINDEX;
        CCatalog::SetRepeatedVersion(strLibrary, lDocNumber, Text(pszLabel));
        return S_OK;
    });
}

HRESULT __cdecl StandIn_SetVersionExtension(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                            const wchar_t* pszExtension)
{
    return Guarded([&] {
        VersionRecord record;
        const std::wstring strLibrary = ExactLibrary(pszLibrary);
        if (!CCatalog::FindVersion(strLibrary, lDocNumber, Text(pszLabel), &record))
            return DISP_E_BADINDEX;
        return CCatalog::SetVersionExtension(strLibrary, lDocNumber, record.strLabel, Text(pszExtension));
    });
}

}  // extern "C"

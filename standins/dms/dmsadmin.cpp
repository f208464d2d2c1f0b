// dmsadmin: command-line administration of the DMS client stand-in (DmsStandIn.dll beside it).
//
//   dmsadmin install [5.3|6.0]    install the client as DM 5 (default) or DM 6: registry values,
//                                 FsPlugin.dll, folders under C:\DmsStandIn, COM registration;
//                                 run again with the other version to switch the cache form
//   dmsadmin uninstall            remove the client's values, FsPlugin.dll, COM registration
//   dmsadmin reset                empty the catalog and the content folders
//   dmsadmin seed                 replace the catalog with the demo data set
//   dmsadmin list                 libraries, documents, versions and locks
//   dmsadmin user <name>          the catalog's default user (DMS_STANDIN_USER overrides it
//                                 for one process)
//   dmsadmin online | offline     connection state 0 | 1
//   dmsadmin latency <us>         every DMS call takes that many microseconds more (a round
//                                 trip to a server); DMS_STANDIN_LATENCY_US overrides it for
//                                 one process
//   dmsadmin script <line>...     form answers, one argument per line, for example
//                                 dmsadmin script "select PowerDocs://DEMO/1001" "version 2"
//   dmsadmin add <library> <name> <app id> <file>   a new document with the file as version 1
//   dmsadmin checkout <library> <number>   lock the document as this process's user
//   dmsadmin checkin <library> <number>    unlock it again
//   dmsadmin lockstate <library> <number>  print the lock state and owner as the DMS reports
//                                 them; the exit code is the "%CheckLocked" value (0 not
//                                 locked, 1 by another user, 2 by this user)
//   dmsadmin history <library> <number>    the document's history, one event a line
//   dmsadmin right <library> <right> 0|1   withhold or grant a library right
//
// The last three go through the DMS's COM objects, as a client program would. Exit codes: 0
// done, 64 wrong arguments, 65 the operation failed.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include <dms/DmsTypes.h>

#include "DmsStandInControl.h"
#include "framework/Handles.h"

namespace {

const int kUsage = 64;
const int kFailed = 65;

int Report(HRESULT hr, const wchar_t* pszWhat)
{
    if (SUCCEEDED(hr))
        return 0;
    fwprintf(stderr, L"dmsadmin: %ls failed (hr = 0x%08lx)\n", pszWhat, static_cast<unsigned long>(hr));
    return kFailed;
}

int Usage()
{
    fwprintf(stderr,
             L"usage: dmsadmin install [5.3|6.0] | uninstall | reset | seed | list | user <name> | online | offline\n"
             L"       | latency <us> | script <line>... | add <library> <name> <app id> <file>\n"
             L"       | checkout|checkin|lockstate <library> <number>\n");
    return kUsage;
}

int AddDocument(const wchar_t* pszLibrary, const wchar_t* pszName, const wchar_t* pszAppID, const wchar_t* pszFile)
{
    CFileHandle file(CreateFileW(pszFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return Report(HRESULT_FROM_WIN32(GetLastError()), L"reading the file");
    std::vector<char> content(GetFileSize(file.Get(), nullptr));
    DWORD cbRead = 0;
    const DWORD cbSize = static_cast<DWORD>(content.size());
    BOOL bRead = content.empty() || ReadFile(file.Get(), content.data(), cbSize, &cbRead, nullptr);
    file.Reset();
    if (!bRead)
        return Report(HRESULT_FROM_WIN32(GetLastError()), L"reading the file");
    LONG lNumber = 0;
    int rc = Report(StandIn_AddDocument(pszLibrary, pszName, pszAppID, content.data(), cbRead, &lNumber), L"add");
    if (rc == 0)
        wprintf(L"PowerDocs://%ls/%ld/1\n", pszLibrary, static_cast<long>(lNumber));
    return rc;
}

// Lock commands, through the COM objects as the current user of this process.
int LockCommand(const std::wstring& strCommand, const wchar_t* pszLibrary, LONG lNumber)
{
    try
    {
        IApplicationPtr spApp;
        DmsCheck(spApp.CreateInstance(CLSID_Application, nullptr, CLSCTX_ALL));
        ILibrariesPtr spLibraries;
        DmsCheck(spApp->get_Libraries(&spLibraries));
        ILibraryPtr spLibrary;
        DmsCheck(spLibraries->get_Item(_variant_t(pszLibrary), &spLibrary));
        IProfilePtr spProfile;
        DmsCheck(spLibrary->GetProfile(_variant_t(lNumber), &spProfile));
        IVersionPtr spVersion;
        DmsCheck(spProfile->get_CurrentVersion(&spVersion));
        short nStatus = 0;
        if (strCommand == L"checkout")
        {
            DmsCheck(spProfile->SelectForEdit(0x23, &nStatus));
            if (nStatus)
                DmsCheck(spVersion->LockVersionForEdit(3, &nStatus));
            return nStatus ? 0 : kFailed;
        }
        if (strCommand == L"checkin")
        {
            DmsCheck(spVersion->UnlockVersion(3, &nStatus));
            DmsCheck(spProfile->ReleaseDoc());
            return nStatus ? 0 : kFailed;
        }
        IColumnsPtr spColumns;
        DmsCheck(spProfile->get_Columns(&spColumns));
        IColumnPtr spState, spInfo;
        DmsCheck(spColumns->get_Item(_variant_t(L"%CheckLocked"), &spState));
        DmsCheck(spColumns->get_Item(_variant_t(L"%GetProfileLockInfo"), &spInfo));
        _variant_t vState, vInfo;
        DmsCheck(spState->get_Value(&vState));
        DmsCheck(spInfo->get_Value(&vInfo));
        std::wstring strOwner;
        if (V_VT(&vInfo) == (VT_ARRAY | VT_BSTR))
        {
            CScopedBstr bstrOwner;
            LONG lIndex = 4;
            if (SUCCEEDED(SafeArrayGetElement(V_ARRAY(&vInfo), &lIndex, bstrOwner.Receive())) && bstrOwner)
                strOwner = bstrOwner.Get();
        }
        const LONG lState = static_cast<LONG>(vState);
        wprintf(L"%ld %ls\n", static_cast<long>(lState), strOwner.c_str());
        return static_cast<int>(lState);
    }
    catch (const _com_error& e)
    {
        return Report(e.Error(), strCommand.c_str());
    }
}

int Run(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    const std::wstring strCommand = argv[1];
    if (strCommand == L"install" && argc <= 3)
        return Report(StandIn_Install(argc == 3 ? argv[2] : L"5.3"), L"install");
    if (strCommand == L"uninstall" && argc == 2)
        return Report(StandIn_Uninstall(), L"uninstall");
    if (strCommand == L"reset" && argc == 2)
        return Report(StandIn_Reset(), L"reset");
    if (strCommand == L"seed" && argc == 2)
        return Report(StandIn_SeedDemo(), L"seed");
    if (strCommand == L"list" && argc == 2)
    {
        CScopedBstr bstrList(StandIn_ListCatalog());
        if (!bstrList)
            return Report(E_FAIL, L"list");
        wprintf(L"%ls", bstrList.Get());
        return 0;
    }
    if (strCommand == L"user" && argc == 3)
        return Report(StandIn_SetDefaultUser(argv[2]), L"user");
    if ((strCommand == L"online" || strCommand == L"offline") && argc == 2)
        return Report(StandIn_SetConnectionState(strCommand == L"online" ? 0 : 1), strCommand.c_str());
    if (strCommand == L"latency" && argc == 3)
    {
        wchar_t* pszEnd = nullptr;
        const long lMicroseconds = wcstol(argv[2], &pszEnd, 10);
        if (*pszEnd || lMicroseconds < 0)
            return Usage();
        return Report(StandIn_SetCallLatency(lMicroseconds), L"latency");
    }
    if (strCommand == L"script" && argc >= 3)
    {
        std::wstring strLines;
        for (int i = 2; i < argc; ++i)
            strLines += std::wstring(argv[i]) + L"\n";
        return Report(StandIn_ScriptForms(strLines.c_str()), L"script");
    }
    if (strCommand == L"add" && argc == 6)
        return AddDocument(argv[2], argv[3], argv[4], argv[5]);
    if ((strCommand == L"checkout" || strCommand == L"checkin" || strCommand == L"lockstate") && argc == 4)
    {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            return Report(E_FAIL, L"COM start-up");
        int rc = LockCommand(strCommand, argv[2], wcstol(argv[3], nullptr, 10));
        CoUninitialize();
        return rc;
    }
    if (strCommand == L"history" && argc == 4)
    {
        CScopedBstr bstrHistory(StandIn_ListHistory(argv[2], wcstol(argv[3], nullptr, 10)));
        if (!bstrHistory)
            return Report(DISP_E_BADINDEX, L"history");
        wprintf(L"%ls", bstrHistory.Get());
        return 0;
    }
    if (strCommand == L"right" && argc == 5)
        return Report(StandIn_SetLibraryRight(argv[2], argv[3], wcstol(argv[4], nullptr, 10) != 0), L"right");
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    return Run(argc, argv);
}

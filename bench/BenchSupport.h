#pragma once
// Shared by the benchmark programs: the clock, minimum and median, the time a module spends in
// CopyFileW (by redirecting that import of the module), the DMS stand-in's accounting read
// through its exports, and the by-hand fetch that the provider's fetch is compared with.
#include <windows.h>
#include <comdef.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DmsTypes.h"

namespace bench {

inline double Now()
{
    static const double s_dTicksPerSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / s_dTicksPerSecond;
}

struct Stats
{
    double min = 0;
    double median = 0;
};

inline Stats Summarise(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2]};
}

// ---- time spent in CopyFileW by one module ----

namespace detail {
inline double& CopySeconds()
{
    static double s_dSeconds = 0;
    return s_dSeconds;
}
inline BOOL(WINAPI*& RealCopyFileW())(LPCWSTR, LPCWSTR, BOOL)
{
    static BOOL(WINAPI * s_pfn)(LPCWSTR, LPCWSTR, BOOL) = nullptr;
    return s_pfn;
}
inline BOOL WINAPI TimedCopyFileW(LPCWSTR pszFrom, LPCWSTR pszTo, BOOL bFailIfExists)
{
    const double t0 = Now();
    const BOOL bCopied = RealCopyFileW()(pszFrom, pszTo, bFailIfExists);
    CopySeconds() += Now() - t0;
    return bCopied;
}
}  // namespace detail

// Points the module's import of CopyFileW at a wrapper that adds up the time of each copy,
// so that the module's own copies can be told apart from the rest of its time. False when
// the module does not import CopyFileW. Calling it again for the same module changes nothing.
inline bool TimeCopiesOf(HMODULE hModule)
{
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return false;
    for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress); pImport->Name;
         ++pImport)
    {
        if (!pImport->OriginalFirstThunk)
            continue;
        auto* pName = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->OriginalFirstThunk);
        auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pName->u1.AddressOfData; ++pName, ++pSlot)
        {
            if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal))
                continue;
            auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(pByName->Name), "CopyFileW") != 0)
                continue;
            DWORD dwOld = 0;
            if (!VirtualProtect(&pSlot->u1.Function, sizeof(pSlot->u1.Function), PAGE_READWRITE, &dwOld))
                return false;
            if (!detail::RealCopyFileW())
                detail::RealCopyFileW() = reinterpret_cast<BOOL(WINAPI*)(LPCWSTR, LPCWSTR, BOOL)>(pSlot->u1.Function);
            pSlot->u1.Function = reinterpret_cast<ULONG_PTR>(&detail::TimedCopyFileW);
            VirtualProtect(&pSlot->u1.Function, sizeof(pSlot->u1.Function), dwOld, &dwOld);
            return true;
        }
    }
    return false;
}

// Seconds the redirected module has spent in CopyFileW so far.
inline double CopySeconds()
{
    return detail::CopySeconds();
}

// ---- the DMS stand-in's accounting ----

// Calls of one method and the seconds spent inside it.
struct MethodUse
{
    long calls = 0;
    double seconds = 0;
};
using CallUse = std::map<std::wstring, MethodUse>;

// Parses the stand-in's call statistics ("method\tcalls\tseconds" lines).
inline CallUse ParseCallStatistics(const wchar_t* pszText)
{
    CallUse use;
    std::wistringstream in(pszText ? pszText : L"");
    std::wstring strLine;
    while (std::getline(in, strLine))
    {
        const size_t tab = strLine.find(L'\t');
        if (tab == std::wstring::npos)
            continue;
        wchar_t* pszEnd = nullptr;
        MethodUse& method = use[strLine.substr(0, tab)];
        method.calls = wcstol(strLine.c_str() + tab + 1, &pszEnd, 10);
        method.seconds = wcstod(pszEnd, nullptr);
    }
    return use;
}

// The stand-in's exports, found in the loaded module, so that a program can read them without
// loading the stand-in itself before the code it measures does.
struct StandInAccounting
{
    void(__cdecl* pfnClear)(void) = nullptr;
    double(__cdecl* pfnDmsSeconds)(void) = nullptr;
    BSTR(__cdecl* pfnCallStatistics)(void) = nullptr;

    bool Find()
    {
        HMODULE hStandIn = GetModuleHandleW(L"DmsStandIn.dll");
        if (!hStandIn)
            return false;
        pfnClear = Export<decltype(pfnClear)>(hStandIn, "StandIn_ClearFaults");
        pfnDmsSeconds = Export<decltype(pfnDmsSeconds)>(hStandIn, "StandIn_DmsSeconds");
        pfnCallStatistics = Export<decltype(pfnCallStatistics)>(hStandIn, "StandIn_CallStatistics");
        return pfnClear && pfnDmsSeconds && pfnCallStatistics;
    }
    template <class F>
    static F Export(HMODULE hModule, const char* pszName)
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(hModule, pszName)));
    }
    CallUse Calls() const
    {
        BSTR bstr = pfnCallStatistics();
        CallUse use = ParseCallStatistics(bstr);
        SysFreeString(bstr);
        return use;
    }
};

// ---- DMS calls by method, the provider's against its algorithm's ----

inline long TotalCalls(const CallUse& use)
{
    long n = 0;
    for (const auto& method : use)
        n += method.second.calls;
    return n;
}

// Lists an operation's DMS calls by method: the algorithm's (made by hand in the same run) and
// the provider's, marking each method the provider calls more often (+) or less often (-).
// Answers the provider's calls beyond the algorithm's.
inline long PrintCallTable(const wchar_t* pszOperation, const CallUse& algorithm, const CallUse& provider)
{
    std::map<std::wstring, std::pair<long, long>> rows;
    for (const auto& m : algorithm)
        rows[m.first].first = m.second.calls;
    for (const auto& m : provider)
        rows[m.first].second = m.second.calls;
    wprintf(L"\n  DMS calls of %ls by method: the algorithm's (by hand) and the provider's\n", pszOperation);
    long lBeyond = 0;
    for (const auto& row : rows)
    {
        const long a = row.second.first, p = row.second.second;
        lBeyond += std::max(0L, p - a);
        wprintf(L"  %lc %-38ls %6ld %6ld\n", p > a ? L'+' : (p < a ? L'-' : L' '), row.first.c_str(), a, p);
    }
    wprintf(L"    %-38ls %6ld %6ld  (%ld beyond the algorithm)\n", L"total", TotalCalls(algorithm),
            TotalCalls(provider), lBeyond);
    return lBeyond;
}

// The runs of a measurement at the latency in effect: fewer where every call costs a round trip.
inline int RepeatsAt(int repeats, long lLatencyMicroseconds)
{
    return lLatencyMicroseconds > 0 ? std::max(5, repeats / 2) : repeats;
}

// ---- the algorithms done by hand ----

// The DMS error number a call left on its object read as the provider's checks read it, so that
// the by-hand figures pay for the same calls; a recorded error fails the run.
inline void CheckNumberByHand(IUnknown* pObject)
{
    IDMErrorPtr pError(pObject);
    long lNumber = 0;
    DmsCheck(pError->get_ErrorNumber(&lNumber));
    if (lNumber != 0)
        DmsCheck(E_FAIL);
}

// A text property read and checked for an error number.
template <class Ptr, class Interface>
_bstr_t TextByHand(const Ptr& pObject, HRESULT (STDMETHODCALLTYPE Interface::*get)(BSTR*))
{
    _bstr_t bstr;
    DmsCheck((pObject->*get)(bstr.GetAddress()));
    CheckNumberByHand(pObject);
    return bstr;
}

inline _variant_t ColumnByHand(IColumnsPtr pColumns, const wchar_t* pszName)
{
    IColumnPtr pColumn;
    DmsCheck(pColumns->get_Item(_variant_t(pszName), &pColumn));
    _variant_t v;
    DmsCheck(pColumn->get_Value(&v));
    return v;
}

// A document's version as the provider's lookup finds it from a document ID: the application's
// libraries (checked for an error number), the library by name, the profile by number, the
// version by label. The profile found on the way is handed out too.
inline IVersionPtr LookUpByHand(IApplicationPtr pApp, const wchar_t* pszLibrary, LONG lNumber, const wchar_t* pszLabel,
                                IProfilePtr* ppProfile = nullptr)
{
    ILibrariesPtr pLibraries;
    DmsCheck(pApp->get_Libraries(&pLibraries));
    CheckNumberByHand(pApp);
    ILibraryPtr pLibrary;
    DmsCheck(pLibraries->get_Item(_variant_t(pszLibrary), &pLibrary));
    IProfilePtr pProfile;
    DmsCheck(pLibrary->GetProfile(_variant_t(lNumber, VT_I4), &pProfile));
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    IVersionPtr pVersion;
    DmsCheck(pVersions->get_Item(_variant_t(pszLabel), &pVersion));
    if (ppProfile)
        *ppProfile = pProfile;
    return pVersion;
}

// The DM 5 save's writing steps once the content is in the version's place in the local store:
// the version locked, the parent window cleared, the upload, the typist set to the session's
// user, the version unlocked; each status and error number checked.
inline void UploadByHand(IApplicationPtr pApp, IProfilePtr pProfile, IVersionPtr pVersion)
{
    short nStatus = 0;
    DmsCheck(pVersion->LockVersionForEdit(0, &nStatus));
    CheckNumberByHand(pVersion);
    ILibraryPtr pLibrary;
    DmsCheck(pProfile->get_Library(&pLibrary));
    IApplicationPtr pOwner;
    DmsCheck(pLibrary->get_Application(&pOwner));
    DmsCheck(pOwner->put_ParentWindow(0));
    DmsCheck(pVersion->UploadFile(0));
    CheckNumberByHand(pVersion);
    ILibraryPtr pCurrent;
    DmsCheck(pApp->get_CurrentLibrary(&pCurrent));
    DmsCheck(pVersion->put_Typist(TextByHand(pCurrent, &ILibrary::get_UserID)));
    CheckNumberByHand(pVersion);
    DmsCheck(pVersion->UnlockVersion(0, &nStatus));
    CheckNumberByHand(pVersion);
}

inline IApplicationPtr ApplicationByHand()
{
    IApplicationPtr pApp;
    DmsCheck(pApp.CreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER));
    return pApp;
}

// What filling a document record from a version reads once the profile and its columns are at
// hand: the name, the label, four more columns, the number, the library's name, the date.
inline void RecordByHand(IVersionPtr pVersion, IProfilePtr pProfile, IColumnsPtr pColumns)
{
    ColumnByHand(pColumns, L"DOCNAME");
    TextByHand(pVersion, &IVersion::get_Label);
    for (const wchar_t* pszColumn : {L"APP_ID", L"TYPE_ID", L"AUTHOR_ID", L"TYPIST_ID"})
        ColumnByHand(pColumns, pszColumn);
    long lNumber = 0;
    DmsCheck(pProfile->get_DocNumber(&lNumber));
    CheckNumberByHand(pProfile);
    ILibraryPtr pLibrary;
    DmsCheck(pProfile->get_Library(&pLibrary));
    TextByHand(pLibrary, &ILibrary::get_Name);
    DATE dt = 0;
    DmsCheck(pVersion->get_Date(&dt));
}

// The lock state column of a profile and the check-out of a version: the profile taken for
// editing, the version locked, each status checked.
inline void CheckOutByHand(IVersionPtr pVersion, IProfilePtr pProfile, IColumnsPtr pColumns)
{
    ColumnByHand(pColumns, L"%CheckLocked");
    short nStatus = 0;
    DmsCheck(pProfile->SelectForEdit(0x23, &nStatus));
    CheckNumberByHand(pProfile);
    DmsCheck(pVersion->LockVersionForEdit(3, &nStatus));
    CheckNumberByHand(pVersion);
}

// GetDocument's algorithm by hand, in its order: one application object for the offline check
// and the lookup, the version's profile and working folder, the file name, the fetch and its
// error number, the cached file copied, the check-out when asked, the record filled. Answers
// the wall time and the copy's share.
inline double GetDocumentByHand(const wchar_t* pszLibrary, LONG lNumber, const std::wstring& target, bool bLock,
                                double* pCopy, bool bKeepCopy = false)
{
    const double t0 = Now();
    IApplicationPtr pApp = ApplicationByHand();
    long lState = 0;
    DmsCheck(IApplicationStatePtr(pApp)->get_ConnectionState(&lState));
    IVersionPtr pVersion = LookUpByHand(pApp, pszLibrary, lNumber, L"1");
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    _bstr_t bstrWorkingFolder;
    DmsCheck(pProfile->get_WorkingFolder(bstrWorkingFolder.GetAddress()));
    TextByHand(pVersion, &IVersion::get_FilePath);
    DmsCheck(pVersion->Fetch(0));
    CheckNumberByHand(pVersion);
    const _bstr_t bstrCached = TextByHand(pVersion, &IVersion::get_FilePath);
    const double tCopy = Now();
    if (!CopyFileW(bstrCached, target.c_str(), FALSE))
        DmsCheck(HRESULT_FROM_WIN32(GetLastError()));
    *pCopy = Now() - tCopy;
    IColumnsPtr pColumns;
    DmsCheck(pProfile->get_Columns(&pColumns));
    if (bLock)
        CheckOutByHand(pVersion, pProfile, pColumns);
    RecordByHand(pVersion, pProfile, pColumns);
    const double wall = Now() - t0;
    if (!bKeepCopy)
        DeleteFileW(target.c_str());
    return wall;
}

// ---- the fetch done by hand ----

// What one by-hand fetch cost: wall time, of which the copy of the cached file.
struct HandFetch
{
    double wall = 0;
    double copy = 0;
};

// A document's profile as a client opens it by hand: a new application object, the library by
// name, the profile by number (the calls every by-hand figure counts).
inline IProfilePtr OpenProfileByHand(const wchar_t* pszLibrary, LONG lNumber)
{
    IApplicationPtr pApp;
    DmsCheck(pApp.CreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER));
    ILibrariesPtr pLibraries;
    DmsCheck(pApp->get_Libraries(&pLibraries));
    ILibraryPtr pLibrary;
    DmsCheck(pLibraries->get_Item(_variant_t(pszLibrary), &pLibrary));
    IProfilePtr pProfile;
    DmsCheck(pLibrary->GetProfile(_variant_t(lNumber, VT_I4), &pProfile));
    return pProfile;
}

// One version of a profile, by label.
inline IVersionPtr VersionByHand(IProfilePtr pProfile, const wchar_t* pszLabel)
{
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    IVersionPtr pVersion;
    DmsCheck(pVersions->get_Item(_variant_t(pszLabel), &pVersion));
    return pVersion;
}

// Finds the version, fetches it into the DMS's cache and copies the cached file once: the least
// a client must do to hand a document's file out.
inline HandFetch FetchByHand(const wchar_t* pszLibrary, LONG lNumber, const std::wstring& target)
{
    HandFetch result;
    const double t0 = Now();
    IVersionPtr pVersion = VersionByHand(OpenProfileByHand(pszLibrary, lNumber), L"1");
    DmsCheck(pVersion->Fetch(0));
    _bstr_t bstrPath;
    DmsCheck(pVersion->get_FilePath(bstrPath.GetAddress()));
    const double tCopy = Now();
    if (!CopyFileW(bstrPath, target.c_str(), FALSE))
    {
        fwprintf(stderr, L"CopyFileW failed: %lu\n", GetLastError());
        exit(1);
    }
    const double tEnd = Now();
    result.copy = tEnd - tCopy;
    result.wall = tEnd - t0;
    DeleteFileW(target.c_str());
    return result;
}

// The DMS calls of the by-hand fetch, by method.
inline const std::map<std::wstring, long>& HandFetchCalls()
{
    static const std::map<std::wstring, long> calls = {{L"CoCreateInstance(Application)", 1}, {L"IApplication::Libraries", 1},
                                     {L"ILibraries::Item", 1},              {L"ILibrary::GetProfile", 1},
                                     {L"IProfile::Versions", 1},            {L"IVersions::Item", 1},
                                     {L"IVersion::Fetch", 1},               {L"IVersion::FilePath", 1}};
    return calls;
}

}  // namespace bench

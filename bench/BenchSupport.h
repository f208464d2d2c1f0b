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

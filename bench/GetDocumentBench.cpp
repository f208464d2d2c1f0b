// Benchmark: GetDocument through COM (with and without a check-out) against the same work
// done by hand in the same run: the DMS stand-in's fetch of the version followed by one
// CopyFileW of the cached file. Runs are interleaved; reports minimum and median of each and
// the ratios provider / by hand.
#include <windows.h>
#include <comdef.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>

#include "DmsStandInControl.h"
#include "DmsTypes.h"

_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void FreeDocument(CVDOCUMENT& d)
{
    for (BSTR b : {d.bstrDocID, d.bstrLocalFile, d.bstrName, d.bstrExtension, d.bstrAppID, d.bstrTypeID,
                   d.bstrAuthorID, d.bstrTypistID})
        SysFreeString(b);
    d = CVDOCUMENT{};
}

// The provider's way: one GetDocument; the local copy is removed outside the timing.
double ByProvider(ICVDocumentProvider7Ptr& p, const _bstr_t& id, bool bLock)
{
    CVDOCUMENT doc = {};
    double t0 = Now();
    HRESULT hr = p->GetDocument(id, bLock ? 2 : 0, &doc);
    double elapsed = Now() - t0;
    if (FAILED(hr) || !doc.bstrLocalFile)
    {
        fwprintf(stderr, L"GetDocument failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        exit(1);
    }
    DeleteFileW(doc.bstrLocalFile);
    FreeDocument(doc);
    if (bLock)
        p->LockDocument(id, 2);
    return elapsed;
}

// By hand: find the version, fetch it into the cache and copy the cached file once.
double ByHand(LONG lNumber, const std::wstring& target)
{
    double t0 = Now();
    IApplicationPtr pApp;
    pApp.CreateInstance(CLSID_Application, nullptr, CLSCTX_ALL);
    ILibrariesPtr pLibraries;
    DmsCheck(pApp->get_Libraries(&pLibraries));
    ILibraryPtr pLibrary;
    DmsCheck(pLibraries->get_Item(_variant_t(L"BENCH"), &pLibrary));
    IProfilePtr pProfile;
    DmsCheck(pLibrary->GetProfile(_variant_t(lNumber, VT_I4), &pProfile));
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    IVersionPtr pVersion;
    DmsCheck(pVersions->get_Item(_variant_t(L"1"), &pVersion));
    DmsCheck(pVersion->Fetch(0));
    _bstr_t bstrPath;
    DmsCheck(pVersion->get_FilePath(bstrPath.GetAddress()));
    if (!CopyFileW(bstrPath, target.c_str(), FALSE))
    {
        fwprintf(stderr, L"CopyFileW failed: %lu\n", GetLastError());
        exit(1);
    }
    double elapsed = Now() - t0;
    DeleteFileW(target.c_str());
    return elapsed;
}

struct Stats
{
    double min;
    double median;
};

Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2]};
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int repeats = argc > 1 ? _wtoi(argv[1]) : 11;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(StandIn_Install(L"5.3")) || FAILED(StandIn_Reset()) || FAILED(StandIn_AddLibrary(L"BENCH")))
    {
        fwprintf(stderr, L"could not prepare the DMS stand-in\n");
        return 1;
    }
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring target = std::wstring(szTemp) + L"quendrel-bench-copy.doc";

    wprintf(L"%-8ls %-9ls %12ls %12ls %12ls %12ls %9ls %9ls %ls\n", L"size", L"check-out", L"provider min",
            L"provider med", L"by hand min", L"by hand med", L"ratio min", L"ratio med", L"DMS calls");
    const struct
    {
        const wchar_t* label;
        DWORD bytes;
    } sizes[] = {{L"1 KB", 1u << 10}, {L"1 MB", 1u << 20}, {L"50 MB", 50u << 20}};
    for (const auto& size : sizes)
    {
        std::string content(size.bytes, '\0');
        for (DWORD i = 0; i < size.bytes; ++i)
            content[i] = static_cast<char>((i * 2654435761u) >> 24);
        LONG lNumber = 0;
        StandIn_AddDocument(L"BENCH", L"Bench", L"MS WORD", content.data(), size.bytes, &lNumber);
        const _bstr_t id((L"PowerDocs://BENCH/" + std::to_wstring(lNumber) + L"/1").c_str());
        for (bool bLock : {false, true})
        {
            ICVDocumentProvider7Ptr p;
            if (FAILED(p.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER)))
            {
                fwprintf(stderr, L"the provider is not registered\n");
                return 1;
            }
            // Warm-up (logon, caches), counting the DMS calls each way makes.
            StandIn_ClearFaults();
            ByProvider(p, id, bLock);
            const LONG lProviderCalls = StandIn_TotalCalls();
            StandIn_ClearFaults();
            ByHand(lNumber, target);
            const LONG lHandCalls = StandIn_TotalCalls();
            std::vector<double> provider, hand;
            const int n = size.bytes > (10u << 20) ? std::max(3, repeats / 2) : repeats;
            for (int i = 0; i < n; ++i)
            {
                provider.push_back(ByProvider(p, id, bLock));
                hand.push_back(ByHand(lNumber, target));
            }
            Stats a = Summarise(provider), b = Summarise(hand);
            wprintf(L"%-8ls %-9ls %10.3fms %10.3fms %10.3fms %10.3fms %9.2f %9.2f %5ld/%ld\n", size.label,
                    bLock ? L"yes" : L"no", a.min * 1e3, a.median * 1e3, b.min * 1e3, b.median * 1e3, a.min / b.min,
                    a.median / b.median, lProviderCalls, lHandCalls);
        }
    }
    CoUninitialize();
    return 0;
}

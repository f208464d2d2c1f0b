// GetVersions through COM for documents with 10, 100 and 1,000 versions: time and DMS calls per
// listed version, split into the time inside the DMS stand-in and the provider's own time (the
// rest of the call, COM's share included). The cost per version should stay flat.
#include <windows.h>
#include <comdef.h>

#include <cstdio>
#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>

#include "BenchSupport.h"
#include "DmsStandInControl.h"
#include "DmsTypes.h"

_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));

namespace {

const wchar_t kLibrary[] = L"BENCH";

struct Sample
{
    double wall = 0;
    double dms = 0;
    long calls = 0;
};

// One GetVersions call; the host frees what it was given.
Sample ListOnce(ICVDocumentProvider7Ptr& p, const _bstr_t& id, long lExpected)
{
    StandIn_ClearFaults();
    long lCount = 0;
    CVDOCUMENTVERSION* pVersions = nullptr;
    const double t0 = bench::Now();
    const HRESULT hr = p->GetVersions(id, &lCount, &pVersions);
    Sample s;
    s.wall = bench::Now() - t0;
    s.dms = StandIn_DmsSeconds();
    s.calls = StandIn_TotalCalls();
    if (FAILED(hr) || lCount != lExpected)
    {
        fwprintf(stderr, L"GetVersions answered 0x%08lX with %ld versions, %ld expected\n",
                 static_cast<unsigned long>(hr), lCount, lExpected);
        exit(1);
    }
    for (long i = 0; i < lCount; ++i)
    {
        CVDOCUMENTVERSION& v = pVersions[i];
        for (BSTR b : {v.bstrVersion, v.cvDocument.bstrDocID, v.cvDocument.bstrLocalFile, v.cvDocument.bstrName,
                       v.cvDocument.bstrExtension, v.cvDocument.bstrAppID, v.cvDocument.bstrTypeID,
                       v.cvDocument.bstrAuthorID, v.cvDocument.bstrTypistID})
            SysFreeString(b);
    }
    CoTaskMemFree(pVersions);
    return s;
}

// The least a client does to list the versions: the count, then each version's label and
// name, by hand against the DMS. Its own time is the caller's and COM's alone.
Sample ListByHand(const wchar_t* pszLibrary, LONG lNumber)
{
    StandIn_ClearFaults();
    const double t0 = bench::Now();
    IProfilePtr pProfile = bench::OpenProfileByHand(pszLibrary, lNumber);
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    long lCount = 0;
    DmsCheck(pVersions->get_Count(&lCount));
    for (long i = 1; i <= lCount; ++i)
    {
        IVersionPtr pVersion;
        DmsCheck(pVersions->get_Item(_variant_t(i, VT_I4), &pVersion));
        _bstr_t bstrLabel;
        DmsCheck(pVersion->get_Label(bstrLabel.GetAddress()));
        IProfilePtr pOwner;
        DmsCheck(pVersion->GetProfile(&pOwner));
        IColumnsPtr pColumns;
        DmsCheck(pOwner->get_Columns(&pColumns));
        IColumnPtr pColumn;
        DmsCheck(pColumns->get_Item(_variant_t(L"DOCNAME"), &pColumn));
        _variant_t vName;
        DmsCheck(pColumn->get_Value(&vName));
    }
    Sample s;
    s.wall = bench::Now() - t0;
    s.dms = StandIn_DmsSeconds();
    s.calls = StandIn_TotalCalls();
    return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int repeats = std::max(3, argc > 1 ? _wtoi(argv[1]) : 5);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(StandIn_Install(L"5.3")) || FAILED(StandIn_Reset()) || FAILED(StandIn_AddLibrary(kLibrary)))
    {
        fwprintf(stderr, L"could not prepare the DMS stand-in\n");
        return 1;
    }
    ICVDocumentProvider7Ptr p;
    if (FAILED(p.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER)))
    {
        fwprintf(stderr, L"the provider is not registered\n");
        return 1;
    }
    wprintf(L"\nGetVersions through COM, %d runs each; per listed version, medians: wall, DMS (inside the\n"
            L"stand-in's methods), own (the rest: provider and COM), DMS calls.\n", repeats);
    wprintf(L"  %9ls %12ls %12ls %12ls %12ls %12ls\n", L"versions", L"wall ms", L"wall us/v", L"DMS us/v",
            L"own us/v", L"calls/v");
    for (long n : {10L, 100L, 1000L})
    {
        LONG lNumber = 0;
        StandIn_AddDocument(kLibrary, L"Bench", L"MS WORD", "1", 1, &lNumber);
        for (long i = 2; i <= n; ++i)
            StandIn_AddVersion(kLibrary, lNumber, std::to_wstring(i).c_str(), "v", 1, L"");
        const _bstr_t id((std::wstring(L"PowerDocs://") + kLibrary + L"/" + std::to_wstring(lNumber) + L"/1").c_str());
        ListOnce(p, id, n);  // warm-up
        std::vector<double> wall, dms, own;
        long lCalls = 0;
        for (int r = 0; r < repeats; ++r)
        {
            const Sample s = ListOnce(p, id, n);
            wall.push_back(s.wall);
            dms.push_back(s.dms);
            own.push_back(s.wall - s.dms);
            lCalls = s.calls;
        }
        const double dWall = bench::Summarise(wall).median, dDms = bench::Summarise(dms).median,
                     dOwn = bench::Summarise(own).median;
        wprintf(L"  %9ld %12.2f %12.1f %12.1f %12.1f %12.2f  provider\n", n, dWall * 1e3, dWall * 1e6 / n,
                dDms * 1e6 / n, dOwn * 1e6 / n, static_cast<double>(lCalls) / n);
        const Sample h = ListByHand(kLibrary, lNumber);
        wprintf(L"  %9ls %12.2f %12.1f %12.1f %12.1f %12.2f  by hand (label and name only, one run)\n", L"",
                h.wall * 1e3, h.wall * 1e6 / n, h.dms * 1e6 / n, (h.wall - h.dms) * 1e6 / n,
                static_cast<double>(h.calls) / n);
    }
    p = nullptr;
    CoUninitialize();
    return 0;
}

// GetVersions through COM for documents with 10, 100 and 1,000 versions against its algorithm
// by hand in the same run: time and DMS calls per listed version, split into the time inside the
// DMS stand-in (each call's latency included) and the rest (the provider's own time and COM's).
// The cost per version should stay flat; the calls are listed by method.
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
    bench::CallUse use;
};

void Account(Sample& s)
{
    s.dms = StandIn_DmsSeconds();
    s.calls = StandIn_TotalCalls();
    BSTR bstr = StandIn_CallStatistics();
    s.use = bench::ParseCallStatistics(bstr);
    SysFreeString(bstr);
}

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
    Account(s);
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

// GetVersions' algorithm by hand: the lookup, the version's profile, its versions and their
// count; the offline check and the profile's columns taken once; then for each version its
// item, the label that tells an attachment, the record filled from it and the label listed with
// it.
Sample ListByHand(const wchar_t* pszLibrary, LONG lNumber)
{
    using namespace bench;
    StandIn_ClearFaults();
    const double t0 = Now();
    IApplicationPtr pApp = ApplicationByHand();
    IVersionPtr pVersion = LookUpByHand(pApp, pszLibrary, lNumber, L"1");
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    long lCount = 0;
    DmsCheck(pVersions->get_Count(&lCount));
    CheckNumberByHand(pVersions);
    long lState = 0;
    DmsCheck(IApplicationStatePtr(pApp)->get_ConnectionState(&lState));
    IColumnsPtr pColumns;
    DmsCheck(pProfile->get_Columns(&pColumns));
    for (long i = 1; i <= lCount; ++i)
    {
        IVersionPtr pItem;
        DmsCheck(pVersions->get_Item(_variant_t(i, VT_I4), &pItem));
        TextByHand(pItem, &IVersion::get_Label);
        RecordByHand(pItem, pProfile, pColumns);
        TextByHand(pItem, &IVersion::get_Label);
    }
    Sample s;
    s.wall = Now() - t0;
    Account(s);
    return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const long lLatency = StandIn_CallLatency();
    const int repeats = bench::RepeatsAt(std::max(3, argc > 1 ? _wtoi(argv[1]) : 5), lLatency);
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
    wprintf(L"\nGetVersions through COM against its algorithm by hand, interleaved, each DMS call taking %ld us\n"
            L"more; %d runs each (one of 1,000 versions where calls take time); per listed version, medians:\n"
            L"wall, DMS (inside the stand-in's methods), own (the rest: provider and COM), DMS calls.\n",
            lLatency, repeats);
    wprintf(L"  %9ls %12ls %12ls %12ls %12ls %12ls %12ls\n", L"versions", L"wall ms", L"wall us/v", L"DMS us/v",
            L"own us/v", L"calls/v", L"DMS us/call");
    double dDms10 = 0;  // the provider's DMS time for 10 versions
    for (long n : {10L, 100L, 1000L})
    {
        LONG lNumber = 0;
        StandIn_AddDocument(kLibrary, L"Bench", L"MS WORD", "1", 1, &lNumber);
        const double tSetUp = bench::Now();
        for (long i = 2; i <= n; ++i)
            StandIn_AddVersion(kLibrary, lNumber, std::to_wstring(i).c_str(), "v", 1, L"");
        fwprintf(stderr, L"(%ld versions stored in %.1f s)\n", n, bench::Now() - tSetUp);
        const _bstr_t id((std::wstring(L"PowerDocs://") + kLibrary + L"/" + std::to_wstring(lNumber) + L"/1").c_str());
        ListOnce(p, id, n);  // warm-up
        ListByHand(kLibrary, lNumber);
        std::vector<double> wall[2], dms[2], own[2];
        Sample last[2];
        const int runs = lLatency > 0 && n >= 1000 ? 1 : repeats;
        for (int r = 0; r < runs; ++r)
        {
            last[0] = ListOnce(p, id, n);
            last[1] = ListByHand(kLibrary, lNumber);
            for (int i = 0; i < 2; ++i)
            {
                wall[i].push_back(last[i].wall);
                dms[i].push_back(last[i].dms);
                own[i].push_back(last[i].wall - last[i].dms);
            }
        }
        double dWall[2] = {};
        for (int i = 0; i < 2; ++i)
        {
            dWall[i] = bench::Summarise(wall[i]).median;
            const double dDms = bench::Summarise(dms[i]).median, dOwn = bench::Summarise(own[i]).median;
            wprintf(L"  %9ls %12.2f %12.1f %12.1f %12.1f %12.2f %12.1f  %ls\n",
                    i == 0 ? std::to_wstring(n).c_str() : L"", dWall[i] * 1e3, dWall[i] * 1e6 / n, dDms * 1e6 / n,
                    dOwn * 1e6 / n, static_cast<double>(last[i].calls) / n, dDms * 1e6 / last[i].calls,
                    i == 0 ? L"provider" : L"by hand");
            if (i == 0 && n > 10)
                wprintf(L"  %9ls DMS per version beyond the first 10 (the list's own share): %.1f us\n", L"",
                        (dDms - dDms10) * 1e6 / (n - 10));
            if (i == 0 && n == 10)
                dDms10 = dDms;
        }
        wprintf(L"  %9ls provider / by hand: %.2f (medians)\n", L"", dWall[0] / dWall[1]);
        if (n == 10)
            bench::PrintCallTable(L"GetVersions of 10 versions", last[1].use, last[0].use);
    }
    p = nullptr;
    CoUninitialize();
    return 0;
}

// SaveDocument through COM (DM 5, a record not checked out) against the same work by hand in
// the same run: one copy into the DMS's local store and the stand-in's upload, with the version
// locked around it. Each figure is split into the time inside the DMS stand-in and the rest;
// for the provider the rest is its own time (COM's share included).
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

Sample SaveOnce(ICVDocumentProvider7Ptr& p, const std::wstring& id, const std::wstring& file)
{
    StandIn_ClearFaults();
    CVDOCUMENT doc = {};
    doc.bstrDocID = SysAllocString(id.c_str());
    doc.bstrLocalFile = SysAllocString(file.c_str());
    const double t0 = bench::Now();
    const HRESULT hr = p->SaveDocument(&doc, 0);
    Sample s{bench::Now() - t0, StandIn_DmsSeconds(), StandIn_TotalCalls()};
    for (BSTR b : {doc.bstrDocID, doc.bstrLocalFile, doc.bstrName, doc.bstrExtension, doc.bstrAppID, doc.bstrTypeID,
                   doc.bstrAuthorID, doc.bstrTypistID})
        SysFreeString(b);
    if (FAILED(hr))
    {
        fwprintf(stderr, L"SaveDocument answered 0x%08lX\n", static_cast<unsigned long>(hr));
        exit(1);
    }
    return s;
}

// The least a client does to store a file as a version's content.
Sample SaveByHand(LONG lNumber, const std::wstring& file)
{
    StandIn_ClearFaults();
    const double t0 = bench::Now();
    IProfilePtr pProfile = bench::OpenProfileByHand(kLibrary, lNumber);
    IVersionPtr pVersion = bench::VersionByHand(pProfile, L"1");
    short nStatus = 0;
    DmsCheck(pVersion->LockVersionForEdit(0, &nStatus));
    _bstr_t bstrPath;
    DmsCheck(pVersion->get_FilePath(bstrPath.GetAddress()));
    if (!CopyFileW(file.c_str(), bstrPath, FALSE))
    {
        fwprintf(stderr, L"CopyFileW failed: %lu\n", GetLastError());
        exit(1);
    }
    DmsCheck(pVersion->UploadFile(0));
    DmsCheck(pProfile->ReleaseDoc());
    return {bench::Now() - t0, StandIn_DmsSeconds(), StandIn_TotalCalls()};
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int repeats = std::max(3, argc > 1 ? _wtoi(argv[1]) : 11);
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
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring file = std::wstring(szTemp) + L"QuendrelSaveBench.doc";
    wprintf(L"\nSaveDocument through COM (DM 5, not checked out) and the same save by hand, interleaved,\n"
            L"%d runs each; ms, min / median; own = wall - DMS.\n", repeats);
    wprintf(L"  %6ls %-9ls %17ls %17ls %17ls %7ls\n", L"size", L"", L"wall", L"DMS", L"own", L"calls");
    for (size_t size : {size_t(1) << 20, size_t(50) << 20})
    {
        std::string content(size, 'q');
        HANDLE hFile = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD cb = 0;
        WriteFile(hFile, content.data(), static_cast<DWORD>(content.size()), &cb, nullptr);
        CloseHandle(hFile);
        LONG lNumber = 0;
        StandIn_AddDocument(kLibrary, L"Bench", L"MS WORD", "1", 1, &lNumber);
        const std::wstring id = std::wstring(L"PowerDocs://") + kLibrary + L"/" + std::to_wstring(lNumber) + L"/1";
        SaveByHand(lNumber, file);  // the version's place in the local store, and a warm-up
        SaveOnce(p, id, file);
        std::vector<double> wall[2], dms[2], own[2];
        long calls[2] = {};
        for (int r = 0; r < repeats; ++r)
        {
            const Sample s[2] = {SaveOnce(p, id, file), SaveByHand(lNumber, file)};
            for (int i = 0; i < 2; ++i)
            {
                wall[i].push_back(s[i].wall);
                dms[i].push_back(s[i].dms);
                own[i].push_back(s[i].wall - s[i].dms);
                calls[i] = s[i].calls;
            }
        }
        const wchar_t* names[2] = {L"provider", L"by hand"};
        for (int i = 0; i < 2; ++i)
        {
            const bench::Stats w = bench::Summarise(wall[i]), d = bench::Summarise(dms[i]),
                               o = bench::Summarise(own[i]);
            wprintf(L"  %4zuMB %-9ls %8.2f / %6.2f %8.2f / %6.2f %8.2f / %6.2f %7ld\n", size >> 20, names[i],
                    w.min * 1e3, w.median * 1e3, d.min * 1e3, d.median * 1e3, o.min * 1e3, o.median * 1e3, calls[i]);
        }
        const double dOwn = bench::Summarise(own[0]).median - bench::Summarise(own[1]).median;
        wprintf(L"  %6ls provider's own time beyond the by-hand save: %.2f ms median, %.1f%% of the by-hand wall\n",
                L"", dOwn * 1e3, 100.0 * dOwn / bench::Summarise(wall[1]).median);
    }
    DeleteFileW(file.c_str());
    p = nullptr;
    CoUninitialize();
    return 0;
}

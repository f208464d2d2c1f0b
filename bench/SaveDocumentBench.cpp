// SaveDocument through COM (DM 5, a record not checked out) against its algorithm by hand in the
// same run (its own DMS calls made directly, in its order, and the copy into the DMS's local
// store); beside it, for information, the least a client could do (the copy and the upload, the
// version locked around it). Each figure is split into the time inside the DMS stand-in (each
// call's latency included) and the rest; for the provider the rest is its own time (COM's share
// included). The calls are listed by method.
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

Sample Accounted(double wall)
{
    BSTR bstr = StandIn_CallStatistics();
    Sample s{wall, StandIn_DmsSeconds(), StandIn_TotalCalls(), bench::ParseCallStatistics(bstr)};
    SysFreeString(bstr);
    return s;
}

Sample SaveOnce(ICVDocumentProvider7Ptr& p, const std::wstring& id, const std::wstring& file)
{
    StandIn_ClearFaults();
    CVDOCUMENT doc = {};
    doc.bstrDocID = SysAllocString(id.c_str());
    doc.bstrLocalFile = SysAllocString(file.c_str());
    const double t0 = bench::Now();
    const HRESULT hr = p->SaveDocument(&doc, 0);
    Sample s = Accounted(bench::Now() - t0);
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

void CopyOrFail(const std::wstring& from, const wchar_t* pszTo)
{
    if (!CopyFileW(from.c_str(), pszTo, FALSE))
    {
        fwprintf(stderr, L"CopyFileW failed: %lu\n", GetLastError());
        exit(1);
    }
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
    CopyOrFail(file, bstrPath);
    DmsCheck(pVersion->UploadFile(0));
    DmsCheck(pProfile->ReleaseDoc());
    return Accounted(bench::Now() - t0);
}

// SaveDocument's algorithm by hand (DM 5, a record not checked out), in its order: the lookup
// and the version's profile (its error number read), the profile taken for editing, the file copied into the version's
// place in the local store, the version locked, the parent window cleared, the upload, the
// typist set to the session's user, the version unlocked, the profile given back; each status
// and error number checked.
Sample SaveAlgorithmByHand(LONG lNumber, const std::wstring& file)
{
    using namespace bench;
    StandIn_ClearFaults();
    const double t0 = Now();
    IApplicationPtr pApp = ApplicationByHand();
    IVersionPtr pVersion = LookUpByHand(pApp, kLibrary, lNumber, L"1");
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    CheckNumberByHand(pVersion);
    short nStatus = 0;
    DmsCheck(pProfile->SelectForEdit(0x13, &nStatus));
    CheckNumberByHand(pProfile);
    CopyOrFail(file, TextByHand(pVersion, &IVersion::get_FilePath));
    UploadByHand(pApp, pProfile, pVersion);
    DmsCheck(pProfile->ReleaseDoc());
    CheckNumberByHand(pProfile);
    return Accounted(Now() - t0);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const long lLatency = StandIn_CallLatency();
    const int repeats = bench::RepeatsAt(std::max(3, argc > 1 ? _wtoi(argv[1]) : 11), lLatency);
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
    wprintf(L"\nSaveDocument through COM (DM 5, not checked out) against its algorithm by hand, interleaved,\n"
            L"each DMS call taking %ld us more; %d runs each; ms, min / median; own = wall - DMS. \"least\": the\n"
            L"least a client could do, for information.\n", lLatency, repeats);
    wprintf(L"  %6ls %-9ls %17ls %17ls %17ls %7ls\n", L"size", L"", L"wall", L"DMS", L"own", L"calls");
    std::vector<size_t> sizes = {size_t(1) << 20};
    if (lLatency == 0)
        sizes.push_back(size_t(50) << 20);
    for (size_t size : sizes)
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
        SaveAlgorithmByHand(lNumber, file);
        SaveOnce(p, id, file);
        std::vector<double> wall[3], dms[3], own[3];
        Sample last[3];
        for (int r = 0; r < repeats; ++r)
        {
            last[0] = SaveOnce(p, id, file);
            last[1] = SaveAlgorithmByHand(lNumber, file);
            last[2] = SaveByHand(lNumber, file);
            for (int i = 0; i < 3; ++i)
            {
                wall[i].push_back(last[i].wall);
                dms[i].push_back(last[i].dms);
                own[i].push_back(last[i].wall - last[i].dms);
            }
        }
        const wchar_t* names[3] = {L"provider", L"by hand", L"least"};
        for (int i = 0; i < 3; ++i)
        {
            const bench::Stats w = bench::Summarise(wall[i]), d = bench::Summarise(dms[i]),
                               o = bench::Summarise(own[i]);
            wprintf(L"  %4zuMB %-9ls %8.2f / %6.2f %8.2f / %6.2f %8.2f / %6.2f %7ld\n", size >> 20, names[i],
                    w.min * 1e3, w.median * 1e3, d.min * 1e3, d.median * 1e3, o.min * 1e3, o.median * 1e3,
                    last[i].calls);
        }
        const bench::Stats a = bench::Summarise(wall[0]), b = bench::Summarise(wall[1]);
        // Both sides' own time holds the copy into the local store; the provider's own time is
        // what it spends beyond the by-hand save's.
        const double dOwn = bench::Summarise(own[0]).median - bench::Summarise(own[1]).median;
        wprintf(L"  %6ls provider / by hand: %.2f (minima), %.2f (medians); provider's own time beyond the by-hand\n"
                L"  %6ls save's (its copy and COM): %.2f ms median, %.1f%% of the by-hand wall\n",
                L"", a.min / b.min, a.median / b.median, L"", dOwn * 1e3, 100.0 * dOwn / b.median);
        if (size == (size_t(1) << 20))
            bench::PrintCallTable(L"one SaveDocument (1 MB)", last[1].use, last[0].use);
    }
    DeleteFileW(file.c_str());
    p = nullptr;
    CoUninitialize();
    return 0;
}

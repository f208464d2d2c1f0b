// Benchmark: GetDocument through COM (with and without a check-out) against the same work done
// by hand in the same run: GetDocument's algorithm's own DMS calls made directly, in its order,
// plus the copy of the cached file; beside it, as information, the least a client could do
// (the version fetched and its file copied). Runs are interleaved. For each, the wall time
// splits into the time inside the DMS stand-in's methods (its own accounting, the latency of
// each call included), the copy of the file (CopyFileW, timed by redirecting the provider's
// import of it) and the rest: the provider's own time. The DMS calls of each fetch are listed
// by method against the algorithm's. Last, the first call of a process (loading the provider,
// the DMS logon, the first fetch) is measured in fresh processes by firstcall_bench.exe.
#include <windows.h>
#include <comdef.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>

#include "BenchSupport.h"
#include "DmsStandInControl.h"

_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));

using namespace bench;

namespace {

const wchar_t kLibrary[] = L"BENCH";
const long kGetDocumentLock = 2;
const long kUnlock = 2;
// The provider's own time may be at most this share of the by-hand fetch of a 1 MB document,
// when the DMS answers at once.
const double kOwnTimeTarget = 0.20;

void FreeDocument(CVDOCUMENT& d)
{
    for (BSTR b : {d.bstrDocID, d.bstrLocalFile, d.bstrName, d.bstrExtension, d.bstrAppID, d.bstrTypeID,
                   d.bstrAuthorID, d.bstrTypistID})
        SysFreeString(b);
    d = CVDOCUMENT{};
}

// One measured operation: wall time, time inside the DMS, the file copy and the calls made.
struct Sample
{
    double wall = 0;
    double dms = 0;
    double copy = 0;
    CallUse calls;
    double Own() const { return wall - dms - copy; }
};

// One GetDocument; the DMS's accounting is read right after it, before the local copy is
// removed and a check-out given back, which stay outside the figures.
Sample ByProvider(ICVDocumentProvider7Ptr& p, const _bstr_t& id, bool bLock)
{
    Sample s;
    CVDOCUMENT doc = {};
    StandIn_ClearFaults();
    const double copyBefore = CopySeconds();
    const double t0 = Now();
    HRESULT hr = p->GetDocument(id, bLock ? kGetDocumentLock : 0, &doc);
    s.wall = Now() - t0;
    s.copy = CopySeconds() - copyBefore;
    s.dms = StandIn_DmsSeconds();
    BSTR bstrCalls = StandIn_CallStatistics();
    s.calls = ParseCallStatistics(bstrCalls);
    SysFreeString(bstrCalls);
    if (FAILED(hr) || !doc.bstrLocalFile)
    {
        fwprintf(stderr, L"GetDocument failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        exit(1);
    }
    DeleteFileW(doc.bstrLocalFile);
    FreeDocument(doc);
    if (bLock)
        p->LockDocument(id, kUnlock);
    return s;
}

// The algorithm by hand (bLeast false) or the least fetch (bLeast true).
Sample ByHand(LONG lNumber, const std::wstring& target, bool bLock, bool bLeast)
{
    Sample s;
    StandIn_ClearFaults();
    if (bLeast)
    {
        const HandFetch fetch = FetchByHand(kLibrary, lNumber, target);
        s.wall = fetch.wall;
        s.copy = fetch.copy;
    }
    else
    {
        s.wall = GetDocumentByHand(kLibrary, lNumber, target, bLock, &s.copy);
    }
    s.dms = StandIn_DmsSeconds();
    BSTR bstrCalls = StandIn_CallStatistics();
    s.calls = ParseCallStatistics(bstrCalls);
    SysFreeString(bstrCalls);
    if (bLock && !bLeast)
        StandIn_SetLock(kLibrary, lNumber, nullptr);
    return s;
}

struct Breakdown
{
    Stats wall, dms, copy, own;
};

Breakdown Summarise(const std::vector<Sample>& samples)
{
    std::vector<double> wall, dms, copy, own;
    for (const Sample& s : samples)
    {
        wall.push_back(s.wall);
        dms.push_back(s.dms);
        copy.push_back(s.copy);
        own.push_back(s.Own());
    }
    return {bench::Summarise(wall), bench::Summarise(dms), bench::Summarise(copy), bench::Summarise(own)};
}

void PrintRow(const wchar_t* pszLabel, const Breakdown& b, const std::wstring& strCalls)
{
    wprintf(L"  %-10ls %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f  %ls\n", pszLabel, b.wall.min * 1e3,
            b.wall.median * 1e3, b.dms.min * 1e3, b.dms.median * 1e3, b.copy.min * 1e3, b.copy.median * 1e3,
            b.own.min * 1e3, b.own.median * 1e3, strCalls.c_str());
}

// Every run of an operation must make the same calls; the figures would mean little otherwise.
bool SameCalls(const std::vector<Sample>& samples)
{
    for (const Sample& s : samples)
    {
        if (s.calls.size() != samples.front().calls.size())
            return false;
        for (const auto& method : s.calls)
        {
            auto it = samples.front().calls.find(method.first);
            if (it == samples.front().calls.end() || it->second.calls != method.second.calls)
                return false;
        }
    }
    return true;
}

// ---- the first call of a process ----

struct FirstCall
{
    double create = 0;  // loading the provider's module and creating the provider
    Sample first;       // the first GetDocument: DMS logon and first fetch
    Sample second;      // the next GetDocument of the same process
};

std::wstring ProgramFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring path = szPath;
    return path.substr(0, path.find_last_of(L'\\'));
}

// Runs firstcall_bench.exe in a new process and reads what it wrote.
bool RunFirstCall(const std::wstring& mode, const std::wstring& argument, const std::wstring& resultFile,
                  FirstCall* pResult)
{
    DeleteFileW(resultFile.c_str());
    std::wstring command = L"\"" + ProgramFolder() + L"\\firstcall_bench.exe\" " + mode + L" " + argument + L" \"" +
                           resultFile + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExit = 1;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (dwExit != 0)
        return false;
    std::wifstream in(std::string(resultFile.begin(), resultFile.end()));
    std::wstring key;
    while (in >> key)
    {
        if (key == L"create")
            in >> pResult->create;
        else if (key == L"first" || key == L"second")
        {
            Sample& s = key == L"first" ? pResult->first : pResult->second;
            in >> s.wall >> s.dms >> s.copy;
        }
        else if (key == L"call")
        {
            std::wstring method;
            MethodUse use;
            in >> method >> use.calls >> use.seconds;
            pResult->first.calls[method] = use;
        }
    }
    return pResult->first.wall > 0;
}

void MeasureFirstCalls(int runs, const _bstr_t& id, LONG lNumber)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring resultFile = std::wstring(szTemp) + L"quendrel-bench-firstcall.txt";
    std::vector<double> createTimes;
    std::vector<Sample> firstProvider, secondProvider, firstHand;
    CallUse firstCalls, firstHandCalls;
    for (int i = 0; i < runs; ++i)
    {
        FirstCall provider, hand;
        if (!RunFirstCall(L"provider", std::wstring(static_cast<const wchar_t*>(id)), resultFile, &provider) ||
            !RunFirstCall(L"hand", std::wstring(kLibrary) + L" " + std::to_wstring(lNumber), resultFile, &hand))
        {
            fwprintf(stderr, L"firstcall_bench.exe failed\n");
            exit(1);
        }
        createTimes.push_back(provider.create);
        firstProvider.push_back(provider.first);
        secondProvider.push_back(provider.second);
        hand.first.wall += hand.create;  // by hand, the session and its logon belong to the first fetch
        firstHand.push_back(hand.first);
        if (i == 0)
        {
            firstCalls = provider.first.calls;
            firstHandCalls = hand.first.calls;
        }
    }
    const Stats create = bench::Summarise(createTimes);
    wprintf(L"\nThe first call of a process (1 MB, no check-out, %d fresh processes each), ms:\n", runs);
    wprintf(L"  %-28ls %9ls %9ls %9ls %9ls %9ls %9ls %9ls %9ls\n", L"", L"wall min", L"wall med", L"DMS min",
            L"DMS med", L"copy min", L"copy med", L"rest min", L"rest med");
    wprintf(L"  %-28ls %9.3f %9.3f\n", L"load and create provider", create.min * 1e3, create.median * 1e3);
    auto row = [](const wchar_t* pszLabel, const std::vector<Sample>& samples) {
        const Breakdown b = Summarise(samples);
        wprintf(L"  %-28ls %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f\n", pszLabel, b.wall.min * 1e3,
                b.wall.median * 1e3, b.dms.min * 1e3, b.dms.median * 1e3, b.copy.min * 1e3, b.copy.median * 1e3,
                b.own.min * 1e3, b.own.median * 1e3);
    };
    row(L"first GetDocument", firstProvider);
    row(L"second GetDocument", secondProvider);
    row(L"by hand: session, logon, fetch", firstHand);
    std::vector<double> total;
    for (size_t i = 0; i < firstProvider.size(); ++i)
        total.push_back(createTimes[i] + firstProvider[i].wall);
    const Stats t = bench::Summarise(total);
    wprintf(L"  %-28ls %9.3f %9.3f\n", L"first document opened", t.min * 1e3, t.median * 1e3);
    wprintf(L"  (rest: the provider's own time plus COM loading the DMS module and marshalling; for the by-hand\n"
            L"  fetch, COM loading the DMS module)\n");
    wprintf(L"  ratio of the first document opened to the first fetch by hand: %.2f (min), %.2f (median)\n",
            t.min / Summarise(firstHand).wall.min, t.median / Summarise(firstHand).wall.median);
    PrintCallTable(L"the first GetDocument of a process", firstHandCalls, firstCalls);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const long lLatency = StandIn_CallLatency();
    const int repeats = RepeatsAt(std::max(3, argc > 1 ? _wtoi(argv[1]) : 11), lLatency);
    const int firstRuns = RepeatsAt(std::max(1, argc > 2 ? _wtoi(argv[2]) : 5), lLatency);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(StandIn_Install(L"5.3")) || FAILED(StandIn_Reset()) || FAILED(StandIn_AddLibrary(kLibrary)))
    {
        fwprintf(stderr, L"could not prepare the DMS stand-in\n");
        return 1;
    }
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring target = std::wstring(szTemp) + L"quendrel-bench-copy.doc";

    wprintf(L"GetDocument through COM against its algorithm by hand, interleaved, each DMS call taking %ld us\n"
            L"more (a round trip); ms. DMS: inside the DMS stand-in's methods; copy: CopyFileW of the cached\n"
            L"file; own: the rest, the provider's own time (by hand: the caller's and COM's). \"least\": the\n"
            L"least a client could do (fetch and copy), for information.\n",
            lLatency);
    struct Size
    {
        const wchar_t* label;
        DWORD bytes;
    };
    std::vector<Size> sizes = {{L"1 MB", 1u << 20}};
    if (lLatency == 0)
        sizes = {{L"1 KB", 1u << 10}, {L"1 MB", 1u << 20}, {L"50 MB", 50u << 20}};
    std::vector<Sample> callsPlain[2], callsCheckOut[2];
    _bstr_t firstCallID;
    LONG lFirstCallNumber = 0;
    bool bTargetMet = true;
    for (const Size& size : sizes)
    {
        std::string content(size.bytes, '\0');
        for (DWORD i = 0; i < size.bytes; ++i)
            content[i] = static_cast<char>((i * 2654435761u) >> 24);
        LONG lNumber = 0;
        StandIn_AddDocument(kLibrary, L"Bench", L"MS WORD", content.data(), size.bytes, &lNumber);
        const _bstr_t id((std::wstring(L"PowerDocs://") + kLibrary + L"/" + std::to_wstring(lNumber) + L"/1").c_str());
        for (bool bLock : {false, true})
        {
            ICVDocumentProvider7Ptr p;
            if (FAILED(p.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER)))
            {
                fwprintf(stderr, L"the provider is not registered\n");
                return 1;
            }
            // Again for each provider: should COM have loaded the module anew, its import is the
            // system's again.
            if (!TimeCopiesOf(GetModuleHandleW(L"CmQuendrel.dll")))
            {
                fwprintf(stderr, L"CmQuendrel.dll does not import CopyFileW: its copies cannot be timed\n");
                return 1;
            }
            // Warm-up: logon, caches.
            ByProvider(p, id, bLock);
            ByHand(lNumber, target, bLock, false);
            std::vector<Sample> provider, hand, least;
            const int n = size.bytes > (10u << 20) ? std::max(3, repeats / 2) : repeats;
            for (int i = 0; i < n; ++i)
            {
                provider.push_back(ByProvider(p, id, bLock));
                hand.push_back(ByHand(lNumber, target, bLock, false));
                least.push_back(ByHand(lNumber, target, bLock, true));
            }
            const Breakdown a = Summarise(provider), b = Summarise(hand), c = Summarise(least);
            wprintf(L"\n%ls, check-out %ls, %d runs each, %ld us per DMS call\n", size.label, bLock ? L"yes" : L"no", n,
                    lLatency);
            wprintf(L"  %-10ls %9ls %9ls %9ls %9ls %9ls %9ls %9ls %9ls  %ls\n", L"", L"wall min", L"wall med",
                    L"DMS min", L"DMS med", L"copy min", L"copy med", L"own min", L"own med", L"DMS calls");
            auto calls = [](const std::vector<Sample>& v) {
                return std::to_wstring(TotalCalls(v.front().calls)) + (SameCalls(v) ? L"" : L", differing between runs");
            };
            PrintRow(L"provider", a, calls(provider));
            PrintRow(L"by hand", b, calls(hand));
            PrintRow(L"least", c, calls(least));
            const double share = a.own.median / b.wall.median;
            wprintf(L"  provider / by hand: %.2f (minima), %.2f (medians); provider's own time (median) %.3f ms = "
                    L"%.1f%% of the by-hand fetch",
                    a.wall.min / b.wall.min, a.wall.median / b.wall.median, a.own.median * 1e3, share * 100);
            if (size.bytes == (1u << 20))
            {
                if (lLatency == 0)
                {
                    const bool bMet = share <= kOwnTimeTarget;
                    bTargetMet = bTargetMet && bMet;
                    wprintf(L" (target: at most %.0f%%: %ls)", kOwnTimeTarget * 100, bMet ? L"met" : L"not met");
                }
                (bLock ? callsCheckOut : callsPlain)[0] = hand;
                (bLock ? callsCheckOut : callsPlain)[1] = provider;
                if (!bLock)
                {
                    firstCallID = id;
                    lFirstCallNumber = lNumber;
                }
            }
            wprintf(L"\n");
        }
    }
    PrintCallTable(L"one GetDocument without a check-out (1 MB)", callsPlain[0].front().calls,
                   callsPlain[1].front().calls);
    PrintCallTable(L"one GetDocument with a check-out (1 MB)", callsCheckOut[0].front().calls,
                   callsCheckOut[1].front().calls);
    MeasureFirstCalls(firstRuns, firstCallID, lFirstCallNumber);
    if (lLatency == 0)
        wprintf(L"\nTarget at 1 MB (own time at most %.0f%% of the by-hand fetch): %ls\n", kOwnTimeTarget * 100,
                bTargetMet ? L"met" : L"not met");
    CoUninitialize();
    return 0;
}

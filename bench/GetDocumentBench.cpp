// Benchmark: GetDocument through COM (with and without a check-out) against the same work done
// by hand in the same run: the DMS stand-in's fetch of the version followed by one CopyFileW of
// the cached file. Runs are interleaved. For each, the wall time splits into the time inside the
// DMS stand-in's methods (its own accounting), the copy of the file (CopyFileW, timed by
// redirecting the provider's import of it) and the rest: the provider's own time. The DMS calls
// of each fetch are listed by method next to the calls that GetDocument's algorithm names.
// Last, the first call of a process (loading the provider, the DMS logon, the first fetch) is
// measured in fresh processes by firstcall_bench.exe.
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
// The provider's own time may be at most this share of the by-hand fetch of a 1 MB document.
const double kOwnTimeTarget = 0.05;

// The DMS calls that GetDocument's algorithm names for a version given by label, online, with
// no working folder, when the fetch succeeds at once: how many of each without and with a
// check-out, and the step that makes them. Any call beyond these is a finding.
struct AlgorithmCall
{
    const wchar_t* pszMethod;
    long lPlain;
    long lCheckOut;
    const wchar_t* pszStep;
};
const AlgorithmCall kGetDocumentCalls[] = {
    {L"CoCreateInstance(Application)", 1, 1, L"one application object serves the offline check and the lookup"},
    {L"IApplicationState::ConnectionState", 1, 1, L"offline check"},
    {L"IApplication::Libraries", 1, 1, L"library lookup"},
    {L"ILibraries::Item", 1, 1, L"library lookup"},
    {L"ILibrary::GetProfile", 1, 1, L"profile of the document number"},
    {L"IProfile::Versions", 1, 1, L"versions of the profile"},
    {L"IVersions::Item", 1, 1, L"version by label"},
    {L"IVersion::GetProfile", 1, 1, L"the version's profile (the lookup hands out the version only)"},
    {L"IProfile::WorkingFolder", 1, 1, L"does the DMS keep a working copy"},
    {L"IVersion::FilePath", 2, 2, L"file name and extension; the cached file after the fetch"},
    {L"IVersion::Fetch", 1, 1, L"fetch into the DMS's cache (a retry only after an error)"},
    {L"IDMError::ErrorNumber", 1, 1, L"did the fetch report an error"},
    {L"IProfile::Columns", 1, 1, L"profile columns, read for the lock state and the properties"},
    {L"IColumns::Item", 5, 6, L"DOCNAME, APP_ID, TYPE_ID, AUTHOR_ID, TYPIST_ID; %CheckLocked to check out"},
    {L"IColumn::Value", 5, 6, L"the value of each column read"},
    {L"IProfile::SelectForEdit", 0, 1, L"check-out: take the profile"},
    {L"IVersion::LockVersionForEdit", 0, 1, L"check-out: lock the version"},
    {L"IVersion::Label", 1, 1, L"document ID and extension of an attachment"},
    {L"IProfile::Library", 1, 1, L"the library's own spelling for the document ID"},
    {L"ILibrary::Name", 1, 1, L"the library's own spelling for the document ID"},
    {L"IProfile::DocNumber", 1, 1, L"document number for the document ID"},
    {L"IVersion::Date", 1, 1, L"version date"},
};
// What the first call of a process adds: the keeper's session, its logon and the application
// object it keeps for the process.
const AlgorithmCall kFirstCallExtra[] = {
    {L"CoCreateInstance(Session)", 1, 1, L"the keeper's DMS session"},
    {L"IDMSession::Logon", 1, 1, L"the keeper's logon"},
    {L"CoCreateInstance(Application)", 1, 1, L"the application object the keeper keeps"},
};

long Expected(const AlgorithmCall* pBegin, const AlgorithmCall* pEnd, const std::wstring& method, bool bLock)
{
    long n = 0;
    for (const AlgorithmCall* p = pBegin; p != pEnd; ++p)
        if (method == p->pszMethod)
            n += bLock ? p->lCheckOut : p->lPlain;
    return n;
}

long ExpectedGetDocument(const std::wstring& method, bool bLock)
{
    return Expected(std::begin(kGetDocumentCalls), std::end(kGetDocumentCalls), method, bLock);
}

long ExpectedFirstCall(const std::wstring& method)
{
    return ExpectedGetDocument(method, false) +
           Expected(std::begin(kFirstCallExtra), std::end(kFirstCallExtra), method, false);
}

long TotalCalls(const CallUse& use)
{
    long n = 0;
    for (const auto& method : use)
        n += method.second.calls;
    return n;
}

long Beyond(const CallUse& use, long (*expected)(const std::wstring&, bool), bool bLock)
{
    long n = 0;
    for (const auto& method : use)
        n += std::max(0L, method.second.calls - expected(method.first, bLock));
    return n;
}

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

Sample ByHand(LONG lNumber, const std::wstring& target)
{
    Sample s;
    StandIn_ClearFaults();
    const HandFetch fetch = FetchByHand(kLibrary, lNumber, target);
    s.wall = fetch.wall;
    s.copy = fetch.copy;
    s.dms = StandIn_DmsSeconds();
    BSTR bstrCalls = StandIn_CallStatistics();
    s.calls = ParseCallStatistics(bstrCalls);
    SysFreeString(bstrCalls);
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

// Mean time per call of each method over a set of runs.
CallUse MeanUse(const std::vector<Sample>& samples)
{
    CallUse total;
    for (const Sample& s : samples)
        for (const auto& method : s.calls)
        {
            total[method.first].calls += method.second.calls;
            total[method.first].seconds += method.second.seconds;
        }
    return total;
}

// Lists GetDocument's DMS calls by method, without and with a check-out, next to the calls
// its algorithm names, and says which calls go beyond them.
void PrintCallTable(const std::vector<Sample>& plain, const std::vector<Sample>& checkOut)
{
    const CallUse& a = plain.front().calls;
    const CallUse& b = checkOut.front().calls;
    const CallUse meanA = MeanUse(plain), meanB = MeanUse(checkOut);
    std::set<std::wstring> methods;
    for (const AlgorithmCall& call : kGetDocumentCalls)
        methods.insert(call.pszMethod);
    for (const auto& m : a)
        methods.insert(m.first);
    for (const auto& m : b)
        methods.insert(m.first);

    wprintf(L"\nDMS calls of one GetDocument by method (1 MB): the algorithm's count, the measured count, the mean\n"
            L"time per call inside the DMS stand-in\n");
    wprintf(L"  %-36ls %18ls %18ls  %ls\n", L"method", L"no check-out", L"check-out", L"the algorithm's step");
    wprintf(L"  %-36ls %5ls %5ls %6ls %5ls %5ls %6ls\n", L"", L"algo", L"calls", L"us", L"algo", L"calls", L"us");
    std::wstring strFindings;
    for (const std::wstring& method : methods)
    {
        const long ea = ExpectedGetDocument(method, false), eb = ExpectedGetDocument(method, true);
        auto ia = a.find(method), ib = b.find(method);
        const long ma = ia == a.end() ? 0 : ia->second.calls, mb = ib == b.end() ? 0 : ib->second.calls;
        auto mean = [](const CallUse& use, const std::wstring& m) {
            auto it = use.find(m);
            return it == use.end() || it->second.calls == 0 ? 0.0 : it->second.seconds / it->second.calls * 1e6;
        };
        const wchar_t* pszStep = L"(not named by the algorithm)";
        for (const AlgorithmCall& call : kGetDocumentCalls)
            if (method == call.pszMethod)
                pszStep = call.pszStep;
        const bool bBeyond = ma > ea || mb > eb;
        const bool bMissing = ma < ea || mb < eb;
        wprintf(L"%ls %-36ls %5ld %5ld %6.1f %5ld %5ld %6.1f  %ls\n", bBeyond ? L"+" : (bMissing ? L"-" : L" "),
                method.c_str(), ea, ma, mean(meanA, method), eb, mb, mean(meanB, method), pszStep);
        if (bBeyond)
            strFindings += L"  " + method + L": " + std::to_wstring(ma - ea) + L" beyond without a check-out, " +
                           std::to_wstring(mb - eb) + L" with one\n";
    }
    const long ta = TotalCalls(a), tb = TotalCalls(b);
    long ea = 0, eb = 0;
    for (const AlgorithmCall& call : kGetDocumentCalls)
        ea += call.lPlain, eb += call.lCheckOut;
    wprintf(L"  %-36ls %5ld %5ld %6ls %5ld %5ld\n", L"total", ea, ta, L"", eb, tb);
    if (strFindings.empty())
        wprintf(L"No DMS call beyond those the algorithm names.\n");
    else
        wprintf(L"Calls beyond those the algorithm names (+; - marks fewer):\n%ls", strFindings.c_str());
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
    CallUse firstCalls;
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
            firstCalls = provider.first.calls;
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
    row(L"by hand: logon, first fetch", firstHand);
    std::vector<double> total;
    for (size_t i = 0; i < firstProvider.size(); ++i)
        total.push_back(createTimes[i] + firstProvider[i].wall);
    const Stats t = bench::Summarise(total);
    wprintf(L"  %-28ls %9.3f %9.3f\n", L"first document opened", t.min * 1e3, t.median * 1e3);
    wprintf(L"  (rest: the provider's own time plus COM loading the DMS module and marshalling; for the by-hand\n"
            L"  fetch, COM loading the DMS module)\n");
    std::wstring strFindings;
    for (const auto& method : firstCalls)
    {
        const long e = ExpectedFirstCall(method.first);
        if (method.second.calls > e)
            strFindings += L"  " + method.first + L": " + std::to_wstring(method.second.calls - e) + L" beyond\n";
    }
    wprintf(L"  DMS calls of the first GetDocument: %ld (algorithm: %ld more than a warm fetch)\n",
            TotalCalls(firstCalls), static_cast<long>(std::size(kFirstCallExtra)));
    if (strFindings.empty())
        wprintf(L"  No call of the first GetDocument beyond those the algorithm names.\n");
    else
        wprintf(L"  Calls of the first GetDocument beyond those the algorithm names:\n%ls", strFindings.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int repeats = std::max(3, argc > 1 ? _wtoi(argv[1]) : 11);
    const int firstRuns = std::max(1, argc > 2 ? _wtoi(argv[2]) : 5);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(StandIn_Install(L"5.3")) || FAILED(StandIn_Reset()) || FAILED(StandIn_AddLibrary(kLibrary)))
    {
        fwprintf(stderr, L"could not prepare the DMS stand-in\n");
        return 1;
    }
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring target = std::wstring(szTemp) + L"quendrel-bench-copy.doc";

    wprintf(L"GetDocument through COM against the fetch by hand, interleaved; ms. DMS: inside the DMS stand-in's\n"
            L"methods; copy: CopyFileW of the cached file; own: the rest, the provider's own time (by hand: the\n"
            L"caller's and COM's).\n");
    const struct
    {
        const wchar_t* label;
        DWORD bytes;
    } sizes[] = {{L"1 KB", 1u << 10}, {L"1 MB", 1u << 20}, {L"50 MB", 50u << 20}};
    std::vector<Sample> callsPlain, callsCheckOut;
    _bstr_t firstCallID;
    LONG lFirstCallNumber = 0;
    bool bTargetMet = true;
    for (const auto& size : sizes)
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
            ByHand(lNumber, target);
            std::vector<Sample> provider, hand;
            const int n = size.bytes > (10u << 20) ? std::max(3, repeats / 2) : repeats;
            for (int i = 0; i < n; ++i)
            {
                provider.push_back(ByProvider(p, id, bLock));
                hand.push_back(ByHand(lNumber, target));
            }
            const Breakdown a = Summarise(provider), b = Summarise(hand);
            wprintf(L"\n%ls, check-out %ls, %d runs each\n", size.label, bLock ? L"yes" : L"no", n);
            wprintf(L"  %-10ls %9ls %9ls %9ls %9ls %9ls %9ls %9ls %9ls  %ls\n", L"", L"wall min", L"wall med",
                    L"DMS min", L"DMS med", L"copy min", L"copy med", L"own min", L"own med", L"DMS calls");
            const long lBeyond = Beyond(provider.front().calls, ExpectedGetDocument, bLock);
            PrintRow(L"provider", a,
                     std::to_wstring(TotalCalls(provider.front().calls)) + L" (" + std::to_wstring(lBeyond) +
                         L" beyond the algorithm)" + (SameCalls(provider) ? L"" : L", differing between runs"));
            PrintRow(L"by hand", b,
                     std::to_wstring(TotalCalls(hand.front().calls)) + (SameCalls(hand) ? L"" : L", differing"));
            const double share = a.own.median / b.wall.median;
            wprintf(L"  ratio of minima %.2f, of medians %.2f; provider's own time (median) %.3f ms = %.1f%% of "
                    L"the by-hand fetch",
                    a.wall.min / b.wall.min, a.wall.median / b.wall.median, a.own.median * 1e3, share * 100);
            if (size.bytes == (1u << 20))
            {
                const bool bMet = share <= kOwnTimeTarget && lBeyond == 0;
                bTargetMet = bTargetMet && bMet;
                wprintf(L" (target: at most %.0f%%, no call beyond the algorithm: %ls)", kOwnTimeTarget * 100,
                        bMet ? L"met" : L"not met");
                (bLock ? callsCheckOut : callsPlain) = provider;
                if (!bLock)
                {
                    firstCallID = id;
                    lFirstCallNumber = lNumber;
                }
            }
            wprintf(L"\n");
        }
    }
    PrintCallTable(callsPlain, callsCheckOut);
    MeasureFirstCalls(firstRuns, firstCallID, lFirstCallNumber);
    wprintf(L"\nTarget at 1 MB (own time at most %.0f%% of the by-hand fetch, no DMS call beyond the algorithm): %ls\n",
            kOwnTimeTarget * 100, bTargetMet ? L"met" : L"not met");
    CoUninitialize();
    return 0;
}

// The host's whole road of a save, round after round in one process, through COM: fetch a
// document checked out, edit its local file, a silent save as a new version (GetSaveInfo, then
// SaveDocument into the record it returned), close; the version made is removed again between
// rounds, outside the time measured. Reports the time of a round, the time inside
// the DMS stand-in and the provider's own share of the rest, and checks that the process does
// not grow: handles, GDI and user objects and private memory after the first rounds, and no DMS
// object left alive. Exit code 1 when it grows.
#include <windows.h>
#include <comdef.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>

#include "BenchSupport.h"
#include "DmsStandInControl.h"
#include "DmsTypes.h"
#include "TestSupport.h"

_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));

namespace {

const wchar_t kLibrary[] = L"ROAD";
const wchar_t kFormats[] = L"Word Document (*.doc)|*.doc";
constexpr long MASK_SILENT_NEW_VERSION = 0x44;
constexpr long GET_CHECKED_OUT = 2;

struct Footprint
{
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    SIZE_T privateBytes = 0;
};

// GDI objects counted by probing handle values where the system does not count them.
DWORD GdiObjects()
{
    DWORD dw = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (dw != 0)
        return dw;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0)
            ++dw;
    return dw;
}

BOOL CALLBACK CountWindow(HWND, LPARAM lParam)
{
    ++*reinterpret_cast<DWORD*>(lParam);
    return TRUE;
}

// User objects; where the system does not count them, this thread's windows.
DWORD UserObjects()
{
    DWORD dw = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (dw == 0)
        EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&dw));
    return dw;
}

Footprint Measure()
{
    return {testing_support::KernelHandles(), GdiObjects(), UserObjects(), testing_support::PrivateBytes()};
}

void FreeRecord(CVDOCUMENT& doc)
{
    for (BSTR* p : {&doc.bstrDocID, &doc.bstrLocalFile, &doc.bstrName, &doc.bstrExtension, &doc.bstrAppID,
                    &doc.bstrTypeID, &doc.bstrAuthorID, &doc.bstrTypistID})
    {
        SysFreeString(*p);
        *p = nullptr;
    }
}

bool Check(HRESULT hr, const wchar_t* pszCall, int round)
{
    if (SUCCEEDED(hr))
        return true;
    fwprintf(stderr, L"round %d: %ls answered 0x%08lX\n", round, pszCall, static_cast<unsigned long>(hr));
    return false;
}

// Seconds spent in each step of the road: fetch, decision, save, closes.
double g_stepSeconds[4];

// Runs one step of the road, adding its time to the step's total.
HRESULT Timed(int step, const std::function<HRESULT()>& call)
{
    const double t0 = bench::Now();
    const HRESULT hr = call();
    g_stepSeconds[step] += bench::Now() - t0;
    return hr;
}

// Removes the version a round made, outside the round's time: the stand-in reads a document's
// versions one by one at every lookup, so a list that grew by one version per round would make
// every later round slower for reasons of the stand-in's own.
void RemoveVersion(LONG lNumber, const std::wstring& strLabel)
{
    DmsCheck(bench::VersionByHand(bench::OpenProfileByHand(kLibrary, lNumber), strLabel.c_str())->Delete());
}

// One round of the host's road; false when a call failed. *pstrMade receives the label of the
// version the round made.
bool Round(ICVDocumentProvider7Ptr& p, const std::wstring& id, int round, std::wstring* pstrMade)
{
    CVDOCUMENT doc = {};
    bool ok = Check(Timed(0, [&] { return p->GetDocument(_bstr_t(id.c_str()), GET_CHECKED_OUT, &doc); }),
                    L"GetDocument", round);
    if (ok)
    {
        const std::string edit = "edit of round " + std::to_string(round);
        HANDLE hFile = CreateFileW(doc.bstrLocalFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD cb = 0;
        ok = hFile != INVALID_HANDLE_VALUE && WriteFile(hFile, edit.data(), static_cast<DWORD>(edit.size()), &cb, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
        CVDOCUMENT original = doc;  // the host keeps the fetched record to close it
        original.bstrDocID = SysAllocString(doc.bstrDocID);
        original.bstrLocalFile = SysAllocString(doc.bstrLocalFile);
        long index = 1;
        ok = ok && Check(Timed(1, [&] {
                             return p->GetSaveInfo(0, _bstr_t(kFormats), MASK_SILENT_NEW_VERSION, &index, &doc);
                         }),
                         L"GetSaveInfo", round);
        ok = ok && Check(Timed(2, [&] { return p->SaveDocument(&doc, 0); }), L"SaveDocument", round);
        if (ok)
        {
            const std::wstring strID = doc.bstrDocID;
            *pstrMade = strID.substr(strID.rfind(L'/') + 1);
        }
        ok = ok && Check(Timed(3, [&] { return p->CloseDocument(&doc, 1); }), L"CloseDocument", round);
        ok = ok && Check(Timed(3, [&] { return p->CloseDocument(&original, 0); }), L"CloseDocument (original)", round);
        FreeRecord(original);
    }
    FreeRecord(doc);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int rounds = std::max(200, argc > 1 ? _wtoi(argv[1]) : 1000);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    LONG lNumber = 0;
    if (FAILED(StandIn_Install(L"5.3")) || FAILED(StandIn_Reset()) || FAILED(StandIn_AddLibrary(kLibrary)) ||
        FAILED(StandIn_AddDocument(kLibrary, L"Road", L"MS WORD", "first", 5, &lNumber)))
    {
        fwprintf(stderr, L"could not prepare the DMS stand-in\n");
        return 1;
    }
    const std::wstring id = std::wstring(L"PowerDocs://") + kLibrary + L"/" + std::to_wstring(lNumber) + L"/1";
    // A host keeps its suite's activation-context loader loaded; the provider loads and frees it
    // around each use.
    const HMODULE hLoader = LoadLibraryW(L"CVActivationContextLoader.dll");
    int failed = 0;
    {
        ICVDocumentProvider7Ptr p;
        if (FAILED(p.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER)))
        {
            fwprintf(stderr, L"the provider is not registered\n");
            return 1;
        }
        wprintf(L"\nThe host's road of a save (fetch checked out, edit, silent save as a new version, close),\n"
                L"%d rounds in one process; ms per round over each stretch.\n", rounds);
        wprintf(L"  %11ls %8ls %8ls %8ls %6ls %8ls %5ls %5ls %10ls\n", L"rounds", L"wall", L"DMS", L"own", L"own %",
                L"handles", L"GDI", L"user", L"private KB");
        const int settled = rounds / 10;
        Footprint atSettled;
        Footprint last;
        int from = 1;
        for (int checkpoint : {settled, rounds / 2, rounds})
        {
            StandIn_ClearFaults();  // restarts the stand-in's time accounting
            std::fill(std::begin(g_stepSeconds), std::end(g_stepSeconds), 0.0);
            double wall = 0;
            double dms = 0;
            for (int r = from; r <= checkpoint; ++r)
            {
                std::wstring strMade;
                const double t0 = bench::Now();
                const double dDms0 = StandIn_DmsSeconds();
                failed += Round(p, id, r, &strMade) ? 0 : 1;
                wall += bench::Now() - t0;
                dms += StandIn_DmsSeconds() - dDms0;
                if (!strMade.empty())
                    RemoveVersion(lNumber, strMade);
            }
            wall /= checkpoint - from + 1;
            dms /= checkpoint - from + 1;
            last = Measure();
            if (checkpoint == settled)
                atSettled = last;
            wprintf(L"  %5d-%-5d %8.2f %8.2f %8.2f %5.1f%% %8lu %5lu %5lu %10lu\n", from, checkpoint, wall * 1e3,
                    dms * 1e3, (wall - dms) * 1e3, 100.0 * (wall - dms) / wall, last.handles, last.gdi, last.user,
                    static_cast<unsigned long>(last.privateBytes >> 10));
            const int n = checkpoint - from + 1;
            wprintf(L"  %11ls fetch %.2f, decide %.2f, save %.2f, close %.2f\n", L"", g_stepSeconds[0] * 1e3 / n,
                    g_stepSeconds[1] * 1e3 / n, g_stepSeconds[2] * 1e3 / n, g_stepSeconds[3] * 1e3 / n);
            from = checkpoint + 1;
        }
        // Growth after the first tenth: a few handles or objects may come and go with COM's own
        // caches; a leak of one per round would show in hundreds.
        const bool grew = last.handles > atSettled.handles + 20 || last.gdi > atSettled.gdi + 5 ||
                          last.user > atSettled.user + 5 || last.privateBytes > atSettled.privateBytes + (8u << 20);
        wprintf(L"  growth after round %d: %ld handles, %ld GDI, %ld user objects, %ld KB private%ls\n", settled,
                static_cast<long>(last.handles) - static_cast<long>(atSettled.handles),
                static_cast<long>(last.gdi) - static_cast<long>(atSettled.gdi),
                static_cast<long>(last.user) - static_cast<long>(atSettled.user),
                static_cast<long>((static_cast<long long>(last.privateBytes) - atSettled.privateBytes) >> 10),
                grew ? L"  <- GROWS" : L"");
        failed += grew ? 1 : 0;
    }
    CoFreeUnusedLibraries();
    if (hLoader)
        FreeLibrary(hLoader);
    const LONG live = StandIn_LiveObjects();
    wprintf(L"  DMS objects alive after the provider is gone: %ld; failed rounds: %d\n", live, failed);
    CoUninitialize();
    return failed == 0 && live == 0 ? 0 : 1;
}

// The host's whole road of a save, round after round in one process, through COM: fetch a
// document checked out, edit its local file, a silent save as a new version (GetSaveInfo, then
// SaveDocument into the record it returned), close; the version made is removed again between
// rounds, outside the time measured. Reports the time of a round, the time inside
// the DMS stand-in (each call's latency included) and the provider's own share of the rest, and
// checks that the process does not grow: handles, GDI and user objects and private memory after
// the first rounds, and no DMS object left alive. Exit code 1 when it grows. Then compares
// rounds through COM with the road's algorithms by hand (their own DMS calls made directly, in
// their order, and the copies), interleaved, and lists each step's DMS calls by method.
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
// Where a round lists each step's DMS calls (and starts each step's count afresh), if anywhere.
bench::CallUse* g_pStepCalls = nullptr;

// Runs one step of the road, adding its time to the step's total.
HRESULT Timed(int step, const std::function<HRESULT()>& call)
{
    const double t0 = bench::Now();
    const HRESULT hr = call();
    g_stepSeconds[step] += bench::Now() - t0;
    if (g_pStepCalls)
    {
        BSTR bstr = StandIn_CallStatistics();
        bench::CallUse use = bench::ParseCallStatistics(bstr);
        SysFreeString(bstr);
        StandIn_ClearFaults();
        for (const auto& m : use)
        {
            g_pStepCalls[step][m.first].calls += m.second.calls;
            g_pStepCalls[step][m.first].seconds += m.second.seconds;
        }
    }
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

// ---- the road by hand ----

using bench::CallUse;

// The calls and time of each step of the last round, by hand or through COM.
struct StepUse
{
    CallUse calls[4];
};

CallUse TakeCalls()
{
    BSTR bstr = StandIn_CallStatistics();
    CallUse use = bench::ParseCallStatistics(bstr);
    SysFreeString(bstr);
    StandIn_ClearFaults();
    return use;
}

void WriteEdit(const std::wstring& file, int round)
{
    const std::string edit = "edit of round " + std::to_string(round);
    HANDLE hFile = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cb = 0;
    if (hFile == INVALID_HANDLE_VALUE || !WriteFile(hFile, edit.data(), static_cast<DWORD>(edit.size()), &cb, nullptr))
        DmsCheck(HRESULT_FROM_WIN32(GetLastError()));
    CloseHandle(hFile);
}

// GetSaveInfo's algorithm for a silent new version, by hand: the application with the host's
// window, the lookup, what the dialog reads of the version and its profile, the library's
// application for the extension, the offline check, the version's users, the lock state, the
// right to a new version, the new version, and the record read back from it. Answers it.
std::wstring SaveInfoByHand(LONG lNumber)
{
    using namespace bench;
    IApplicationPtr pApp = ApplicationByHand();
    DmsCheck(pApp->put_ParentWindow(0));
    IVersionPtr pVersion = LookUpByHand(pApp, kLibrary, lNumber, L"1");
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    TextByHand(pVersion, &IVersion::get_Label);
    _bstr_t bstrComment;
    DmsCheck(pVersion->get_Comment(bstrComment.GetAddress()));
    long lDocNumber = 0;
    DmsCheck(pProfile->get_DocNumber(&lDocNumber));
    ILibraryPtr pLibrary;
    DmsCheck(pProfile->get_Library(&pLibrary));
    CheckNumberByHand(pProfile);
    IApplicationsPtr pApps;
    DmsCheck(pLibrary->get_Applications(&pApps));
    long lCount = 0;
    DmsCheck(pApps->get_Count(&lCount));
    for (long i = 1; i <= lCount; ++i)
    {
        IApplicationEntryPtr pEntry;
        DmsCheck(pApps->get_Item(_variant_t(i, VT_I4), &pEntry));
        if (_wcsicmp(TextByHand(pEntry, &IApplicationEntry::get_Extension), L"doc") == 0)
        {
            TextByHand(pEntry, &IApplicationEntry::get_ApplicationID);
            break;
        }
    }
    long lState = 0;
    DmsCheck(IApplicationStatePtr(pApp)->get_ConnectionState(&lState));
    const _variant_t vAuthor(TextByHand(pVersion, &IVersion::get_Author));
    const _variant_t vTypist(TextByHand(pVersion, &IVersion::get_Typist));
    IColumnsPtr pColumns;
    DmsCheck(pProfile->get_Columns(&pColumns));
    CheckNumberByHand(pProfile);
    IColumnPtr pColumn;
    DmsCheck(pColumns->get_Item(_variant_t(L"%CheckLocked"), &pColumn));
    CheckNumberByHand(pColumns);
    _variant_t vLocked;
    DmsCheck(pColumn->get_Value(&vLocked));
    CheckNumberByHand(pColumn);
    VARIANT_BOOL bCan = VARIANT_FALSE;
    DmsCheck(pVersion->get_CanNewVersion(&bCan));
    CheckNumberByHand(pVersion);
    IVersionPtr pNew;
    DmsCheck(pVersion->NewVersion(3, bstrComment, vAuthor, vTypist, 10, 10, &pNew));
    CheckNumberByHand(pVersion);
    IProfilePtr pNewProfile;
    DmsCheck(pNew->GetProfile(&pNewProfile));
    ILibraryPtr pNewLibrary;
    DmsCheck(pNewProfile->get_Library(&pNewLibrary));
    TextByHand(pNewLibrary, &ILibrary::get_Name);
    DmsCheck(pNewProfile->get_DocNumber(&lDocNumber));
    CheckNumberByHand(pNewProfile);
    const _bstr_t bstrLabel = TextByHand(pNew, &IVersion::get_Label);
    IColumnsPtr pNewColumns;
    DmsCheck(pNewProfile->get_Columns(&pNewColumns));
    RecordByHand(pNew, pNewProfile, pNewColumns);
    return static_cast<const wchar_t*>(bstrLabel);
}

// SaveDocument's algorithm by hand for a record checked out through the provider (DM 5): as the
// save bench's, with the profile selected with 3 and kept afterwards.
void SaveCheckedOutByHand(LONG lNumber, const std::wstring& strLabel, const std::wstring& file)
{
    using namespace bench;
    IApplicationPtr pApp = ApplicationByHand();
    IVersionPtr pVersion = LookUpByHand(pApp, kLibrary, lNumber, strLabel.c_str());
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    CheckNumberByHand(pVersion);
    short nStatus = 0;
    DmsCheck(pProfile->SelectForEdit(3, &nStatus));
    CheckNumberByHand(pProfile);
    if (!CopyFileW(file.c_str(), TextByHand(pVersion, &IVersion::get_FilePath), FALSE))
        DmsCheck(HRESULT_FROM_WIN32(GetLastError()));
    UploadByHand(pApp, pProfile, pVersion);
}

// CloseDocument's algorithm by hand for a record checked out through the provider (DM 5): the
// lookup, the local file given back to the profile, the profile released, the version unlocked.
void CloseByHand(LONG lNumber, const std::wstring& strLabel, const std::wstring& file)
{
    using namespace bench;
    IVersionPtr pVersion = LookUpByHand(ApplicationByHand(), kLibrary, lNumber, strLabel.c_str());
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    IDispatch* pResult = nullptr;
    DmsCheck(pProfile->PutLocalFile(0, 0, _bstr_t(file.c_str()), 0, &pResult));
    if (pResult)
        pResult->Release();
    CheckNumberByHand(pProfile);
    DmsCheck(pProfile->ReleaseDoc());
    CheckNumberByHand(pProfile);
    // The profile's release may have ended the check-out already: the unlock's status is not
    // checked.
    short nStatus = 0;
    DmsCheck(pVersion->UnlockVersion(0, &nStatus));
}

// One round of the road by hand; answers the label of the version it made.
std::wstring RoundByHand(LONG lNumber, int round, StepUse* pUse)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring file = std::wstring(szTemp) + L"quendrel-road-by-hand.doc";
    double copy = 0;
    StandIn_ClearFaults();
    bench::GetDocumentByHand(kLibrary, lNumber, file, true, &copy, true);
    pUse->calls[0] = TakeCalls();
    WriteEdit(file, round);
    const std::wstring strID = SaveInfoByHand(lNumber);
    pUse->calls[1] = TakeCalls();
    SaveCheckedOutByHand(lNumber, strID, file);
    pUse->calls[2] = TakeCalls();
    CloseByHand(lNumber, strID, file);
    CloseByHand(lNumber, L"1", file);
    DeleteFileW(file.c_str());
    pUse->calls[3] = TakeCalls();
    return strID;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const long lLatency = StandIn_CallLatency();
    // Where every call costs a round trip, fewer rounds show the same growth.
    const int rounds = lLatency > 0 ? 200 : std::max(200, argc > 1 ? _wtoi(argv[1]) : 1000);
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
                L"%d rounds in one process, %ld us per DMS call; ms per round over each stretch.\n", rounds, lLatency);
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

        // Rounds through COM and by hand, interleaved, with each step's calls counted.
        const int compared = lLatency > 0 ? 20 : 100;
        std::vector<double> wall[2], dms[2];
        StepUse steps[2];
        for (int r = 1; r <= compared && failed == 0; ++r)
        {
            for (int i = 0; i < 2; ++i)
            {
                StepUse use;
                std::wstring strMade;
                StandIn_ClearFaults();
                const double t0 = bench::Now();
                if (i == 0)
                {
                    g_pStepCalls = use.calls;
                    failed += Round(p, id, rounds + r, &strMade) ? 0 : 1;
                    g_pStepCalls = nullptr;
                }
                else
                {
                    try
                    {
                        strMade = RoundByHand(lNumber, rounds + r, &use);
                    }
                    catch (const _com_error& e)
                    {
                        fwprintf(stderr, L"the road by hand failed: 0x%08lX\n", static_cast<unsigned long>(e.Error()));
                        ++failed;
                    }
                }
                wall[i].push_back(bench::Now() - t0);
                double seconds = 0;
                for (const CallUse& step : use.calls)
                    for (const auto& m : step)
                        seconds += m.second.seconds;
                dms[i].push_back(seconds);
                steps[i] = use;
                if (!strMade.empty())
                    RemoveVersion(lNumber, strMade);
            }
        }
        if (failed == 0)
        {
            const bench::Stats a = bench::Summarise(wall[0]), b = bench::Summarise(wall[1]);
            wprintf(L"\n  The road through COM against its algorithms by hand, interleaved, %d rounds each, %ld us per\n"
                    L"  DMS call; ms, min / median: provider %.2f / %.2f (DMS %.2f), by hand %.2f / %.2f (DMS %.2f);\n"
                    L"  provider / by hand: %.2f (minima), %.2f (medians)\n",
                    compared, lLatency, a.min * 1e3, a.median * 1e3, bench::Summarise(dms[0]).median * 1e3,
                    b.min * 1e3, b.median * 1e3, bench::Summarise(dms[1]).median * 1e3, a.min / b.min,
                    a.median / b.median);
            const wchar_t* names[4] = {L"the fetch checked out", L"GetSaveInfo (silent new version)",
                                       L"SaveDocument (checked out)", L"the two CloseDocument calls"};
            for (int step = 0; step < 4; ++step)
                bench::PrintCallTable(names[step], steps[1].calls[step], steps[0].calls[step]);
        }
    }
    CoFreeUnusedLibraries();
    if (hLoader)
        FreeLibrary(hLoader);
    const LONG live = StandIn_LiveObjects();
    wprintf(L"  DMS objects alive after the provider is gone: %ld; failed rounds: %d\n", live, failed);
    CoUninitialize();
    return failed == 0 && live == 0 ? 0 : 1;
}

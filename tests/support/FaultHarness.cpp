#include "FaultHarness.h"

#include <comdef.h>
#include <shlobj.h>

#include <map>
#include <sstream>
#include <vector>

#include "../com/ComTestSupport.h"
#include "DmsStandInControl.h"

namespace fault_harness {

namespace {

using testing_support::Narrow;
using testing_support::ReadFileBytes;

std::string Hex(HRESULT hr)
{
    char sz[16];
    snprintf(sz, sizeof sz, "0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

ICVDocumentProvider7Ptr NewProvider()
{
    ICVDocumentProvider7Ptr pProvider;
    EXPECT_EQ(S_OK, pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    return pProvider;
}

// Stand-in objects alive once the module has let its parked DMS application go.
LONG SettledLiveObjects()
{
    CallDllCanUnloadNow();
    return StandIn_LiveObjects();
}

const wchar_t kUser[] = L"alice";
const wchar_t kOtherUser[] = L"bob";

// Opens a file without sharing (making its folder when missing): a copy onto it fails while open.
HANDLE HoldOpen(const std::wstring& strPath)
{
    SHCreateDirectoryExW(nullptr, strPath.substr(0, strPath.find_last_of(L"\\/")).c_str(), nullptr);
    return CreateFileW(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
}

// The stand-in's forms for Raised, ErrorNumber and Silent, and the letters it lists them by.
const LONG kStandInForms[] = {STANDIN_FAULT_RAISED, STANDIN_FAULT_ERROR_NUMBER, STANDIN_FAULT_SILENT};
const wchar_t kFormLetters[] = L"RES";

// The injection points of the calls counted since `before`: each form for the first three calls.
std::vector<FaultRun> PointsSince(const std::map<std::wstring, LONG>& before)
{
    std::vector<FaultRun> points;
    for (const StandInCall& call : StandIn_EachCountedCall())
    {
        auto it = before.find(call.strMethod);
        const LONG lCall = call.lCall - (it == before.end() ? 0 : it->second);
        for (int nForm = 0; nForm < 3 && lCall >= 1; ++nForm)
            if (call.strForms.find(kFormLetters[nForm]) != std::wstring::npos && (lCall <= 3 || nForm == 0))
                points.push_back({call.strMethod, lCall, static_cast<FaultForm>(nForm), S_OK, {}});
    }
    return points;
}

std::map<std::wstring, LONG> CallsSoFar()
{
    std::map<std::wstring, LONG> calls;
    for (const StandInCall& call : StandIn_EachCountedCall())
        calls[call.strMethod] = call.lCall;
    return calls;
}

// Whether the client stand-in is installed as a DM 6 client.
bool IsDM6()
{
    wchar_t sz[32] = {};
    DWORD cb = sizeof(sz);
    return RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\PowerDOCS", L"CurrentVersion", RRF_RT_REG_SZ,
                        nullptr, sz, &cb) == ERROR_SUCCESS && sz[0] == L'6';
}

CatalogCounts CountCatalog()
{
    const _bstr_t catalog(StandIn_ListCatalog(), false);
    std::wistringstream lines(catalog.length() ? static_cast<const wchar_t*>(catalog) : L"");
    CatalogCounts counts;
    // Profiles are listed indented by two, their versions by six, attachments marked.
    for (std::wstring line; std::getline(lines, line);)
        if (line.find(L"(attachment)") != std::wstring::npos)
            ++counts.nAttachments;
        else if (line.compare(0, 6, L"      ") == 0)
            ++counts.nVersions;
        else if (line.compare(0, 2, L"  ") == 0)
            ++counts.nProfiles;
    return counts;
}

// "IVersion::Fetch #2 (error number)", for failure messages.
std::string Where(const FaultRun& run)
{
    static const char* const kForms[] = {"raised", "error number", "status 0 without error number", "local copy"};
    if (run.form == FaultForm::LocalCopy)
        return "the local copy's target held open";
    return Narrow(run.strMethod) + " #" + std::to_string(run.lCall) + " (" + kForms[static_cast<int>(run.form)] + ")";
}

}  // namespace

int RunWithFaultAtEachCall(const Step& setup, const Operation& operation, const Check& check,
                           const std::function<std::wstring()>& localCopyTarget)
{
    // The clean run: its calls are the injection points. A run before it makes the calls that
    // only a process's first operation makes (the logon among them), so that the n-th call of a
    // method is the same call in the clean run and in every faulted run.
    std::vector<FaultRun> points;
    for (int nRun = 0; nRun < 2; ++nRun)
    {
        StandIn_ClearFaults();
        ICVDocumentProvider7Ptr pProvider = NewProvider();
        setup(pProvider);
        const std::map<std::wstring, LONG> before = CallsSoFar();
        const HRESULT hrClean = operation(pProvider);
        EXPECT_TRUE(SUCCEEDED(hrClean)) << "the operation fails without a fault: " << Hex(hrClean);
        points = PointsSince(before);
    }
    EXPECT_FALSE(points.empty()) << "the operation made no DMS call that can fail";
    const std::wstring strTarget = localCopyTarget ? localCopyTarget() : std::wstring();
    const LONG lBaseObjects = SettledLiveObjects();
    if (!strTarget.empty())
        points.push_back({L"", 0, FaultForm::LocalCopy, S_OK, {}});

    for (FaultRun& run : points)
    {
        SCOPED_TRACE(Where(run));
        StandIn_ClearFaults();
        ICVDocumentProvider7Ptr pProvider = NewProvider();
        setup(pProvider);
        run.before = CountCatalog();
        const bool bHeld = run.form == FaultForm::LocalCopy;
        const bool bExisted = GetFileAttributesW(strTarget.c_str()) != INVALID_FILE_ATTRIBUTES;
        const HANDLE hHeld = bHeld ? HoldOpen(strTarget) : INVALID_HANDLE_VALUE;
        EXPECT_TRUE(bHeld ? hHeld != INVALID_HANDLE_VALUE
                          : StandIn_InjectFaultForm(run.strMethod.c_str(), kStandInForms[static_cast<int>(run.form)],
                                                    run.lCall, FALSE) == S_OK)
            << "could not hold " << Narrow(strTarget) << " or inject the fault";
        long lOutstanding = 0;
        {
            testing_support::AllocationSpy spy;
            run.hr = operation(pProvider);
            // A fault the run did not reach must not strike the checks.
            if (!bHeld)
                StandIn_InjectFaultForm(run.strMethod.c_str(), STANDIN_FAULT_NONE, 0, FALSE);
            SetErrorInfo(0, nullptr);  // the error information the last failing call left
            pProvider = nullptr;
            EXPECT_GE(lBaseObjects, SettledLiveObjects()) << "a DMS object outlived the run";
            lOutstanding = spy.Outstanding();
        }
        if (hHeld != INVALID_HANDLE_VALUE)
            CloseHandle(hHeld);
        if (bHeld && !bExisted)
            DeleteFileW(strTarget.c_str());
        EXPECT_EQ(0, lOutstanding) << "strings or blocks left allocated";
        EXPECT_TRUE(run.form != FaultForm::LocalCopy || FAILED(run.hr))
            << "success with the copy's target held open: " << Hex(run.hr);
        check(run);
    }
    StandIn_ClearFaults();
    return static_cast<int>(points.size());
}

std::string StoredContent(LONG lDoc, const wchar_t* pszLabel, const wchar_t* pszLibrary)
{
    wchar_t sz[MAX_PATH] = {};
    const bool bCached = IsDM6() && StandIn_CacheFilePath(pszLibrary, lDoc, pszLabel, sz, MAX_PATH) == S_OK &&
                         GetFileAttributesW(sz) != INVALID_FILE_ATTRIBUTES;
    if (!bCached && StandIn_ServerFilePath(pszLibrary, lDoc, pszLabel, sz, MAX_PATH) != S_OK)
        return "<none>";
    return ReadFileBytes(sz);
}

::testing::AssertionResult StoredIsOldOrNew(LONG lDoc, const wchar_t* pszLabel, const std::string& old,
                                            const std::string& edit)
{
    const std::string stored = StoredContent(lDoc, pszLabel);
    if (stored == old || stored == edit)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "version " << Narrow(pszLabel) << " stores \"" << stored.substr(0, 64)
                                         << "\", neither the old content nor the new";
}

::testing::AssertionResult FetchHandsOutStored(LONG lDoc, const wchar_t* pszLabel)
{
    const std::string stored = StoredContent(lDoc, pszLabel);
    for (const wchar_t* pszUser : {kUser, kOtherUser})
    {
        StandIn_SetProcessUser(pszUser);
        std::string fetched;
        const HRESULT hr = FetchContent(NewProvider(), DmsStandInScope::Id(lDoc, pszLabel), 0, &fetched);
        StandIn_SetProcessUser(kUser);
        if (hr != S_OK)
            return ::testing::AssertionFailure() << "GetDocument by " << Narrow(pszUser) << " answers " << Hex(hr);
        if (fetched != stored)
            return ::testing::AssertionFailure() << "GetDocument by " << Narrow(pszUser) << " hands out \""
                                                 << fetched.substr(0, 64) << "\" while the DMS stores \""
                                                 << stored.substr(0, 64) << "\"";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult NothingHeld(LONG lDoc, bool bHeldBefore, long lRecordFlags)
{
    long lState = -1;
    _bstr_t owner;
    const HRESULT hr = NewProvider()->GetDocumentLockStatus(DmsStandInScope::Id(lDoc, L"1"), &lState, owner.GetAddress());
    if (hr != S_OK)
        return ::testing::AssertionFailure() << "GetDocumentLockStatus answers " << Hex(hr);
    if (bHeldBefore && lState != 1)
        return ::testing::AssertionFailure() << "lock state " << lState << ": the user's check-out went";
    if (bHeldBefore || (lRecordFlags & 1) != 0)
        return ::testing::AssertionSuccess();
    if (lState != 0)
        return ::testing::AssertionFailure() << "lock state " << lState << ": left checked out";
    if (StandIn_IsSelectedForEdit(L"LIB", lDoc))
        return ::testing::AssertionFailure() << "left selected for editing";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ResultIsHonest(const FaultRun& run, bool bDone, bool bCancelPossible)
{
    if (run.hr == S_OK)
        return bDone ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "S_OK, the work not done";
    if (run.hr == S_FALSE && !(bCancelPossible && run.form != FaultForm::Raised))
        return ::testing::AssertionFailure() << "S_FALSE, a cancel nobody made";
    if (SUCCEEDED(run.hr) && run.hr != S_FALSE)
        return ::testing::AssertionFailure() << "success code " << Hex(run.hr) << " for a failure";
    const CatalogCounts now = CountCatalog();
    if (now != run.before)
        return ::testing::AssertionFailure() << Hex(run.hr) << " with something half-made: "
                                             << now.nProfiles - run.before.nProfiles << " profiles, "
                                             << now.nVersions - run.before.nVersions << " versions, "
                                             << now.nAttachments - run.before.nAttachments << " attachments more";
    return ::testing::AssertionSuccess();
}

}  // namespace fault_harness

#pragma once
// The fault harness: an operation is run to learn its DMS calls, then once with each call failing,
// and after each faulted run the caller's check (made of the invariants below) runs.
#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <corvane/CorvaneHost.h>

namespace fault_harness {

// How the faulted call failed. LocalCopy: none did, the target of the copy was held open.
enum class FaultForm { Raised, ErrorNumber, Silent, LocalCopy };

// Profiles, versions (numbered labels) and attachments in the whole catalog.
struct CatalogCounts
{
    int nProfiles = 0, nVersions = 0, nAttachments = 0;
    bool operator!=(const CatalogCounts& o) const
    {
        return nProfiles != o.nProfiles || nVersions != o.nVersions || nAttachments != o.nAttachments;
    }
};

// One faulted run as the check sees it.
struct FaultRun
{
    std::wstring strMethod;  // empty for the local-copy run
    LONG lCall = 0;          // which call of the method failed, 1 for its first
    FaultForm form = FaultForm::Raised;
    HRESULT hr = S_OK;       // what the operation answered
    CatalogCounts before;    // the catalog as setup left it
};

// The host's side of one run: a fresh provider object for each run, released afterwards.
using Step = std::function<void(ICVDocumentProvider7* pProvider)>;
using Operation = std::function<HRESULT(ICVDocumentProvider7* pProvider)>;
using Check = std::function<void(const FaultRun& run)>;

// Runs the operation twice without a fault (the second run's DMS calls are the injection points),
// then once per injection point (the first three calls of a method in each form the stand-in can
// fail it in, later calls raised), then once with the file localCopyTarget names held open (none
// for ""): that run must fail. setup runs before each run; check after each faulted run, under a
// trace naming the fault; then no DMS object and no task-allocator block may outlive the run.
// The operation frees what the host would free. Answers the number of faulted runs.
int RunWithFaultAtEachCall(const Step& setup, const Operation& operation, const Check& check,
                           const std::function<std::wstring()>& localCopyTarget = {});

// ---- invariant checks for the callers' checks ----

// What the DMS holds for a version: on DM 5 its server file; on DM 6 its local-store file (where
// the copy is the save) when there is one, else the server file. "<none>" for no such version.
std::string StoredContent(LONG lDoc, const wchar_t* pszLabel, const wchar_t* pszLibrary = L"LIB");
// The version's stored content is exactly one of the two.
::testing::AssertionResult StoredIsOldOrNew(LONG lDoc, const wchar_t* pszLabel, const std::string& old,
                                            const std::string& edit);
// GetDocument hands out exactly what the DMS stores, to this process's user and to "bob".
::testing::AssertionResult FetchHandsOutStored(LONG lDoc, const wchar_t* pszLabel);
// Nothing taken is held: a document held before is still checked out to this user; one the
// record's Flags bit 0 says the host holds may be; any other is neither checked out nor selected.
::testing::AssertionResult NothingHeld(LONG lDoc, bool bHeldBefore, long lRecordFlags = 0);
// S_OK only when bDone; S_FALSE only when bCancelPossible and the fault was not raised (an empty
// form reads as a cancel); otherwise a failure code with the catalog as setup left it.
::testing::AssertionResult ResultIsHonest(const FaultRun& run, bool bDone, bool bCancelPossible = false);

}  // namespace fault_harness

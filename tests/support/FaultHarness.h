#pragma once
// The fault harness of the tests that drive the registered CmQuendrel.dll: an operation is run
// once to learn its DMS calls from the stand-in, then once per injection point with that one
// call failing, and after each faulted run the caller's invariants are checked. The invariant
// checks below are meant to be composed by the callers' checks.
#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <corvane/CorvaneHost.h>

namespace fault_harness {

// How the faulted call failed. LocalCopy: no DMS call failed, the target of the operation's
// copy was held open without sharing by another process.
enum class FaultForm
{
    Raised,
    ErrorNumber,
    Silent,
    LocalCopy,
};

// Profiles, versions (numbered labels) and attachments in the whole catalog.
struct CatalogCounts
{
    int nProfiles = 0;
    int nVersions = 0;
    int nAttachments = 0;
    bool operator==(const CatalogCounts& o) const
    {
        return nProfiles == o.nProfiles && nVersions == o.nVersions && nAttachments == o.nAttachments;
    }
};
CatalogCounts CountCatalog();

// One faulted run as the check sees it.
struct FaultRun
{
    std::wstring strMethod;  // empty for the local-copy run
    LONG lCall = 0;          // which call of the method failed, 1 for its first
    FaultForm form = FaultForm::Raised;
    HRESULT hr = S_OK;       // what the operation answered
    CatalogCounts before;    // the catalog as setup left it
    // "IVersion::Fetch #2 (error number)", for failure messages.
    std::string Where() const;
};

// The host's side of one run: a fresh provider object for each run, released afterwards.
using Step = std::function<void(ICVDocumentProvider7* pProvider)>;
using Operation = std::function<HRESULT(ICVDocumentProvider7* pProvider)>;
using Check = std::function<void(const FaultRun& run)>;

// Runs the operation twice without a fault (the second run's DMS calls, as every later run makes
// them, are the injection points), then once per injection point:
// every call up to the third of each method in each form the stand-in says the method can fail
// in, later calls raised; then once with the file localCopyTarget names (asked once, after the
// clean run; none when it is empty or answers "") held open by another process, a run that must
// fail. Before each run setup puts the catalog and files in a known state; after each faulted
// run check is called, and the harness itself checks that no DMS object and no task-allocator
// block outlived the run. The operation frees what the host would free before it returns.
// Answers the number of faulted runs.
int RunWithFaultAtEachCall(const Step& setup, const Operation& operation, const Check& check,
                           const std::function<std::wstring()>& localCopyTarget = {});

// ---- invariant checks for the callers' checks ----

// Whether the client stand-in is installed as a DM 6 client.
bool IsDM6();
// What the DMS holds for a version: on DM 5 its server file; on DM 6 its local-store file (where
// the copy is the save) when there is one, else the server file. "<none>" for no such version.
std::string StoredContent(LONG lDoc, const wchar_t* pszLabel, const wchar_t* pszLibrary = L"LIB");
// The file holds exactly the expected bytes.
::testing::AssertionResult FileHolds(const std::wstring& strPath, const std::string& expected);
// The version's stored content is exactly one of the two.
::testing::AssertionResult StoredIsOldOrNew(LONG lDoc, const wchar_t* pszLabel, const std::string& old,
                                            const std::string& edit);
// A GetDocument of the ID through the DLL hands out a file byte-equal to what the DMS stores,
// both to this process's user and to "bob".
::testing::AssertionResult FetchHandsOutStored(LONG lDoc, const wchar_t* pszLabel);
// Nothing taken is held: a document held before the call is still checked out to this user; one
// the record's Flags bit 0 says the host holds may be held; any other is neither checked out
// (lock state from the provider's GetDocumentLockStatus) nor selected for editing.
::testing::AssertionResult NothingHeld(LONG lDoc, bool bHeldBefore, long lRecordFlags = 0);
// S_OK only when bDone; S_FALSE only when bCancelPossible and the fault was not raised (an empty
// answer of a form reads as the user's cancel); otherwise a failure code with the catalog's
// counts as setup left them.
::testing::AssertionResult ResultIsHonest(const FaultRun& run, bool bDone, bool bCancelPossible = false);

}  // namespace fault_harness

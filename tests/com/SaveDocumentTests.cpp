// Writing a host's local file into its DMS version through the provider: both client
// generations, records checked out or not, content of every size, refusals, and a fault at
// every DMS call of the save without an edit lost or a lock left behind.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "DialogDriving.h"
#include "DocumentFixture.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class SaveDocumentTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strEdit = std::wstring(szTemp) + L"QuendrelEdit-" + std::to_wstring(GetCurrentProcessId()) + L".doc";
        Install(L"5.3");
    }
    // Installs a client generation and fetches the version once, as a host does before it
    // saves: the fetch makes the version's place in the DMS's local store.
    void Install(const wchar_t* pszVersion)
    {
        ASSERT_EQ(S_OK, StandIn_Install(pszVersion));
        HostDocument fetched;
        ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 0, &fetched.doc));
        DeleteFileW(fetched.LocalFile().c_str());
    }
    void TearDown() override
    {
        DeleteFileW(m_strEdit.c_str());
        DocumentTest::TearDown();
    }

    // Saves the host's edit into version 1 with a record checked out (Flags 1) or not.
    HRESULT Save(bool bCheckedOut) { return Save(m_pProvider, bCheckedOut ? 1 : 0); }
    HRESULT Save(ICVDocumentProvider7* pProvider, long lFlags)
    {
        HostDocument host;
        host.doc.bstrDocID = SysAllocString(Id(m_lDoc, L"1"));
        host.doc.bstrLocalFile = SysAllocString(m_strEdit.c_str());
        host.doc.lFlags = lFlags;
        const HRESULT hr = pProvider->SaveDocument(&host.doc, 0);
        m_lRecordFlags = host.doc.lFlags;
        return hr;
    }
    long m_lRecordFlags = 0;  // the record's Flags as the last Save left them

    // What the DMS holds for version 1: on DM 5 the server store, on DM 6 the local store,
    // where the copy is the save.
    std::string Stored(bool bDM6)
    {
        if (!bDM6)
            return ServerContent(m_lDoc, L"1");
        wchar_t sz[MAX_PATH] = {};
        EXPECT_EQ(S_OK, StandIn_CacheFilePath(L"LIB", m_lDoc, L"1", sz, MAX_PATH));
        return ReadFileBytes(sz);
    }

    void SaveLosesNoEdit(const wchar_t* pszVersion, long lFlags, bool bHeld);
    void SaveRoadLosesNoEdit(const wchar_t* pszVersion, long lMask);

    std::wstring m_strEdit;
};

TEST_F(SaveDocumentTest, WritesTheVersionAndGivesBackOnlyWhatItTook)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        const bool bDM6 = version[0] == L'6';
        Install(version);
        for (bool bCheckedOut : {false, true})
        {
            const std::string where = std::string(bDM6 ? "DM 6" : "DM 5") + (bCheckedOut ? ", checked out" : "");
            StandIn_SetLock(L"LIB", m_lDoc, bCheckedOut ? L"alice" : nullptr);
            const std::string edit = "edited on " + where;
            ASSERT_TRUE(WriteFileBytes(m_strEdit, edit));
            StandIn_ClearFaults();
            EXPECT_EQ(S_OK, Save(bCheckedOut)) << where;
            EXPECT_EQ(edit, Stored(bDM6)) << where;
            EXPECT_EQ(edit, ReadFileBytes(m_strEdit)) << "the host's file is only read: " << where;
            EXPECT_EQ(bDM6 ? 0 : 1, StandIn_CallCount(L"IVersion::UploadFile")) << where;
            EXPECT_EQ(bCheckedOut ? 1 : 0, LockState(m_lDoc)) << "a check-out stays, a save's own lock goes: " << where;
        }
    }
    Install(L"5.3");
    HostDocument fetched;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 0, &fetched.doc));
    EXPECT_EQ("edited on DM 5, checked out", ReadFileBytes(fetched.LocalFile())) << "a fetch returns the saved bytes";
    DeleteFileW(fetched.LocalFile().c_str());
}

TEST_F(SaveDocumentTest, ContentOfEverySizeComesBackExactly)
{
    std::mt19937 random(11);
    std::string big(50u << 20, '\0');
    for (char& c : big)
        c = static_cast<char>(random());
    for (const std::string& content : {std::string(), std::string(1, 'x'), big.substr(0, 1u << 20), big})
    {
        ASSERT_TRUE(WriteFileBytes(m_strEdit, content));
        ASSERT_EQ(S_OK, Save(false)) << content.size();
        HostDocument fetched;
        ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 0, &fetched.doc));
        EXPECT_TRUE(ReadFileBytes(fetched.LocalFile()) == content) << content.size() << " bytes";
        DeleteFileW(fetched.LocalFile().c_str());
    }
}

// The host's road through the provider: fetch checked out, edit, a silent save as a new
// version, then the content back from the ID the decision returned.
TEST_F(SaveDocumentTest, TheSaveDecisionPreparesTheTargetThatTheHostsSaveWrites)
{
    const wchar_t kFormats[] = L"Word Document (*.doc)|*.doc";
    HostDocument host;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, &host.doc));
    ASSERT_TRUE(WriteFileBytes(host.LocalFile(), "the new version"));
    long lIndex = 1;
    // A mask that needs a version, for a record without one: a failure, the record untouched.
    HostDocument loose;
    loose.doc.bstrLocalFile = SysAllocString(host.LocalFile().c_str());
    EXPECT_EQ(E_FAIL, m_pProvider->GetSaveInfo(0, _bstr_t(kFormats), 0x44, &lIndex, &loose.doc));
    EXPECT_EQ(nullptr, loose.doc.bstrDocID);

    ASSERT_EQ(S_OK, m_pProvider->GetSaveInfo(0, _bstr_t(kFormats), 0x44, &lIndex, &host.doc));
    EXPECT_EQ(0, _wcsicmp(static_cast<const wchar_t*>(Id(m_lDoc, L"3")), host.doc.bstrDocID)) << host.doc.bstrDocID;
    EXPECT_EQ(1, host.doc.lFlags);
    ASSERT_EQ(S_OK, m_pProvider->SaveDocument(&host.doc, 0));
    HostDocument back;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(host.doc.bstrDocID, 0, &back.doc));
    EXPECT_EQ("the new version", ReadFileBytes(back.LocalFile()));
    EXPECT_NE("the new version", ServerContent(m_lDoc, L"1"));
    EXPECT_EQ(S_OK, m_pProvider->CloseDocument(&host.doc, 0));
    EXPECT_EQ(0, LockState(m_lDoc));
    DeleteFileW(back.LocalFile().c_str());
}

// A version that a save decision made is checked out exactly when its record says so, and one
// that the host's save could not fill is deleted, never left empty as the document's latest:
// after a failed save (a retried save then fails, so that the host asks again) and after a
// close without a save. The user's own check-out stays until the user gives it back.
TEST_F(SaveDocumentTest, ATargetTheSaveCouldNotFillIsDeleted)
{
    const wchar_t kFormats[] = L"Word Document (*.doc)|*.doc";
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        Install(version);
        for (int road = 0; road < 3; ++road)  // held and failed save, held and closed, not held and closed
        {
            const bool bHeld = road < 2;
            const std::string where = std::string(version[0] == L'6' ? "DM 6, road " : "DM 5, road ") + char('0' + road);
            HostDocument host;
            ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), bHeld ? 2 : 0, &host.doc)) << where;
            long lIndex = 1;
            ASSERT_EQ(S_OK, m_pProvider->GetSaveInfo(0, _bstr_t(kFormats), 0x44, &lIndex, &host.doc)) << where;
            const std::wstring made = host.doc.bstrDocID;
            EXPECT_EQ(1, host.doc.lFlags & 1) << where;
            EXPECT_EQ(1, LockState(m_lDoc)) << "the record says checked out: " << where;
            if (road == 0)
            {
                const wchar_t* pszRefused = version[0] == L'6' ? L"IVersion::FilePath" : L"IVersion::UploadFile";
                ASSERT_EQ(S_OK, StandIn_InjectFault(pszRefused, S_OK, 11, 1, FALSE));
                EXPECT_TRUE(FAILED(m_pProvider->SaveDocument(&host.doc, 0))) << where;
                StandIn_ClearFaults();
                EXPECT_EQ(made, host.doc.bstrDocID) << where;
                EXPECT_EQ(E_PD_SAVE_FAILED, m_pProvider->SaveDocument(&host.doc, 0)) << where;
            }
            EXPECT_EQ(S_OK, m_pProvider->CloseDocument(&host.doc, 0)) << where;
            HostDocument probe;
            EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->GetDocument(_bstr_t(made.c_str()), 8, &probe.doc)) << where;
            EXPECT_EQ(bHeld ? 1 : 0, LockState(m_lDoc)) << where;
            StandIn_SetLock(L"LIB", m_lDoc, nullptr);
        }
    }
}

TEST_F(SaveDocumentTest, RefusalsAnswerACodeAndStoreNothing)
{
    const std::string old = ServerContent(m_lDoc, L"1");
    // No local file: the Windows error, no upload, nothing left taken.
    StandIn_ClearFaults();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Save(false));
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::UploadFile"));
    EXPECT_EQ(0, LockState(m_lDoc));

    // Another user holds the document: refused before the copy, their lock and content intact.
    ASSERT_TRUE(WriteFileBytes(m_strEdit, "not mine to save"));
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        Install(version);
        StandIn_SetLock(L"LIB", m_lDoc, L"bob");
        EXPECT_TRUE(FAILED(Save(false))) << version;
        std::wstring owner;
        EXPECT_EQ(2, LockState(m_lDoc, &owner));
        EXPECT_EQ(L"bob", owner);
        EXPECT_EQ(old, ServerContent(m_lDoc, L"1"));
    }
    StandIn_SetLock(L"LIB", m_lDoc, nullptr);

    HostDocument unknown;
    unknown.doc.bstrDocID = SysAllocString(L"PowerDocs://LIB/999999/1");
    unknown.doc.bstrLocalFile = SysAllocString(m_strEdit.c_str());
    EXPECT_EQ(E_PD_NO_DOCUMENT_FOR_ID, m_pProvider->SaveDocument(&unknown.doc, 0));
}

// The heart of saving: whichever DMS call fails, or the copy into the DMS's local store cannot be
// written, the host's file is as it was, the DMS holds the old content or the new and nothing
// between, a fetch hands out what is stored, what the save took is given back (a check-out the
// user held stays), and a success is answered only when the new content is stored.
void SaveDocumentTest::SaveLosesNoEdit(const wchar_t* pszVersion, long lFlags, bool bHeld)
{
    using namespace fault_harness;
    const std::string old = "stored before the save";
    const std::string edit = "the user's edit";
    Install(pszVersion);
    const std::string where = std::string(pszVersion[0] == L'6' ? "DM 6" : "DM 5") + ", Flags " +
                              std::to_string(lFlags) + (bHeld ? ", held" : "") + ": ";
    RunWithFaultAtEachCall(
        [&](ICVDocumentProvider7* p) {
            Reseed();
            HostDocument fetched;
            ASSERT_EQ(S_OK, p->GetDocument(Id(m_lDoc, L"1"), 0, &fetched.doc));
            DeleteFileW(fetched.LocalFile().c_str());
            ASSERT_TRUE(WriteFileBytes(m_strEdit, old));
            ASSERT_EQ(S_OK, Save(p, 0));
            StandIn_SetLock(L"LIB", m_lDoc, bHeld ? L"alice" : nullptr);
            ASSERT_TRUE(WriteFileBytes(m_strEdit, edit));
        },
        [&](ICVDocumentProvider7* p) { return Save(p, lFlags); },
        [&](const FaultRun& run) {
            SCOPED_TRACE(where + run.Where());
            EXPECT_TRUE(FileHolds(m_strEdit, edit));
            EXPECT_TRUE(StoredIsOldOrNew(m_lDoc, L"1", old, edit));
            EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"1") == edit));
            EXPECT_TRUE(NothingHeld(m_lDoc, bHeld, m_lRecordFlags));
            EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"1"));
        },
        [&] { return CacheFile(m_lDoc, L"1"); });
}

TEST_F(SaveDocumentTest, Dm6SaveLosesNoEditWhenAnyDmsCallFails)
{
    for (const long lFlags : {0L, 1L})
        for (const bool bHeld : {false, true})
            SaveLosesNoEdit(L"6.0", lFlags, bHeld);
}

TEST_F(SaveDocumentTest, Dm5SaveLosesNoEditWhenAnyDmsCallFails)
{
    for (const long lFlags : {0L, 1L})
        for (const bool bHeld : {false, true})
            SaveLosesNoEdit(L"5.3", lFlags, bHeld);
}

// The host's whole save road for a choice, silent: GetSaveInfo with the mask, SaveDocument into
// the record it prepared, CloseDocument. Whichever DMS call fails, or the copy cannot be written,
// the host's fetched file keeps the edit, the original holds the old content (Replace Original:
// old or new), the road answers S_OK only with the edit stored where the record names, nothing is
// half-made after a failure and a fetch hands out what is stored.
void SaveDocumentTest::SaveRoadLosesNoEdit(const wchar_t* pszVersion, long lMask)
{
    using namespace fault_harness;
    const std::string old = "version one";
    const std::string edit = "the host's edit";
    testing_support::ScopedRegValue location(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"ProgramLocation");
    location.SetString(testing_support::ProgramFolder());
    Install(pszVersion);
    const bool bDM6 = pszVersion[0] == L'6';
    char szWhere[32];
    snprintf(szWhere, sizeof szWhere, "DM %c, mask 0x%lX: ", bDM6 ? '6' : '5', lMask);
    const std::string where = szWhere;
    std::wstring fetched, target;
    long lFlags = 0;
    HRESULT hrClose = S_OK;
    RunWithFaultAtEachCall(
        [&](ICVDocumentProvider7* p) {
            Reseed();
            ASSERT_EQ(S_OK, StandIn_ScriptForms(bDM6 ? L"ok Projects\nok" : L"ok"));
            HostDocument host;
            ASSERT_EQ(S_OK, p->GetDocument(Id(m_lDoc, L"1"), 2, &host.doc));
            fetched = host.LocalFile();
            ASSERT_TRUE(WriteFileBytes(fetched, edit));
        },
        [&](ICVDocumentProvider7* p) {
            HostDocument host;
            host.doc.bstrDocID = SysAllocString(Id(m_lDoc, L"1"));
            host.doc.bstrLocalFile = SysAllocString(fetched.c_str());
            host.doc.bstrExtension = SysAllocString(L"doc");
            host.doc.lFlags = 1;
            long lIndex = 1;
            HRESULT hr = E_ABORT;
            auto getSaveInfo = [&] {
                hr = p->GetSaveInfo(0, _bstr_t(L"Word Document (*.doc)|*.doc"), lMask, &lIndex, &host.doc);
            };
            // New Subversion is never a silent default: the user picks it in the dialog.
            if (lMask & 0x40)
                getSaveInfo();
            else
            {
                bool bForced = false;
                dialog_driving::DriveDialog(getSaveInfo, [](HWND hDlg) {
                    SendMessageW(FindWindowExW(hDlg, nullptr, L"Button", L"New &Subversion"), BM_CLICK, 0, 0);
                    dialog_driving::Click(hDlg, IDOK);
                }, &bForced);
                EXPECT_FALSE(bForced) << "the dialog did not end";
            }
            target = host.doc.bstrDocID ? host.doc.bstrDocID : L"";
            if (hr == S_OK)
                hr = p->SaveDocument(&host.doc, 0);
            // A close that fails after a good save leaves the edit stored and the record's
            // check-out held for the host to give back: the road's answer is the save's.
            hrClose = hr == S_OK ? p->CloseDocument(&host.doc, 1) : E_ABORT;
            lFlags = host.doc.lFlags;
            return hr;
        },
        [&](const FaultRun& run) {
            SCOPED_TRACE(where + run.Where());
            LONG lTarget = 0;
            std::wstring label;
            ASSERT_TRUE(SplitId(target, &lTarget, &label)) << std::string(target.begin(), target.end());
            // The dialog's choice was taken: a subversion of version 1 is labelled 1A.
            EXPECT_TRUE(run.hr != S_OK || (lMask & 0x40) || label == L"1A") << std::string(label.begin(), label.end());
            EXPECT_TRUE(FileHolds(fetched, edit));
            EXPECT_TRUE(lMask == 0x48 ? StoredIsOldOrNew(m_lDoc, L"1", old, edit)
                                      : StoredIsOldOrNew(m_lDoc, L"1", old, old));
            EXPECT_TRUE(ResultIsHonest(run, StoredContent(lTarget, label.c_str()) == edit, lMask == 0x42));
            EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"1"));
            if (run.hr == S_OK)
            {
                EXPECT_TRUE(FetchHandsOutStored(lTarget, label.c_str()));
                EXPECT_TRUE(lTarget == m_lDoc ? ::testing::AssertionSuccess()
                                              : NothingHeld(lTarget, false, FAILED(hrClose) ? lFlags : 0));
            }
        },
        [&] {
            LONG lTarget = 0;
            std::wstring label;
            return SplitId(target, &lTarget, &label) ? CacheFile(lTarget, label.c_str()) : std::wstring();
        });
}

TEST_F(SaveDocumentTest, Dm5AttachmentRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"5.3", 0x41); }
TEST_F(SaveDocumentTest, Dm6AttachmentRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"6.0", 0x41); }
TEST_F(SaveDocumentTest, Dm5NewDocumentRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"5.3", 0x42); }
TEST_F(SaveDocumentTest, Dm6NewDocumentRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"6.0", 0x42); }
TEST_F(SaveDocumentTest, Dm5NewVersionRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"5.3", 0x44); }
TEST_F(SaveDocumentTest, Dm6NewVersionRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"6.0", 0x44); }
TEST_F(SaveDocumentTest, Dm5SubversionRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"5.3", 0x04); }
TEST_F(SaveDocumentTest, Dm6SubversionRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"6.0", 0x04); }
TEST_F(SaveDocumentTest, Dm5ReplaceRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"5.3", 0x48); }
TEST_F(SaveDocumentTest, Dm6ReplaceRoadLosesNoEditWhenAnyDmsCallFails) { SaveRoadLosesNoEdit(L"6.0", 0x48); }

// Two users in two processes: while one holds the document checked out, the other's save (a
// separate cvhost process) gets a failure code, and neither the holder's saved content nor the
// other user's file changes.
TEST_F(SaveDocumentTest, AnotherUsersSaveFromAnotherProcessIsRefused)
{
    const std::wstring cvhost = testing_support::ProgramFolder() + L"\\cvhost.exe";
    const std::wstring id = std::wstring(Id(m_lDoc, L"1"));
    const std::wstring bobsFile = m_strEdit + L".bob";
    ASSERT_TRUE(WriteFileBytes(bobsFile, "bob's edit"));
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        const bool bDM6 = version[0] == L'6';
        Install(version);
        HostDocument mine;
        ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, &mine.doc)) << bDM6;
        DeleteFileW(mine.LocalFile().c_str());
        const std::string aliceEdit = std::string("alice's edit on ") + (bDM6 ? "DM 6" : "DM 5");
        ASSERT_TRUE(WriteFileBytes(m_strEdit, aliceEdit));
        ASSERT_EQ(S_OK, Save(true)) << bDM6;

        SetEnvironmentVariableW(L"DMS_STANDIN_USER", L"bob");
        const int rc = testing_support::RunProgram(L"\"" + cvhost + L"\" save " + id + L" \"" + bobsFile + L"\"");
        StandIn_SetProcessUser(L"alice");
        EXPECT_EQ(1, rc) << "cvhost answers 1 for a failure code: " << bDM6;
        EXPECT_EQ(aliceEdit, Stored(bDM6)) << bDM6;
        EXPECT_EQ("bob's edit", ReadFileBytes(bobsFile)) << bDM6;
        std::wstring owner;
        EXPECT_EQ(1, LockState(m_lDoc, &owner)) << bDM6;
        EXPECT_EQ(L"alice", owner);
        EXPECT_EQ(S_OK, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 2)) << bDM6;
    }
    DeleteFileW(bobsFile.c_str());
}

// A failed save leaves the DMS's cache as it was, so that a fetch hands out what the DMS stores;
// a check-out the user held before stays held, even with a record of Flags 0; one the save
// could not give back after storing the edit is reported in the record, and its close (any
// record with bit 0) gives it back.
TEST_F(SaveDocumentTest, FailuresLeaveTheCacheAndTheCheckOutsTrue)
{
    const std::string stored = ServerContent(m_lDoc, L"1");
    ASSERT_TRUE(WriteFileBytes(m_strEdit, "unsaved edit"));
    for (bool bHeld : {false, true})
    {
        StandIn_SetLock(L"LIB", m_lDoc, bHeld ? L"alice" : nullptr);
        ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::UploadFile", S_OK, 11, 1, FALSE));
        EXPECT_EQ(E_PD_SERVER_CALL_FAILED, Save(false)) << bHeld;
        EXPECT_EQ(bHeld ? 1 : 0, LockState(m_lDoc)) << bHeld;
        HostDocument fetched;
        ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 0, &fetched.doc));
        EXPECT_EQ(stored, ReadFileBytes(fetched.LocalFile())) << "the unsaved edit was handed out: " << bHeld;
        DeleteFileW(fetched.LocalFile().c_str());
    }
    EXPECT_EQ(S_OK, Save(false));
    EXPECT_EQ("unsaved edit", ServerContent(m_lDoc, L"1"));
    EXPECT_EQ(1, LockState(m_lDoc)) << "the user's own check-out was given back";

    StandIn_SetLock(L"LIB", m_lDoc, nullptr);
    HostDocument host;
    host.doc.bstrDocID = SysAllocString(Id(m_lDoc, L"1"));
    host.doc.bstrLocalFile = SysAllocString(m_strEdit.c_str());
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IProfile::ReleaseDoc", S_OK, 9, 1, FALSE));
    EXPECT_EQ(S_OK, m_pProvider->SaveDocument(&host.doc, 0));
    EXPECT_EQ(1, host.doc.lFlags & 1) << "a check-out held behind an S_OK";
    EXPECT_EQ(1, LockState(m_lDoc));
    host.doc.lFlags = 3;
    EXPECT_EQ(S_OK, m_pProvider->CloseDocument(&host.doc, 1));
    EXPECT_EQ(0, LockState(m_lDoc));
}

// A host process killed at any DMS call of a save (nothing runs on its way out) leaves a safe
// state: the stored content is the old or the new; either the document is free and a fetch hands
// out what is stored, or it is checked out to the user, whose fetch, save and close then store
// what the fetch handed out, the old content or the edit and nothing between.
TEST_F(SaveDocumentTest, AHostKilledInTheMiddleOfASaveLeavesASafeState)
{
    using namespace fault_harness;
    const std::wstring cvhost = testing_support::ProgramFolder() + L"\\cvhost.exe";
    const std::wstring id = std::wstring(Id(m_lDoc, L"1"));
    const std::string old = "stored before the save";
    const std::string edit = "the edit of the killed host";
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        Install(version);
        for (const bool bCheckedOut : {false, true})
        {
            int nExit = 99;
            int nKilled = 0;
            for (int nCall = 1; nExit == 99 && nCall < 200; ++nCall)
            {
                const std::string where = std::string(version[0] == L'6' ? "DM 6" : "DM 5") +
                                          (bCheckedOut ? ", checked out" : "") + ", killed at call " +
                                          std::to_string(nCall);
                StandIn_SetLock(L"LIB", m_lDoc, nullptr);
                ASSERT_TRUE(WriteFileBytes(m_strEdit, old));
                ASSERT_EQ(S_OK, Save(m_pProvider, 0)) << where;
                StandIn_SetLock(L"LIB", m_lDoc, bCheckedOut ? L"alice" : nullptr);
                ASSERT_TRUE(WriteFileBytes(m_strEdit, edit));
                SetEnvironmentVariableW(L"DMS_STANDIN_END_AT", std::to_wstring(nCall).c_str());
                nExit = testing_support::RunProgram(L"\"" + cvhost + L"\" save " + id + L" \"" + m_strEdit + L"\"" +
                                                    (bCheckedOut ? L" --checked-out" : L""));
                SetEnvironmentVariableW(L"DMS_STANDIN_END_AT", nullptr);
                nKilled += nExit == 99;
                StandIn_ClearFaults();
                EXPECT_TRUE(StoredIsOldOrNew(m_lDoc, L"1", old, edit)) << where;
                if (LockState(m_lDoc) == 0)
                {
                    EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"1")) << where;
                    continue;
                }
                HostDocument mine;
                ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, &mine.doc)) << where;
                const std::string fetched = ReadFileBytes(mine.LocalFile());
                EXPECT_TRUE(fetched == old || fetched == edit) << where;
                EXPECT_EQ(S_OK, m_pProvider->SaveDocument(&mine.doc, 0)) << where;
                EXPECT_EQ(S_OK, m_pProvider->CloseDocument(&mine.doc, 0)) << where;
                EXPECT_EQ(fetched, StoredContent(m_lDoc, L"1")) << where;
            }
            EXPECT_EQ(0, nExit) << "the save runs to its end once no call ends it";
            EXPECT_GT(nKilled, 10) << "a save makes more DMS calls than that";
        }
    }
}

}  // namespace

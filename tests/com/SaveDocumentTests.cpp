// Saving a host's local file into its DMS version through the provider: both client generations,
// refusals, and a fault at every DMS call without an edit lost or a lock left behind.

#include "DialogDriving.h"
#include "DocumentFixture.h"

namespace {

using fault_harness::StoredContent;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class SaveDocumentTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        m_strEdit = TempFile(L"QuendrelEdit.doc");
        Install(L"5.3");
    }
    // Installs a client generation and fetches version 1 as a host does before it saves (which
    // makes its place in the DMS's local store).
    void Install(const wchar_t* pszVersion)
    {
        ASSERT_EQ(S_OK, StandIn_Install(pszVersion));
        HRESULT hr = E_FAIL;
        Fetched(Id(m_lDoc, L"1"), 0, &hr);
        ASSERT_EQ(S_OK, hr);
    }
    // Saves the host's edit into version 1 with a record checked out (Flags 1) or not.
    HRESULT Save(bool bCheckedOut) { return Save(m_pProvider, bCheckedOut ? 1 : 0); }
    HRESULT Save(ICVDocumentProvider7* pProvider, long lFlags, const wchar_t* pszID = nullptr)
    {
        HostDocument host;
        host.doc.bstrDocID = pszID ? SysAllocString(pszID) : Id(m_lDoc, L"1").copy();
        host.doc.bstrLocalFile = SysAllocString(m_strEdit.c_str());
        host.doc.lFlags = lFlags;
        const HRESULT hr = pProvider->SaveDocument(&host.doc, 0);
        m_lRecordFlags = host.doc.lFlags;
        return hr;
    }
    long m_lRecordFlags = 0;  // the record's Flags as the last Save left them

    void SaveLosesNoEdit(const wchar_t* pszVersion);
    void SaveRoadLosesNoEdit(const wchar_t* pszVersion, long lMask);

    std::wstring m_strEdit;
};

// DM 5 uploads the host's file; on DM 6 the copy into the local store is the save.
TEST_F(SaveDocumentTest, WritesTheVersionOnBothClientGenerations)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        const bool bDM6 = version[0] == L'6';
        Install(version);
        const std::string edit = bDM6 ? "edited on DM 6" : "edited on DM 5";
        ASSERT_TRUE(WriteFileBytes(m_strEdit, edit));
        StandIn_ClearFaults();
        EXPECT_EQ(S_OK, Save(false)) << edit;
        EXPECT_EQ(edit, StoredContent(m_lDoc, L"1"));
        EXPECT_EQ(bDM6 ? 0 : 1, StandIn_CallCount(L"IVersion::UploadFile")) << edit;
        EXPECT_EQ(0, LockState(m_lDoc)) << "the save's own check-out went: " << edit;
    }
}

// A version a save decision made is checked out as its record says, and deleted when the save
// failed (a retry fails too) or the record was closed unsaved; the user's own check-out stays.
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
            // A mask that needs a version, for a record without one: a failure, the record untouched.
            HostDocument loose;
            loose.doc.bstrLocalFile = SysAllocString(host.LocalFile().c_str());
            EXPECT_EQ(E_FAIL, m_pProvider->GetSaveInfo(0, _bstr_t(kFormats), 0x44, &lIndex, &loose.doc));
            EXPECT_EQ(nullptr, loose.doc.bstrDocID);
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
            HRESULT hr = S_OK;
            Fetched(_bstr_t(made.c_str()), 8, &hr);
            EXPECT_EQ(E_DOCUMENT_NOT_FOUND, hr) << where;
            EXPECT_EQ(bHeld ? 1 : 0, LockState(m_lDoc)) << where;
            StandIn_SetLock(L"LIB", m_lDoc, nullptr);
        }
    }
}

TEST_F(SaveDocumentTest, RefusalsAnswerACodeAndStoreNothing)
{
    const std::string old = ServerContent(m_lDoc, L"1");
    // No local file: the Windows error, no upload, nothing left taken.
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

    EXPECT_EQ(E_PD_NO_DOCUMENT_FOR_ID, Save(m_pProvider, 0, L"PowerDocs://LIB/999999/1"));
}

// Whichever DMS call fails, or the copy into the local store: the host's file is as it was, the
// DMS holds the old content or the new, a fetch hands out what is stored, what the save took is
// given back (a check-out the user held stays), and S_OK means the new content is stored.
void SaveDocumentTest::SaveLosesNoEdit(const wchar_t* pszVersion)
{
    using namespace fault_harness;
    const std::string old = "stored before the save";
    const std::string edit = "the user's edit";
    Install(pszVersion);
    for (const long lFlags : {0L, 1L})
        for (const bool bHeld : {false, true})
        {
            const std::string where = "Flags " + std::to_string(lFlags) + (bHeld ? ", held: " : ": ");
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
                    SCOPED_TRACE(where);
                    EXPECT_EQ(edit, ReadFileBytes(m_strEdit));
                    EXPECT_TRUE(StoredIsOldOrNew(m_lDoc, L"1", old, edit));
                    EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"1") == edit));
                    EXPECT_TRUE(NothingHeld(m_lDoc, bHeld, m_lRecordFlags));
                    EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"1"));
                },
                [&] { return CacheFile(m_lDoc, L"1"); });
        }
}

TEST_F(SaveDocumentTest, Dm6SaveLosesNoEditWhenAnyDmsCallFails) { SaveLosesNoEdit(L"6.0"); }
TEST_F(SaveDocumentTest, Dm5SaveLosesNoEditWhenAnyDmsCallFails) { SaveLosesNoEdit(L"5.3"); }

// The host's whole save road for a choice (GetSaveInfo, SaveDocument, CloseDocument), a fault at
// each DMS call or the copy: the host's file keeps the edit, the original the old content (Replace:
// old or new), S_OK only with the edit stored where the record names, a fetch hands out the stored.
void SaveDocumentTest::SaveRoadLosesNoEdit(const wchar_t* pszVersion, long lMask)
{
    using namespace fault_harness;
    const std::string old = "version one";
    const std::string edit = "the host's edit";
    testing_support::ScopedRegValue location(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"ProgramLocation");
    location.SetString(testing_support::ProgramFolder());
    Install(pszVersion);
    const bool bDM6 = pszVersion[0] == L'6';
    const std::string where = std::string(bDM6 ? "DM 6" : "DM 5") + ", mask " + std::to_string(lMask) + ": ";
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
            // A close failing after a good save leaves the check-out to the host: the save answers.
            hrClose = hr == S_OK ? p->CloseDocument(&host.doc, 1) : E_ABORT;
            lFlags = host.doc.lFlags;
            return hr;
        },
        [&](const FaultRun& run) {
            SCOPED_TRACE(where);
            LONG lTarget = 0;
            std::wstring label;
            ASSERT_TRUE(SplitId(target, &lTarget, &label)) << std::string(target.begin(), target.end());
            // The dialog's choice was taken: a subversion of version 1 is labelled 1A.
            EXPECT_TRUE(run.hr != S_OK || (lMask & 0x40) || label == L"1A") << std::string(label.begin(), label.end());
            EXPECT_EQ(edit, ReadFileBytes(fetched));
            EXPECT_TRUE(StoredIsOldOrNew(m_lDoc, L"1", old, lMask == 0x48 ? edit : old));
            EXPECT_TRUE(ResultIsHonest(run, StoredContent(lTarget, label.c_str()) == edit, lMask == 0x42));
            EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"1"));
            if (run.hr == S_OK)
            {
                EXPECT_TRUE(FetchHandsOutStored(lTarget, label.c_str()));
                EXPECT_TRUE(lTarget == m_lDoc ? ::testing::AssertionSuccess()
                                              : NothingHeld(lTarget, false, FAILED(hrClose) ? lFlags : 0));
            }
        },
        [&] { return CacheFile(target); });
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

// A check-out the save could not give back is reported in the record and given back by its close.
TEST_F(SaveDocumentTest, ACheckOutTheSaveCouldNotGiveBackIsReportedAndClosed)
{
    ASSERT_TRUE(WriteFileBytes(m_strEdit, "unsaved edit"));
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

}  // namespace

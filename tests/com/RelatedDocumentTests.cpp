// Related documents through the provider: listing attachments, relating a local file (a new
// attachment or one of the same kind replaced), deleting, each with a fault at every DMS call.

#include "DocumentFixture.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class RelatedDocumentTest : public DocumentTest
{
protected:
    std::wstring LocalFile(const std::wstring& strName, const std::string& content)
    {
        const std::wstring strPath = TempFile(strName);
        EXPECT_TRUE(WriteFileBytes(strPath, content));
        return strPath;
    }

    // Relates a local file to the document ID; *pstrID receives the returned record's ID.
    HRESULT Relate(const std::wstring& strFile, const wchar_t* pszExtension, const _bstr_t& parent,
                   std::wstring* pstrID = nullptr, ICVDocumentProvider7* pProvider = nullptr)
    {
        HostDocument host;
        host.doc.bstrLocalFile = SysAllocString(strFile.c_str());
        host.doc.bstrExtension = SysAllocString(pszExtension);
        const HRESULT hr = Provider(pProvider)->RelateDocument(&host.doc, parent);
        if (pstrID)
            *pstrID = host.doc.bstrDocID ? host.doc.bstrDocID : L"";
        return hr;
    }

    // The related documents of an ID as "<label>;" each, in the order listed ("?;" for an ID not
    // of m_lDoc); a failed list must hand nothing to the host.
    HRESULT Related(const _bstr_t& id, std::wstring* pListed, ICVDocumentProvider7* pProvider = nullptr)
    {
        long lCount = -1;
        CVDOCUMENT* pDocs = nullptr;
        const HRESULT hr = Provider(pProvider)->GetRelatedDocuments(id, &lCount, &pDocs);
        const std::wstring prefix(Id(m_lDoc, L""));
        *pListed = FAILED(hr) && pDocs ? L"leaked" : L"";
        for (long i = 0; SUCCEEDED(hr) && pDocs && i < lCount; ++i)
        {
            const std::wstring docID = pDocs[i].bstrDocID ? pDocs[i].bstrDocID : L"";
            *pListed += (docID.compare(0, prefix.size(), prefix) == 0 ? docID.substr(prefix.size()) : L"?") + L";";
            FreeHostDocument(pDocs[i]);
        }
        CoTaskMemFree(pDocs);
        return hr;
    }

    // Runs the operation with a fault at each DMS call (or the copy onto the attachment labelled
    // pszCopiedTo held open); besides the scenario's own check: never S_FALSE, and nothing left
    // taken while the document exists.
    void RunWithFaults(const fault_harness::Step& setup, const fault_harness::Operation& operation,
                       const fault_harness::Check& check, const wchar_t* pszCopiedTo = nullptr)
    {
        fault_harness::RunWithFaultAtEachCall(
            setup, operation,
            [&](const fault_harness::FaultRun& run) {
                EXPECT_NE(S_FALSE, run.hr);
                check(run);
                EXPECT_TRUE(Stored(L"1") ? fault_harness::NothingHeld(m_lDoc, false) : ::testing::AssertionSuccess());
            },
            [&] { return pszCopiedTo ? CacheFile(m_lDoc, pszCopiedTo) : std::wstring(); });
    }
    // The catalog as the fault runs start from: versions 1 and 2, attachments TXT and PDF.
    void SeedAttachments()
    {
        Reseed();
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "kept attachment", 15, L""));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf", 3, L""));
    }
    bool Stored(const wchar_t* pszLabel) { return fault_harness::StoredContent(m_lDoc, pszLabel) != "<none>"; }
};

TEST_F(RelatedDocumentTest, OnlyAttachmentsAreRelatedDocuments)
{
    std::wstring listed;
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"1"), &listed));
    EXPECT_EQ(L"", listed) << "versions 1 and 2 are not related documents";

    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf bytes", 9, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2A", "sub", 3, L""));
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"2"), &listed));
    EXPECT_EQ(L"PDF;", listed);

    // An attachment's ID lists its siblings and itself, in the DMS's order.
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "text", 4, L""));
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"PDF"), &listed));
    EXPECT_EQ(L"PDF;TXT;", listed);

    // An attachment the DMS gives no label is not listed: its ID would name the current version.
    ASSERT_EQ(S_OK, StandIn_SetVersionLabel(L"LIB", m_lDoc, L"TXT", L""));
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"PDF"), &listed));
    EXPECT_EQ(L"PDF;", listed);

    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, Related(_bstr_t(L"PowerDocs://LIB/999999/1"), &listed));
    EXPECT_EQ(L"", listed);
}

TEST_F(RelatedDocumentTest, ParametersAndKindsAreChecked)
{
    // Report.DOCX is attached under "doc", its extension's first three letters in lower case.
    std::wstring strID;
    ASSERT_EQ(S_OK, Relate(LocalFile(L"Report.DOCX", "docx one"), L"", Id(m_lDoc, L"1"), &strID));
    EXPECT_EQ(std::wstring(Id(m_lDoc, L"doc")), strID);

    // A file of another kind never overwrites the attachment kept under its extension.
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"RTF", "rich text", 9, L""));
    EXPECT_EQ(E_FAIL, Relate(LocalFile(L"Letter.rtfx", "other kind"), L"", Id(m_lDoc, L"1")));
    EXPECT_EQ("rich text", ServerContent(m_lDoc, L"RTF"));
    EXPECT_EQ(S_OK, Relate(LocalFile(L"Letter.rtf", "same kind"), L"rtf", Id(m_lDoc, L"1"), &strID));
    EXPECT_EQ(std::wstring(Id(m_lDoc, L"RTF")), strID);
    EXPECT_EQ("same kind", ServerContent(m_lDoc, L"RTF"));
    std::wstring listed;
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"1"), &listed));
    EXPECT_EQ(0, _wcsicmp(L"doc;RTF;", listed.c_str())) << "replaced in place, nothing added";

    // An extension that begins with a digit would name version 1 itself: refused, nothing called.
    const std::string old = ServerContent(m_lDoc, L"1");
    StandIn_ClearFaults();
    EXPECT_EQ(E_FAIL, Relate(LocalFile(L"Notes.1", "over version one"), L"", Id(m_lDoc, L"1")));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::AddFileForAttachment") + StandIn_CallCount(L"IProfile::SelectForEdit"));
    EXPECT_EQ(old, ServerContent(m_lDoc, L"1"));
    EXPECT_EQ(E_INVALIDARG, Relate(LocalFile(L"README", "no extension"), L"", Id(m_lDoc, L"1")));
    EXPECT_EQ(E_INVALIDARG, Relate(L"", L"txt", Id(m_lDoc, L"1")));
    EXPECT_EQ(E_LOCAL_FILE_NOT_FOUND, Relate(TempFile(L"missing.txt"), L"txt", Id(m_lDoc, L"1")));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, Relate(LocalFile(L"a.txt", "a"), L"", _bstr_t(L"PowerDocs://LIB/999999/1")));
}

// Relating onto an attachment of the same kind replaces its content (DM 5 uploads it; on DM 6
// the copy into the local store is the save) and gives back only what the relating took.
TEST_F(RelatedDocumentTest, RelatingReplacesOnBothClientsAndGivesBackOnlyWhatItTook)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "kept attachment", 15, L""));
    for (const wchar_t* version : {L"5.3", L"6.0"})
        for (bool bHeld : {false, true})
        {
            ASSERT_EQ(S_OK, StandIn_Install(version));
            StandIn_SetLock(L"LIB", m_lDoc, bHeld ? L"alice" : nullptr);
            StandIn_ClearFaults();
            const std::string content = std::string(bHeld ? "held on DM " : "free on DM ") + char(version[0]);
            EXPECT_EQ(S_OK, Relate(LocalFile(L"held.txt", content), L"", Id(m_lDoc, L"1"))) << content;
            EXPECT_EQ(content, fault_harness::StoredContent(m_lDoc, L"TXT"));
            EXPECT_EQ(version[0] == L'6' ? 0 : 1, StandIn_CallCount(L"IVersion::UploadFile")) << content;
            EXPECT_EQ(bHeld ? 1 : 0, LockState(m_lDoc)) << (bHeld ? "the user's check-out stays" : "nothing stays taken");
            EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", m_lDoc));
        }
}

TEST_F(RelatedDocumentTest, DeletionDeletesExactlyWhatTheIdNames)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf", 3, L""));
    // An ID without a label names the current version: refused, nothing deleted.
    EXPECT_EQ(E_INVALIDARG, m_pProvider->DeleteDocument(Id(m_lDoc, L"")));
    EXPECT_TRUE(Stored(L"2"));

    // Without the right to delete versions the attachment stays and the refusal is reported.
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", FALSE));
    EXPECT_TRUE(FAILED(m_pProvider->DeleteDocument(Id(m_lDoc, L"PDF"))));
    EXPECT_TRUE(Stored(L"PDF"));
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", TRUE));

    EXPECT_EQ(S_OK, m_pProvider->DeleteDocument(Id(m_lDoc, L"PDF")));
    EXPECT_FALSE(Stored(L"PDF"));
    EXPECT_EQ("version one", Fetched(Id(m_lDoc, L"1"))) << "only the attachment goes";
    EXPECT_TRUE(Stored(L"2"));

    // A silent refusal of the whole document's deletion is E_ACCESSDENIED.
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteDocuments", FALSE));
    EXPECT_EQ(E_ACCESSDENIED, m_pProvider->DeleteDocument(Id(m_lDoc, L"1")));
    EXPECT_TRUE(Stored(L"1"));
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteDocuments", TRUE));

    // A numbered version's ID deletes the whole document.
    EXPECT_EQ(S_OK, m_pProvider->DeleteDocument(Id(m_lDoc, L"1")));
    EXPECT_FALSE(Stored(L"2"));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->DeleteDocument(Id(m_lDoc, L"1")));
}

// A fault at every DMS call, or the copy onto the attachment held open: a failure code unless the
// operation happened, nothing half-made, deleted or overwritten wrongly, the local file intact.
TEST_F(RelatedDocumentTest, DeletingADocumentDeletesAllOrNothingWhenAnyDmsCallFails)
{
    RunWithFaults([&](ICVDocumentProvider7*) { SeedAttachments(); },
                  [&](ICVDocumentProvider7* p) { return p->DeleteDocument(Id(m_lDoc, L"2")); },
                  [&](const fault_harness::FaultRun& run) {
                      for (const wchar_t* label : {L"1", L"2", L"TXT"})
                          EXPECT_EQ(FAILED(run.hr), Stored(label));
                  });
}

TEST_F(RelatedDocumentTest, ListingNamesNoWrongDocumentWhenAnyDmsCallFails)
{
    std::wstring listed;
    RunWithFaults([&](ICVDocumentProvider7*) { SeedAttachments(); },
                  [&](ICVDocumentProvider7* p) { return Related(Id(m_lDoc, L"1"), &listed, p); },
                  [&](const fault_harness::FaultRun&) {
                      // An attachment the DMS cannot describe is left out; nothing else is listed.
                      EXPECT_TRUE(listed == L"TXT;PDF;" || listed == L"TXT;" || listed == L"PDF;" || listed.empty()) << listed;
                  });
}

TEST_F(RelatedDocumentTest, RelatingANewAttachmentChangesNothingWrongWhenAnyDmsCallFails)
{
    using namespace fault_harness;
    const std::wstring strNew = LocalFile(L"New.pdf", "new attachment");
    RunWithFaults(
        [&](ICVDocumentProvider7* p) {
            SeedAttachments();
            ASSERT_EQ(S_OK, p->DeleteDocument(Id(m_lDoc, L"PDF")));
        },
        [&](ICVDocumentProvider7* p) { return Relate(strNew, L"", Id(m_lDoc, L"1"), nullptr, p); },
        [&](const FaultRun& run) {
            EXPECT_EQ("new attachment", ReadFileBytes(strNew));
            EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"pdf") == "new attachment"));
            EXPECT_TRUE(Stored(L"pdf") ? FetchHandsOutStored(m_lDoc, L"pdf") : ::testing::AssertionSuccess());
        });
}

TEST_F(RelatedDocumentTest, RelatingOntoAnAttachmentChangesNothingWrongWhenAnyDmsCallFails)
{
    using namespace fault_harness;
    const std::wstring strReplace = LocalFile(L"Replace.txt", "replacement");
    RunWithFaults([&](ICVDocumentProvider7*) { SeedAttachments(); },
                  [&](ICVDocumentProvider7* p) { return Relate(strReplace, L"", Id(m_lDoc, L"1"), nullptr, p); },
                  [&](const FaultRun& run) {
                      EXPECT_EQ("replacement", ReadFileBytes(strReplace));
                      EXPECT_TRUE(StoredIsOldOrNew(m_lDoc, L"TXT", "kept attachment", "replacement"));
                      EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"TXT") == "replacement"));
                      EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"TXT"));
                  },
                  L"TXT");
}

TEST_F(RelatedDocumentTest, DeletingAnAttachmentChangesNothingWrongWhenAnyDmsCallFails)
{
    RunWithFaults([&](ICVDocumentProvider7*) { SeedAttachments(); },
                  [&](ICVDocumentProvider7* p) { return p->DeleteDocument(Id(m_lDoc, L"PDF")); },
                  [&](const fault_harness::FaultRun& run) {
                      EXPECT_EQ(FAILED(run.hr), Stored(L"PDF"));
                      EXPECT_TRUE(Stored(L"1") && Stored(L"2") && Stored(L"TXT"));
                  });
}

}  // namespace

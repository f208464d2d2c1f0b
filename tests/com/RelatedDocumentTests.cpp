// Related documents through the provider: listing a document's attachments, relating a local
// file to a document (new attachment or replacement of one of the same kind), deleting an
// attachment or a whole document, and a fault at every DMS call of each without a wrong
// deletion, a lost attachment or a DMS object left behind.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DocumentFixture.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class RelatedDocumentTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strFolder = std::wstring(szTemp) + L"QuendrelRelate-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_strFolder.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const std::wstring& strFile : m_files)
            DeleteFileW(strFile.c_str());
        RemoveDirectoryW(m_strFolder.c_str());
        DocumentTest::TearDown();
    }

    std::wstring LocalFile(const wchar_t* pszName, const std::string& content)
    {
        const std::wstring strPath = m_strFolder + L"\\" + pszName;
        EXPECT_TRUE(WriteFileBytes(strPath, content));
        m_files.push_back(strPath);
        return strPath;
    }

    // Relates a local file to the document ID; *pstrID receives the returned record's ID.
    HRESULT Relate(const std::wstring& strFile, const wchar_t* pszExtension, const _bstr_t& parent,
                   std::wstring* pstrID = nullptr)
    {
        HostDocument host;
        host.doc.bstrLocalFile = SysAllocString(strFile.c_str());
        host.doc.bstrExtension = SysAllocString(pszExtension);
        const HRESULT hr = m_pProvider->RelateDocument(&host.doc, parent);
        if (pstrID)
            *pstrID = host.doc.bstrDocID ? host.doc.bstrDocID : L"";
        return hr;
    }

    // The IDs of the related documents of an ID, in the order listed.
    HRESULT Related(const _bstr_t& id, std::vector<std::wstring>* pIDs)
    {
        long lCount = -1;
        CVDOCUMENT* pDocs = nullptr;
        const HRESULT hr = m_pProvider->GetRelatedDocuments(id, &lCount, &pDocs);
        pIDs->clear();
        for (long i = 0; pDocs && i < lCount; ++i)
        {
            pIDs->push_back(pDocs[i].bstrDocID ? pDocs[i].bstrDocID : L"");
            FreeHostDocument(pDocs[i]);
        }
        CoTaskMemFree(pDocs);
        if (FAILED(hr))
        {
            EXPECT_EQ(nullptr, pDocs) << "a failed list hands nothing to the host";
        }
        return hr;
    }

    // The content a host gets for an ID; *phr receives the result of GetDocument.
    std::string Fetched(const _bstr_t& id, HRESULT* phr = nullptr)
    {
        HostDocument fetched;
        const HRESULT hr = m_pProvider->GetDocument(id, 0, &fetched.doc);
        if (phr)
            *phr = hr;
        if (FAILED(hr))
            return "<" + std::to_string(hr) + ">";
        const std::string content = ReadFileBytes(fetched.LocalFile());
        DeleteFileW(fetched.LocalFile().c_str());
        return content;
    }

    bool Readable(const _bstr_t& id)
    {
        HRESULT hr = E_FAIL;
        Fetched(id, &hr);
        return SUCCEEDED(hr);
    }

    std::wstring m_strFolder;
    std::vector<std::wstring> m_files;
    std::vector<std::wstring> m_listed;  // the IDs the last listing gave
    void NoWrongChangeWhenAnyDmsCallFails(const std::string& scenario);
};

TEST_F(RelatedDocumentTest, OnlyAttachmentsAreRelatedDocuments)
{
    std::vector<std::wstring> ids;
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"1"), &ids));
    EXPECT_TRUE(ids.empty()) << "versions 1 and 2 are not related documents";

    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf bytes", 9, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2A", "sub", 3, L""));
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"2"), &ids));
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(Id(m_lDoc, L"PDF"))}, ids);

    // An attachment's ID lists its siblings and itself, in the DMS's order.
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "text", 4, L""));
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"PDF"), &ids));
    EXPECT_EQ((std::vector<std::wstring>{std::wstring(Id(m_lDoc, L"PDF")), std::wstring(Id(m_lDoc, L"TXT"))}), ids);

    // An attachment the DMS gives no label is not listed: its ID would name the current version.
    ASSERT_EQ(S_OK, StandIn_SetVersionLabel(L"LIB", m_lDoc, L"TXT", L""));
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"PDF"), &ids));
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(Id(m_lDoc, L"PDF"))}, ids);

    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, Related(_bstr_t(L"PowerDocs://LIB/999999/1"), &ids));
}

TEST_F(RelatedDocumentTest, RelatedContentComesBackExactlyAndReplacesItsOwnKind)
{
    std::mt19937 random(17);
    std::string big(50u << 20, '\0');
    for (char& c : big)
        c = static_cast<char>(random());
    std::wstring strFirstID;
    int n = 0;
    for (const std::string& content : {std::string(), std::string(1, 'x'), big})
    {
        // The second and third relate a file of the kind already attached: its content is replaced.
        const std::wstring strFile = LocalFile((L"Notes" + std::to_wstring(++n) + L".txt").c_str(), content);
        std::wstring strID;
        ASSERT_EQ(S_OK, Relate(strFile, L"", Id(m_lDoc, L"1"), &strID)) << content.size();
        if (strFirstID.empty())
            strFirstID = strID;
        EXPECT_EQ(std::wstring(Id(m_lDoc, L"txt")), strID) << "the extension names the attachment";
        EXPECT_EQ(strFirstID, strID) << "a replacement returns the existing attachment";
        EXPECT_TRUE(Fetched(_bstr_t(strID.c_str())) == content) << content.size() << " bytes";
        EXPECT_TRUE(ReadFileBytes(strFile) == content) << "the local file is only read";
    }
    std::vector<std::wstring> ids;
    EXPECT_EQ(S_OK, Related(Id(m_lDoc, L"1"), &ids));
    EXPECT_EQ(1u, ids.size());
    EXPECT_EQ("version one", Fetched(Id(m_lDoc, L"1"))) << "the document's own version is untouched";
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

    // An extension that begins with a digit would name version 1 itself: refused, nothing called.
    const std::string old = ServerContent(m_lDoc, L"1");
    StandIn_ClearFaults();
    EXPECT_EQ(E_FAIL, Relate(LocalFile(L"Notes.1", "over version one"), L"", Id(m_lDoc, L"1")));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::AddFileForAttachment") + StandIn_CallCount(L"IProfile::SelectForEdit"));
    EXPECT_EQ(old, ServerContent(m_lDoc, L"1"));
    EXPECT_EQ(E_INVALIDARG, Relate(LocalFile(L"README", "no extension"), L"", Id(m_lDoc, L"1")));
    EXPECT_EQ(E_INVALIDARG, Relate(L"", L"txt", Id(m_lDoc, L"1")));
    EXPECT_EQ(E_LOCAL_FILE_NOT_FOUND, Relate(m_strFolder + L"\\missing.txt", L"txt", Id(m_lDoc, L"1")));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, Relate(LocalFile(L"a.txt", "a"), L"", _bstr_t(L"PowerDocs://LIB/999999/1")));
}

TEST_F(RelatedDocumentTest, RelatingGivesBackOnlyWhatItTook)
{
    for (bool bHeld : {false, true})
    {
        StandIn_SetLock(L"LIB", m_lDoc, bHeld ? L"alice" : nullptr);
        StandIn_ClearFaults();
        EXPECT_EQ(S_OK, Relate(LocalFile(L"held.txt", bHeld ? "held" : "free"), L"", Id(m_lDoc, L"1")));
        EXPECT_EQ(bHeld ? 1 : 0, LockState(m_lDoc)) << (bHeld ? "the user's check-out stays" : "nothing stays taken");
        EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", m_lDoc));
    }
}

TEST_F(RelatedDocumentTest, DeletionDeletesExactlyWhatTheIdNames)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf", 3, L""));
    // An ID without a label names the current version: refused, nothing deleted.
    EXPECT_EQ(E_INVALIDARG, m_pProvider->DeleteDocument(_bstr_t((L"PowerDocs://LIB/" + std::to_wstring(m_lDoc) + L"/").c_str())));
    EXPECT_TRUE(Readable(Id(m_lDoc, L"2")));

    // Without the right to delete versions the attachment stays and the refusal is reported.
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", FALSE));
    EXPECT_TRUE(FAILED(m_pProvider->DeleteDocument(Id(m_lDoc, L"PDF"))));
    EXPECT_TRUE(Readable(Id(m_lDoc, L"PDF")));
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", TRUE));

    EXPECT_EQ(S_OK, m_pProvider->DeleteDocument(Id(m_lDoc, L"PDF")));
    EXPECT_FALSE(Readable(Id(m_lDoc, L"PDF")));
    EXPECT_EQ("version one", Fetched(Id(m_lDoc, L"1"))) << "only the attachment goes";
    EXPECT_TRUE(Readable(Id(m_lDoc, L"2")));

    // A silent refusal of the whole document's deletion is E_ACCESSDENIED.
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteDocuments", FALSE));
    EXPECT_EQ(E_ACCESSDENIED, m_pProvider->DeleteDocument(Id(m_lDoc, L"1")));
    EXPECT_TRUE(Readable(Id(m_lDoc, L"1")));
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteDocuments", TRUE));

    // A numbered version's ID deletes the whole document.
    EXPECT_EQ(S_OK, m_pProvider->DeleteDocument(Id(m_lDoc, L"1")));
    EXPECT_FALSE(Readable(Id(m_lDoc, L"2")));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->DeleteDocument(Id(m_lDoc, L"1")));
}

// A fault at every DMS call of listing, relating (onto a new attachment and onto an existing one)
// and deleting, or the copy onto the attachment held open: a failure code unless the operation
// really happened, nothing half-made, deleted or overwritten that should not be, the local file
// intact, nothing left taken, a fetch handing out what is stored and no DMS object alive.
void RelatedDocumentTest::NoWrongChangeWhenAnyDmsCallFails(const std::string& scenario)
{
    using namespace fault_harness;
    const std::wstring strNew = LocalFile(L"New.pdf", "new attachment");
    const std::wstring strReplace = LocalFile(L"Replace.txt", "replacement");
    auto seed = [&](ICVDocumentProvider7*) {
        Reseed();
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "kept attachment", 15, L""));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf", 3, L""));
    };
    auto readable = [&](const wchar_t* pszLabel) { return StoredContent(m_lDoc, pszLabel) != "<none>"; };
    auto relate = [&](const std::wstring& strFile) {
        return [&, strFile](ICVDocumentProvider7* p) {
            HostDocument host;
            host.doc.bstrLocalFile = SysAllocString(strFile.c_str());
            host.doc.bstrExtension = SysAllocString(L"");
            return p->RelateDocument(&host.doc, Id(m_lDoc, L"1"));
        };
    };
    struct Scenario
    {
        const char* name;
        Step setup;
        Operation run;
        std::function<void(const FaultRun&)> check;
        const wchar_t* pszCopiedTo;
    };
    const Scenario scenarios[] = {
        {"list", seed,
         [&](ICVDocumentProvider7* p) {
             long lCount = -1;
             CVDOCUMENT* pDocs = nullptr;
             const HRESULT hr = p->GetRelatedDocuments(Id(m_lDoc, L"1"), &lCount, &pDocs);
             m_listed.clear();
             for (long i = 0; pDocs && i < lCount; ++i)
             {
                 m_listed.push_back(pDocs[i].bstrDocID ? pDocs[i].bstrDocID : L"");
                 FreeHostDocument(pDocs[i]);
             }
             CoTaskMemFree(pDocs);
             return hr;
         },
         [&](const FaultRun& run) {
             // An attachment the DMS cannot describe is left out; nothing else is listed.
             for (const std::wstring& id : m_listed)
                 EXPECT_TRUE(id == std::wstring(Id(m_lDoc, L"TXT")) || id == std::wstring(Id(m_lDoc, L"PDF")))
                     << run.Where();
         },
         nullptr},
        {"relate new",
         [&](ICVDocumentProvider7* p) {
             seed(p);
             StandIn_SetLock(L"LIB", m_lDoc, nullptr);
             ASSERT_EQ(S_OK, p->DeleteDocument(Id(m_lDoc, L"PDF")));
         },
         relate(strNew),
         [&](const FaultRun& run) {
             EXPECT_TRUE(FileHolds(strNew, "new attachment")) << run.Where();
             EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"pdf") == "new attachment")) << run.Where();
             if (readable(L"pdf"))
             {
                 EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"pdf")) << run.Where();
             }
         },
         nullptr},
        {"relate onto an existing attachment", seed, relate(strReplace),
         [&](const FaultRun& run) {
             EXPECT_TRUE(FileHolds(strReplace, "replacement")) << run.Where();
             EXPECT_TRUE(StoredIsOldOrNew(m_lDoc, L"TXT", "kept attachment", "replacement")) << run.Where();
             EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"TXT") == "replacement")) << run.Where();
             EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"TXT")) << run.Where();
         },
         L"TXT"},
        {"delete attachment", seed, [&](ICVDocumentProvider7* p) { return p->DeleteDocument(Id(m_lDoc, L"PDF")); },
         [&](const FaultRun& run) {
             EXPECT_EQ(FAILED(run.hr), readable(L"PDF")) << run.Where();
             EXPECT_TRUE(readable(L"1") && readable(L"2") && readable(L"TXT")) << run.Where();
         },
         nullptr},
        {"delete document", seed, [&](ICVDocumentProvider7* p) { return p->DeleteDocument(Id(m_lDoc, L"2")); },
         [&](const FaultRun& run) {
             for (const wchar_t* label : {L"1", L"2", L"TXT"})
                 EXPECT_EQ(FAILED(run.hr), readable(label)) << run.Where();
         },
         nullptr},
    };
    for (const Scenario& s : scenarios)
    {
        if (scenario != s.name)
            continue;
        RunWithFaultAtEachCall(s.setup, s.run,
                               [&](const FaultRun& run) {
                                   EXPECT_NE(S_FALSE, run.hr) << run.Where();
                                   s.check(run);
                                   if (readable(L"1"))
                                   {
                                       EXPECT_TRUE(NothingHeld(m_lDoc, false)) << run.Where();
                                   }
                               },
                               [&] { return s.pszCopiedTo ? CacheFile(m_lDoc, s.pszCopiedTo) : std::wstring(); });
    }
}

TEST_F(RelatedDocumentTest, DeletingADocumentDeletesAllOrNothingWhenAnyDmsCallFails)
{
    NoWrongChangeWhenAnyDmsCallFails("delete document");
}

TEST_F(RelatedDocumentTest, ListingNamesNoWrongDocumentWhenAnyDmsCallFails)
{
    NoWrongChangeWhenAnyDmsCallFails("list");
}

TEST_F(RelatedDocumentTest, RelatingANewAttachmentChangesNothingWrongWhenAnyDmsCallFails)
{
    NoWrongChangeWhenAnyDmsCallFails("relate new");
}

TEST_F(RelatedDocumentTest, RelatingOntoAnAttachmentChangesNothingWrongWhenAnyDmsCallFails)
{
    NoWrongChangeWhenAnyDmsCallFails("relate onto an existing attachment");
}

TEST_F(RelatedDocumentTest, DeletingAnAttachmentChangesNothingWrongWhenAnyDmsCallFails)
{
    NoWrongChangeWhenAnyDmsCallFails("delete attachment");
}

}  // namespace

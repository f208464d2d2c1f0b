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

// A fault at every DMS call of listing, relating and deleting: a failure code unless the
// operation really happened, nothing deleted or overwritten that should not be, the local
// file and the existing attachment intact, nothing left taken and no DMS object alive.
TEST_F(RelatedDocumentTest, NoWrongChangeWhenAnyDmsCallFails)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "kept attachment", 15, L""));
    const std::wstring strNew = LocalFile(L"New.pdf", "new attachment");
    const std::wstring strReplace = LocalFile(L"Replace.txt", "replacement");
    // Each scenario: restore the state, run the call, check the outcome by its result.
    struct Scenario
    {
        const char* name;
        std::function<void()> reset;
        std::function<HRESULT()> run;
        std::function<void(HRESULT, const std::string&)> check;
    };
    const std::vector<Scenario> scenarios = {
        {"list", [] {},
         [&] {
             std::vector<std::wstring> ids;
             const HRESULT hr = Related(Id(m_lDoc, L"1"), &ids);
             // An attachment the DMS cannot describe is left out; nothing else is listed.
             for (const std::wstring& id : ids)
                 EXPECT_EQ(std::wstring(Id(m_lDoc, L"TXT")), id);
             return hr;
         },
         [](HRESULT, const std::string&) {}},
        {"relate new",
         [&] {
             StandIn_ClearFaults();
             m_pProvider->DeleteDocument(Id(m_lDoc, L"PDF"));
         },
         [&] { return Relate(strNew, L"", Id(m_lDoc, L"1")); },
         [&](HRESULT hr, const std::string& where) {
             EXPECT_EQ("new attachment", ReadFileBytes(strNew)) << where;
             EXPECT_EQ(SUCCEEDED(hr), Readable(Id(m_lDoc, L"pdf"))) << "an attachment only with success: " << where;
         }},
        {"relate replace",
         [&] {
             StandIn_ClearFaults();
             StandIn_SetLock(L"LIB", m_lDoc, nullptr);
             m_pProvider->DeleteDocument(Id(m_lDoc, L"TXT"));
             StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "kept attachment", 15, L"");
         },
         [&] { return Relate(strReplace, L"", Id(m_lDoc, L"1")); },
         [&](HRESULT hr, const std::string& where) {
             EXPECT_EQ("replacement", ReadFileBytes(strReplace)) << where;
             const std::string stored = ServerContent(m_lDoc, L"TXT");
             EXPECT_EQ(SUCCEEDED(hr) ? "replacement" : "kept attachment", stored) << where;
         }},
        {"delete attachment",
         [&] {
             StandIn_ClearFaults();
             StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "pdf", 3, L"");
         },
         [&] { return m_pProvider->DeleteDocument(Id(m_lDoc, L"PDF")); },
         [&](HRESULT hr, const std::string& where) {
             EXPECT_EQ(FAILED(hr), Readable(Id(m_lDoc, L"PDF"))) << where;
             EXPECT_TRUE(Readable(Id(m_lDoc, L"1")) && Readable(Id(m_lDoc, L"2"))) << where;
         }},
        {"delete document", [] {}, [&] { return m_pProvider->DeleteDocument(Id(m_lDoc, L"2")); },
         [&](HRESULT hr, const std::string& where) {
             for (const wchar_t* label : {L"1", L"2", L"TXT"})
                 EXPECT_EQ(FAILED(hr), Readable(Id(m_lDoc, label))) << where;
         }},
    };
    int injected = 0;
    for (const Scenario& s : scenarios)
    {
        const bool bDeletesDocument = std::string(s.name) == "delete document";
        const LONG lKeep = m_lDoc;
        if (bDeletesDocument)
        {
            m_lDoc = AddDocument(L"To delete", "one");
            ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2", "two", 3, L""));
            ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "att", 3, L""));
        }
        s.reset();
        StandIn_ClearFaults();
        ASSERT_EQ(S_OK, s.run()) << s.name;
        const auto calls = StandIn_EachCountedCall();
        ASSERT_GT(calls.size(), 3u) << s.name;
        const LONG lLive = StandIn_LiveObjects();
        for (const auto& call : calls)
        {
            const LONG at = call.second;
            const std::string where = std::string(s.name) + ": " +
                                      std::string(call.first.begin(), call.first.end()) + " at " +
                                      std::to_string(at);
            if (bDeletesDocument)
            {
                m_lDoc = AddDocument(L"To delete", "one");
                StandIn_AddVersion(L"LIB", m_lDoc, L"2", "two", 3, L"");
                StandIn_AddVersion(L"LIB", m_lDoc, L"TXT", "att", 3, L"");
            }
            s.reset();
            ASSERT_EQ(S_OK, StandIn_InjectFault(call.first.c_str(), E_FAIL, 0, at, FALSE));
            const HRESULT hr = s.run();
            const BOOL bSelected = StandIn_IsSelectedForEdit(L"LIB", m_lDoc);
            StandIn_ClearFaults();
            ++injected;
            EXPECT_NE(S_FALSE, hr) << where;
            s.check(hr, where);
            // Only a failure of the release itself may leave the document taken.
            if (call.first != L"IProfile::ReleaseDoc" && Readable(Id(m_lDoc, L"1")))
            {
                EXPECT_EQ(0, LockState(m_lDoc)) << "nothing stays taken: " << where;
                EXPECT_FALSE(bSelected) << where;
            }
            EXPECT_EQ(lLive, StandIn_LiveObjects()) << "a DMS object outlived the call: " << where;
        }
        m_lDoc = lKeep;
    }
    EXPECT_GT(injected, 40);
}

}  // namespace

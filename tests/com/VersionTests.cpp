// Versions through the provider: listing, the latest, and new versions, with a fault at every DMS call.

#include "DocumentFixture.h"

namespace {

using testing_support::DocId;

// The document fixture's DMS and provider, with documents named "Budget".
class VersionTest : public DocumentTest
{
protected:
    LONG AddDocument(const std::string& content) { return DocumentTest::AddDocument(L"Budget", content); }

    // The labels the stand-in's catalog holds for a document, in order.
    static std::wstring CatalogLabels(LONG lNumber)
    {
        std::wstring labels;
        for (const wchar_t* label : {L"1", L"2", L"2A", L"3", L"4", L"A", L"PDF"})
        {
            wchar_t sz[MAX_PATH] = {};
            if (StandIn_ServerFilePath(L"LIB", lNumber, label, sz, MAX_PATH) == S_OK)
                labels += std::wstring(labels.empty() ? L"" : L",") + label;
        }
        return labels;
    }

    // VersionDocument as a host calls it: the in/out ID goes in as a BSTR of the host's.
    HRESULT VersionDocument(const std::wstring& id, const wchar_t* pszComment, std::wstring* pNewID = nullptr,
                            ICVDocumentProvider7* pProvider = nullptr)
    {
        _bstr_t bstrID(id.c_str());
        HRESULT hr = Provider(pProvider)->VersionDocument(&bstrID.GetBSTR(), _bstr_t(pszComment));
        if (pNewID)
            *pNewID = static_cast<const wchar_t*>(bstrID) ? static_cast<const wchar_t*>(bstrID) : L"(null)";
        return hr;
    }

    // GetLatestVersion replaces its in/out ID without freeing it: the host frees both.
    HRESULT LatestVersion(const std::wstring& id, std::wstring* pOut, ICVDocumentProvider7* pProvider = nullptr)
    {
        const _bstr_t in(id.c_str());
        BSTR bstrID = in.copy(false);
        HRESULT hr = Provider(pProvider)->GetLatestVersion(&bstrID);
        *pOut = bstrID ? bstrID : L"(null)";
        if (bstrID != static_cast<const wchar_t*>(in))
            SysFreeString(bstrID);
        return hr;
    }

    // GetVersions as a host calls it: *pListed receives "<label>;" for each version listed ("<label>?;"
    // when its ID or a name it gives is wrong), "" when nothing is handed over and "leaked" for an
    // array behind a failure; the host frees what it got.
    HRESULT Versions(const std::wstring& id, std::wstring* pListed, ICVDocumentProvider7* pProvider = nullptr)
    {
        long lCount = -1;
        CVDOCUMENTVERSION* pVersions = nullptr;
        const HRESULT hr = Provider(pProvider)->GetVersions(_bstr_t(id.c_str()), &lCount, &pVersions);
        *pListed = FAILED(hr) && pVersions ? L"leaked" : L"";
        for (long i = 0; SUCCEEDED(hr) && pVersions && i < lCount; ++i)
        {
            CVDOCUMENTVERSION& v = pVersions[i];
            const std::wstring label = v.bstrVersion ? v.bstrVersion : L"";
            const bool bRight = v.cvDocument.bstrDocID && DocId(m_lDoc, label.c_str()) == v.cvDocument.bstrDocID &&
                                (!v.cvDocument.bstrName || !*v.cvDocument.bstrName ||
                                 std::wstring(L"Q3 sales plan") == v.cvDocument.bstrName);
            *pListed += label + (bRight ? L";" : L"?;");
            SysFreeString(v.bstrVersion);
            FreeHostDocument(v.cvDocument);
        }
        CoTaskMemFree(pVersions);
        return hr;
    }

    std::wstring m_strListed;  // what the last operation of the fault runs answered
};

TEST_F(VersionTest, ListsVersionsInTheDmsOrderWithoutAttachments)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"A", "attached", 8, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2A", "sub", 3, L""));
    std::wstring listed;
    ASSERT_EQ(S_OK, Versions(DocId(m_lDoc, L"2"), &listed));
    EXPECT_EQ(L"1;2;2A;", listed) << "A is an attachment";

    // A version the DMS lists twice is listed once; one it gives no label is left out, as its ID
    // would name the current version.
    ASSERT_EQ(S_OK, StandIn_RepeatVersion(L"LIB", m_lDoc, L"2"));
    ASSERT_EQ(S_OK, StandIn_SetVersionLabel(L"LIB", m_lDoc, L"2A", L""));
    ASSERT_EQ(S_OK, Versions(DocId(m_lDoc, L"2"), &listed));
    EXPECT_EQ(L"1;2;", listed);
    StandIn_RepeatVersion(L"LIB", m_lDoc, nullptr);

    // An ID that names nothing lists nothing; a list that cannot be read whole is a failure,
    // never half a list.
    EXPECT_EQ(E_FAIL, Versions(L"PowerDocs://LIB/999999/1", &listed));
    EXPECT_EQ(L"", listed);
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersions::Item", E_FAIL, 0, 2, FALSE));
    EXPECT_EQ(E_FAIL, Versions(DocId(m_lDoc, L"1"), &listed));
    EXPECT_EQ(L"", listed);
    long lCount = -1;
    EXPECT_EQ(E_POINTER, m_pProvider->GetVersions(_bstr_t(DocId(m_lDoc, L"1").c_str()), &lCount, nullptr));
}

TEST_F(VersionTest, LatestVersionIsTheDmsOnesInItsOwnSpelling)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"3", "three", 5, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "attached", 8, L""));
    std::wstring out;
    EXPECT_EQ(S_OK, LatestVersion(DocId(m_lDoc, L"1"), &out));
    EXPECT_EQ(DocId(m_lDoc, L"3", L"LIB", L"PowerDOCS"), out);
    EXPECT_EQ(S_OK, LatestVersion(DocId(m_lDoc, L"PDF"), &out)) << "an attachment has no later version";
    EXPECT_EQ(DocId(m_lDoc, L"PDF"), out);
    EXPECT_EQ(E_PD_NO_DOCUMENT_FOR_ID, LatestVersion(L"PowerDocs://LIB/999999/1", &out));
    EXPECT_EQ(L"PowerDocs://LIB/999999/1", out);
}

TEST_F(VersionTest, NewVersionHoldsTheCurrentContentByteForByte)
{
    // An empty current version makes an empty new version.
    const LONG lEmpty = AddDocument("");
    std::wstring newID;
    ASSERT_EQ(S_OK, VersionDocument(DocId(lEmpty, L"1"), L"made from the current content", &newID));
    EXPECT_EQ(DocId(lEmpty, L"2", L"LIB", L"PowerDOCS"), newID);
    EXPECT_EQ("", ServerContent(lEmpty, L"2"));

    // The new version inherits the author and typist of the one it came from.
    DmsCheck(DmsVersion(m_lDoc, L"2")->put_Typist(_bstr_t(L"TYPIST2")));
    ASSERT_EQ(S_OK, VersionDocument(DocId(m_lDoc, L"2"), L"third", &newID));
    EXPECT_EQ(DocId(m_lDoc, L"3", L"LIB", L"PowerDOCS"), newID);
    EXPECT_EQ("version two", ServerContent(m_lDoc, L"3"));
    std::wstring strFields;
    for (auto get : {&IVersion::get_Comment, &IVersion::get_Author, &IVersion::get_Typist})
    {
        _bstr_t bstr;
        DmsCheck((DmsVersion(m_lDoc, L"3")->*get)(bstr.GetAddress()));
        strFields += std::wstring(bstr) + L"|";
    }
    EXPECT_EQ(L"third|alice|TYPIST2|", strFields);
}

TEST_F(VersionTest, NewVersionRefusesWithoutTouchingTheDms)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "attached", 8, L""));
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"bob"));
    StandIn_ClearFaults();
    std::wstring newID;
    EXPECT_EQ(E_DOCUMENT_LOCKED_BY_OTHER, VersionDocument(DocId(m_lDoc, L"2"), L"", &newID));
    EXPECT_EQ(DocId(m_lDoc, L"2"), newID) << "the host's ID comes back as it went";
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::SelectForEdit"));
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::NewVersion"));
    EXPECT_EQ(L"1,2,PDF", CatalogLabels(m_lDoc));
    EXPECT_EQ(2, LockState(m_lDoc));
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));

    EXPECT_EQ(E_PD_CANNOT_SAVE_AS_NEW_VERSION, VersionDocument(DocId(m_lDoc, L"PDF"), L""));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, VersionDocument(L"PowerDocs://LIB/999999/1", L""));
    EXPECT_EQ(L"1,2,PDF", CatalogLabels(m_lDoc));

    // A version the DMS forbids a new version of: its refusal, and nothing left behind.
    ASSERT_EQ(S_OK, StandIn_SetVersionRights(L"LIB", m_lDoc, L"2", FALSE, TRUE));
    EXPECT_EQ(E_ACCESSDENIED, VersionDocument(DocId(m_lDoc, L"2"), L""));
    EXPECT_EQ(L"1,2,PDF", CatalogLabels(m_lDoc));
    EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", m_lDoc));
}

TEST_F(VersionTest, NewVersionKeepsTheHostsOwnCheckOut)
{
    ASSERT_EQ(S_OK, m_pProvider->LockDocument(_bstr_t(DocId(m_lDoc, L"2").c_str()), 1));
    StandIn_ClearFaults();
    std::wstring newID;
    ASSERT_EQ(S_OK, VersionDocument(DocId(m_lDoc, L"2"), L"", &newID));
    EXPECT_EQ(DocId(m_lDoc, L"3", L"LIB", L"PowerDOCS"), newID);
    EXPECT_EQ("version two", ServerContent(m_lDoc, L"3"));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::SelectForEdit"));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::ReleaseDoc"));
    EXPECT_EQ(1, LockState(m_lDoc)) << "the host's check-out survives";
    EXPECT_EQ(S_OK, m_pProvider->LockDocument(_bstr_t(DocId(m_lDoc, L"2").c_str()), 2));
}

TEST_F(VersionTest, ContentThatCannotBeCopiedMakesNoVersion)
{
    // The current version is not in the cache and cannot be fetched: nothing to copy.
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", S_OK, 11, 1, TRUE));
    std::wstring newID;
    const HRESULT hr = VersionDocument(DocId(m_lDoc, L"2"), L"", &newID);
    EXPECT_EQ(E_PD_SERVER_CALL_FAILED, hr) << "the fetch's own error";
    EXPECT_EQ(DocId(m_lDoc, L"2"), newID);
    EXPECT_EQ(L"1,2", CatalogLabels(m_lDoc)) << "the empty new version was deleted";
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::UploadFile"));
    EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", m_lDoc));
    EXPECT_EQ(0, LockState(m_lDoc));

    // The content is in the cache but cannot be read: the copy's own error, and no version.
    StandIn_ClearFaults();
    ASSERT_TRUE(testing_support::WriteFileBytes(CacheFile(m_lDoc, L"2"), "version two"));
    const HANDLE hHeld = CreateFileW(CacheFile(m_lDoc, L"2").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), VersionDocument(DocId(m_lDoc, L"2"), L""));
    CloseHandle(hHeld);
    EXPECT_EQ(L"1,2", CatalogLabels(m_lDoc));
}

// A failure at any DMS call: a code, or a listing or latest version that is right.
TEST_F(VersionTest, ListingAndLatestSurviveAFailureAtEveryDmsCall)
{
    using namespace fault_harness;
    auto reseed = [&](ICVDocumentProvider7*) { Reseed(); };
    RunWithFaultAtEachCall(reseed, [&](ICVDocumentProvider7* p) { return Versions(DocId(m_lDoc, L"1"), &m_strListed, p); },
                           [&](const FaultRun& run) {
                               // A version the DMS cannot describe is left out; what is listed is right.
                               const std::wstring l = m_strListed;
                               EXPECT_TRUE(l == L"1;2;" || l == L"1;" || l == L"2;" || (FAILED(run.hr) && l.empty())) << l;
                           });
    RunWithFaultAtEachCall(reseed, [&](ICVDocumentProvider7* p) { return LatestVersion(DocId(m_lDoc, L"1"), &m_strListed, p); },
                           [&](const FaultRun& run) { EXPECT_TRUE(FAILED(run.hr) || m_strListed == DocId(m_lDoc, L"2", L"LIB", L"PowerDOCS")); });
}

// VersionDocument: a code, or a whole new version, with nothing left checked out or selected.
TEST_F(VersionTest, NewVersionSurvivesAFailureAtEveryDmsCall)
{
    using namespace fault_harness;
    auto reseed = [&](ICVDocumentProvider7*) { Reseed(); };
    RunWithFaultAtEachCall(reseed, [&](ICVDocumentProvider7* p) { return VersionDocument(DocId(m_lDoc, L"2"), L"", &m_strListed, p); },
                           [&](const FaultRun& run) {
                               EXPECT_TRUE(ResultIsHonest(run, StoredContent(m_lDoc, L"3") == "version two"));
                               EXPECT_TRUE(run.hr != S_OK || m_strListed == DocId(m_lDoc, L"3", L"LIB", L"PowerDOCS"));
                               EXPECT_TRUE(NothingHeld(m_lDoc, false));
                               EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"2"));
                           },
                           [&] { return CacheFile(m_lDoc, L"3"); });
}

}  // namespace

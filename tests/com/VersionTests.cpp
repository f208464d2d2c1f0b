// Versions through the provider against the DMS stand-in: listing, the latest version, and new
// versions made from the current content, with a failure injected at every DMS call.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "DmsStandInControl.h"
#include "DmsTypes.h"

namespace {

std::string ReadFileBytes(const std::wstring& strPath)
{
    std::ifstream in(strPath.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every DMS method that the version calls may reach.
const wchar_t* const kDmsMethods[] = {
    L"IApplication::Libraries", L"ILibraries::Item", L"ILibrary::GetProfile", L"IProfile::Versions",
    L"IVersions::Item", L"IVersions::Count", L"IProfile::CurrentVersion", L"IProfile::LatestVersion",
    L"IVersion::GetProfile", L"IVersion::FilePath", L"IVersion::Fetch", L"IProfile::Columns", L"IColumns::Item",
    L"IColumn::Value", L"IProfile::SelectForEdit", L"IProfile::ReleaseDoc", L"IVersion::Prepare",
    L"IVersion::Author", L"IVersion::Typist", L"IVersion::NewVersion", L"IVersion::UploadFile",
    L"IVersion::UnlockVersion", L"IVersion::Label", L"IProfile::Library", L"ILibrary::Name", L"IProfile::DocNumber",
    L"IVersion::Date", L"ILibrary::UserID", L"IApplication::CurrentLibrary", L"IApplicationState::ConnectionState",
    L"IDMSession::Logon"};

class VersionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        ASSERT_EQ(S_OK, StandIn_Reset());
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
        ASSERT_EQ(S_OK, StandIn_AddUser(L"alice"));
        ASSERT_EQ(S_OK, StandIn_AddUser(L"bob"));
        ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"alice"));
        StandIn_ClearFaults();
        m_lDoc = AddDocument("one");
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2", "two", 3, L"second"));
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
        BSTR bstrUser = nullptr;
        ASSERT_EQ(S_OK, m_pProvider->GetCurrentDmsUser(_bstr_t(L""), &bstrUser));
        SysFreeString(bstrUser);
        m_lSessionObjects = SettledLiveObjects();
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    }

    LONG SettledLiveObjects()
    {
        m_pProvider = nullptr;
        EXPECT_EQ(S_OK, CallDllCanUnloadNow());
        return StandIn_LiveObjects();
    }

    void TearDown() override
    {
        StandIn_ClearFaults();
        EXPECT_EQ(m_lSessionObjects, SettledLiveObjects()) << "a DMS object outlived the test";
        StandIn_SetProcessUser(nullptr);
    }

    LONG AddDocument(const std::string& content)
    {
        LONG lNumber = 0;
        EXPECT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Budget", L"MS WORD", content.data(),
                                            static_cast<DWORD>(content.size()), &lNumber));
        return lNumber;
    }

    static std::wstring Id(LONG lNumber, const wchar_t* pszLabel, const wchar_t* pszScheme = L"PowerDocs")
    {
        return std::wstring(pszScheme) + L"://LIB/" + std::to_wstring(lNumber) + L"/" + pszLabel;
    }

    static std::string ServerContent(LONG lNumber, const wchar_t* pszLabel)
    {
        wchar_t sz[MAX_PATH] = {};
        if (StandIn_ServerFilePath(L"LIB", lNumber, pszLabel, sz, MAX_PATH) != S_OK)
            return "(no version)";
        return ReadFileBytes(sz);
    }

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
    HRESULT VersionDocument(const std::wstring& id, const wchar_t* pszComment, std::wstring* pNewID = nullptr)
    {
        BSTR bstrID = SysAllocString(id.c_str());
        HRESULT hr = m_pProvider->VersionDocument(&bstrID, _bstr_t(pszComment));
        if (pNewID)
            *pNewID = bstrID ? bstrID : L"(null)";
        SysFreeString(bstrID);
        return hr;
    }

    HRESULT LatestVersion(const std::wstring& id, std::wstring* pOut)
    {
        BSTR bstrID = SysAllocString(id.c_str());
        HRESULT hr = m_pProvider->GetLatestVersion(&bstrID);
        *pOut = bstrID ? bstrID : L"(null)";
        SysFreeString(bstrID);
        return hr;
    }

    long LockState(LONG lNumber)
    {
        long lState = -1;
        BSTR bstrOwner = nullptr;
        EXPECT_EQ(S_OK, m_pProvider->GetDocumentLockStatus(_bstr_t(Id(lNumber, L"1").c_str()), &lState, &bstrOwner));
        SysFreeString(bstrOwner);
        return lState;
    }

    // The call counts of every method that the last operation used.
    static std::vector<std::pair<std::wstring, LONG>> CallsMade()
    {
        std::vector<std::pair<std::wstring, LONG>> calls;
        for (const wchar_t* method : kDmsMethods)
            if (LONG n = StandIn_CallCount(method))
                calls.emplace_back(method, n);
        return calls;
    }

    ICVDocumentProvider7Ptr m_pProvider;
    LONG m_lDoc = 0;
    LONG m_lSessionObjects = 0;
};

struct ListedVersion
{
    std::wstring label;
    std::wstring docID;
    std::wstring name;
};

std::vector<ListedVersion> TakeVersions(CVDOCUMENTVERSION* pVersions, long lCount)
{
    std::vector<ListedVersion> listed;
    for (long i = 0; i < lCount; ++i)
    {
        CVDOCUMENTVERSION& v = pVersions[i];
        listed.push_back({v.bstrVersion ? v.bstrVersion : L"", v.cvDocument.bstrDocID ? v.cvDocument.bstrDocID : L"",
                          v.cvDocument.bstrName ? v.cvDocument.bstrName : L""});
        for (BSTR b : {v.bstrVersion, v.cvDocument.bstrDocID, v.cvDocument.bstrLocalFile, v.cvDocument.bstrName,
                       v.cvDocument.bstrExtension, v.cvDocument.bstrAppID, v.cvDocument.bstrTypeID,
                       v.cvDocument.bstrAuthorID, v.cvDocument.bstrTypistID})
            SysFreeString(b);
    }
    CoTaskMemFree(pVersions);
    return listed;
}

TEST_F(VersionTest, ListsVersionsInTheDmsOrderWithoutAttachments)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"A", "attached", 8, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2A", "sub", 3, L""));
    testing_support::AllocationSpy spy;
    long lCount = -1;
    CVDOCUMENTVERSION* pVersions = nullptr;
    ASSERT_EQ(S_OK, m_pProvider->GetVersions(_bstr_t(Id(m_lDoc, L"2").c_str()), &lCount, &pVersions));
    ASSERT_EQ(3, lCount) << "1, 2 and 2A are versions; A is an attachment";
    const std::vector<ListedVersion> listed = TakeVersions(pVersions, lCount);
    EXPECT_EQ(0, spy.Outstanding()) << "the host freed everything it was given";
    const wchar_t* labels[] = {L"1", L"2", L"2A"};
    for (size_t i = 0; i < listed.size(); ++i)
    {
        EXPECT_EQ(labels[i], listed[i].label);
        EXPECT_EQ(Id(m_lDoc, labels[i]), listed[i].docID);
        EXPECT_EQ(L"Budget", listed[i].name);
    }

    // An ID that names nothing lists nothing, and the array stays null.
    lCount = -1;
    pVersions = reinterpret_cast<CVDOCUMENTVERSION*>(static_cast<INT_PTR>(0x5A5A));
    EXPECT_EQ(E_FAIL, m_pProvider->GetVersions(_bstr_t(L"PowerDocs://LIB/999999/1"), &lCount, &pVersions));
    EXPECT_EQ(0, lCount);
    EXPECT_EQ(E_POINTER, m_pProvider->GetVersions(_bstr_t(Id(m_lDoc, L"1").c_str()), &lCount, nullptr));

    // A list that cannot be read whole is a failure, never half a list.
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersions::Item", E_FAIL, 0, 2, FALSE));
    pVersions = nullptr;
    EXPECT_EQ(E_FAIL, m_pProvider->GetVersions(_bstr_t(Id(m_lDoc, L"1").c_str()), &lCount, &pVersions));
    EXPECT_EQ(nullptr, pVersions);
}

TEST_F(VersionTest, LatestVersionIsTheDmsOnesInItsOwnSpelling)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"3", "three", 5, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "attached", 8, L""));
    std::wstring out;
    EXPECT_EQ(S_OK, LatestVersion(Id(m_lDoc, L"1"), &out));
    EXPECT_EQ(Id(m_lDoc, L"3", L"PowerDOCS"), out);
    EXPECT_EQ(S_OK, LatestVersion(Id(m_lDoc, L"PDF"), &out)) << "an attachment has no later version";
    EXPECT_EQ(Id(m_lDoc, L"PDF"), out);
    EXPECT_EQ(E_PD_NO_DOCUMENT_FOR_ID, LatestVersion(L"PowerDocs://LIB/999999/1", &out));
    EXPECT_EQ(L"PowerDocs://LIB/999999/1", out);
}

TEST_F(VersionTest, NewVersionHoldsTheCurrentContentByteForByte)
{
    std::mt19937 random(11);
    std::string big(50u << 20, '\0');
    for (char& c : big)
        c = static_cast<char>(random());
    for (const std::string& content : {std::string(), std::string(1, 'x'), big})
    {
        const LONG lNumber = AddDocument(content);
        StandIn_ClearFaults();
        std::wstring newID;
        ASSERT_EQ(S_OK, VersionDocument(Id(lNumber, L"1"), L"made from the current content", &newID))
            << content.size();
        EXPECT_EQ(Id(lNumber, L"2", L"PowerDOCS"), newID);
        EXPECT_TRUE(ServerContent(lNumber, L"2") == content) << "stored content of " << content.size() << " bytes";
        EXPECT_EQ(1, StandIn_CallCount(L"IVersion::UploadFile"));
        EXPECT_EQ(0, LockState(lNumber));
        EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", lNumber)) << "the profile was given back";
    }

    // The new version inherits the author and typist of the one it came from.
    IApplicationPtr pApp;
    ASSERT_EQ(S_OK, pApp.CreateInstance(CLSID_Application, nullptr, CLSCTX_ALL));
    ILibrariesPtr pLibraries;
    DmsCheck(pApp->get_Libraries(&pLibraries));
    ILibraryPtr pLibrary;
    DmsCheck(pLibraries->get_Item(_variant_t(L"LIB"), &pLibrary));
    IProfilePtr pProfile;
    DmsCheck(pLibrary->GetProfile(_variant_t(m_lDoc, VT_I4), &pProfile));
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    IVersionPtr pTwo;
    DmsCheck(pVersions->get_Item(_variant_t(L"2"), &pTwo));
    DmsCheck(pTwo->put_Typist(_bstr_t(L"TYPIST2")));
    pTwo = nullptr;
    pVersions = nullptr;
    std::wstring newID;
    ASSERT_EQ(S_OK, VersionDocument(Id(m_lDoc, L"2"), L"third", &newID));
    EXPECT_EQ(Id(m_lDoc, L"3", L"PowerDOCS"), newID);
    EXPECT_EQ("two", ServerContent(m_lDoc, L"3"));
    DmsCheck(pProfile->get_Versions(&pVersions));
    IVersionPtr pThree;
    DmsCheck(pVersions->get_Item(_variant_t(L"3"), &pThree));
    _bstr_t bstrComment, bstrAuthor, bstrTypist;
    DmsCheck(pThree->get_Comment(bstrComment.GetAddress()));
    DmsCheck(pThree->get_Author(bstrAuthor.GetAddress()));
    DmsCheck(pThree->get_Typist(bstrTypist.GetAddress()));
    EXPECT_STREQ(L"third", static_cast<const wchar_t*>(bstrComment));
    EXPECT_STREQ(L"alice", static_cast<const wchar_t*>(bstrAuthor));
    EXPECT_STREQ(L"TYPIST2", static_cast<const wchar_t*>(bstrTypist));
}

TEST_F(VersionTest, NewVersionRefusesWithoutTouchingTheDms)
{
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"PDF", "attached", 8, L""));
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"bob"));
    StandIn_ClearFaults();
    std::wstring newID;
    EXPECT_EQ(E_DOCUMENT_LOCKED_BY_OTHER, VersionDocument(Id(m_lDoc, L"2"), L"", &newID));
    EXPECT_EQ(Id(m_lDoc, L"2"), newID) << "the host's ID comes back as it went";
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::SelectForEdit"));
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::NewVersion"));
    EXPECT_EQ(L"1,2,PDF", CatalogLabels(m_lDoc));
    EXPECT_EQ(2, LockState(m_lDoc));
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));

    EXPECT_EQ(E_PD_CANNOT_SAVE_AS_NEW_VERSION, VersionDocument(Id(m_lDoc, L"PDF"), L""));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, VersionDocument(L"PowerDocs://LIB/999999/1", L""));
    EXPECT_EQ(L"1,2,PDF", CatalogLabels(m_lDoc));

    // A version the DMS forbids a new version of: its refusal, and nothing left behind.
    ASSERT_EQ(S_OK, StandIn_SetVersionRights(L"LIB", m_lDoc, L"2", FALSE, TRUE));
    EXPECT_EQ(E_ACCESSDENIED, VersionDocument(Id(m_lDoc, L"2"), L""));
    EXPECT_EQ(L"1,2,PDF", CatalogLabels(m_lDoc));
    EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", m_lDoc));
}

TEST_F(VersionTest, NewVersionKeepsTheHostsOwnCheckOut)
{
    ASSERT_EQ(S_OK, m_pProvider->LockDocument(_bstr_t(Id(m_lDoc, L"2").c_str()), 1));
    StandIn_ClearFaults();
    std::wstring newID;
    ASSERT_EQ(S_OK, VersionDocument(Id(m_lDoc, L"2"), L"", &newID));
    EXPECT_EQ(Id(m_lDoc, L"3", L"PowerDOCS"), newID);
    EXPECT_EQ("two", ServerContent(m_lDoc, L"3"));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::SelectForEdit"));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::ReleaseDoc"));
    EXPECT_EQ(1, LockState(m_lDoc)) << "the host's check-out survives";
    EXPECT_EQ(S_OK, m_pProvider->LockDocument(_bstr_t(Id(m_lDoc, L"2").c_str()), 2));
}

TEST_F(VersionTest, ContentThatCannotBeCopiedMakesNoVersion)
{
    // The current version is not in the cache and cannot be fetched: nothing to copy.
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", S_OK, 11, 1, TRUE));
    std::wstring newID;
    const HRESULT hr = VersionDocument(Id(m_lDoc, L"2"), L"", &newID);
    EXPECT_EQ(E_PD_SERVER_CALL_FAILED, hr) << "the fetch's own error";
    EXPECT_EQ(Id(m_lDoc, L"2"), newID);
    EXPECT_EQ(L"1,2", CatalogLabels(m_lDoc)) << "the empty new version was deleted";
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::UploadFile"));
    EXPECT_FALSE(StandIn_IsSelectedForEdit(L"LIB", m_lDoc));
    EXPECT_EQ(0, LockState(m_lDoc));
}

// A failure at any DMS call: a code, no DMS object left alive, and for a new version either a
// whole new version or none, with nothing left checked out or selected for editing.
TEST_F(VersionTest, SurvivesAFailureAtEveryDmsCall)
{
    // Right after the provider call: the calls it made are kept, and a fault it did not reach
    // is dropped so that it cannot strike the checks.
    std::vector<std::pair<std::wstring, LONG>> calls;
    auto settle = [&]() {
        calls = CallsMade();
        StandIn_ClearFaults();
    };
    auto list = [&]() {
        long lCount = 0;
        CVDOCUMENTVERSION* pVersions = nullptr;
        HRESULT hr = m_pProvider->GetVersions(_bstr_t(Id(m_lDoc, L"1").c_str()), &lCount, &pVersions);
        settle();
        if (SUCCEEDED(hr))
        {
            // A version the DMS cannot describe is left out; what is listed is right and in order.
            std::wstring labels;
            for (const ListedVersion& v : TakeVersions(pVersions, lCount))
            {
                EXPECT_EQ(Id(m_lDoc, v.label.c_str()), v.docID);
                labels += v.label;
            }
            EXPECT_TRUE(labels == L"12" || labels == L"1" || labels == L"2") << labels;
        }
        else
        {
            EXPECT_EQ(nullptr, pVersions);
        }
        return hr;
    };
    auto latest = [&]() {
        std::wstring out;
        HRESULT hr = LatestVersion(Id(m_lDoc, L"1"), &out);
        settle();
        if (SUCCEEDED(hr))
        {
            EXPECT_EQ(Id(m_lDoc, L"2", L"PowerDOCS"), out);
        }
        return hr;
    };
    auto version = [&]() -> HRESULT {
        std::wstring newID;
        HRESULT hr = VersionDocument(Id(m_lDoc, L"2"), L"", &newID);
        const BOOL bSelected = StandIn_IsSelectedForEdit(L"LIB", m_lDoc);
        settle();
        EXPECT_FALSE(bSelected) << "the profile was given back";
        if (hr == S_OK)
        {
            EXPECT_EQ(Id(m_lDoc, L"3", L"PowerDOCS"), newID);
            EXPECT_EQ("two", ServerContent(m_lDoc, L"3")) << "S_OK only for a whole new version";
        }
        else
        {
            EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
            EXPECT_EQ(L"1,2", CatalogLabels(m_lDoc)) << "a failed call leaves no version behind";
        }
        EXPECT_EQ(0, LockState(m_lDoc));
        // Back to versions 1 and 2 for the next run.
        wchar_t sz[MAX_PATH] = {};
        if (StandIn_ServerFilePath(L"LIB", m_lDoc, L"3", sz, MAX_PATH) == S_OK)
        {
            EXPECT_EQ(S_OK, StandIn_Reset());
            EXPECT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
            EXPECT_EQ(S_OK, StandIn_AddUser(L"alice"));
            m_lDoc = AddDocument("one");
            EXPECT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2", "two", 3, L"second"));
        }
        return hr;
    };
    const std::vector<std::pair<const char*, std::function<HRESULT()>>> operations = {
        {"GetVersions", list}, {"GetLatestVersion", latest}, {"VersionDocument", version}};

    int injected = 0;
    for (const auto& operation : operations)
    {
        StandIn_ClearFaults();
        ASSERT_EQ(S_OK, operation.second()) << operation.first;
        const auto clean = calls;
        ASSERT_FALSE(clean.empty());
        for (const auto& call : clean)
        {
            for (LONG at = 1; at <= call.second; ++at)
            {
                const std::string where = std::string(operation.first) + ": " +
                                          std::string(call.first.begin(), call.first.end()) + " at " +
                                          std::to_string(at);
                StandIn_ClearFaults();
                ASSERT_EQ(S_OK, StandIn_InjectFault(call.first.c_str(), E_FAIL, 0, at, FALSE));
                SCOPED_TRACE(where);
                operation.second();
                ++injected;
                StandIn_ClearFaults();
                ASSERT_EQ(m_lSessionObjects, SettledLiveObjects()) << where;
                ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
            }
        }
    }
    EXPECT_GT(injected, 40);
}

}  // namespace

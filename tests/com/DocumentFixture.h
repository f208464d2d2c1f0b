#pragma once
// The fixture of the tests that reach documents through the provider: the DMS stand-in
// installed as a DM 5 client with library LIB, users alice and bob, and one document with
// versions 1 and 2; a provider object; host records that own their strings.
#include <gtest/gtest.h>

#include <string>

#include "ComTestSupport.h"
#include "DmsStandInControl.h"
#include "DmsTypes.h"

// A host record that owns its strings.
struct HostDocument
{
    CVDOCUMENT doc = {};
    ~HostDocument() { Clear(); }
    void Clear()
    {
        for (BSTR* p : {&doc.bstrDocID, &doc.bstrLocalFile, &doc.bstrName, &doc.bstrExtension, &doc.bstrAppID,
                        &doc.bstrTypeID, &doc.bstrAuthorID, &doc.bstrTypistID})
        {
            SysFreeString(*p);
            *p = nullptr;
        }
        doc = CVDOCUMENT{};
    }
    std::wstring LocalFile() const { return doc.bstrLocalFile ? doc.bstrLocalFile : L""; }
};

// A BSTR value no call may write over.
inline BSTR const kUntouchedBstr = reinterpret_cast<BSTR>(static_cast<INT_PTR>(0x5A5A));

// Every DMS method that the document calls may reach.
inline const wchar_t* const kDmsMethods[] = {
    L"IApplication::Libraries", L"ILibraries::Item", L"ILibrary::GetProfile", L"IProfile::Versions",
    L"IVersions::Item", L"IProfile::CurrentVersion", L"IVersion::GetProfile", L"IProfile::WorkingFolder",
    L"IVersion::FilePath", L"IVersion::Fetch", L"IProfile::Columns", L"IColumns::Item", L"IColumn::Value",
    L"IProfile::SelectForEdit", L"IVersion::LockVersionForEdit", L"IVersion::UnlockVersion",
    L"IProfile::ReleaseDoc", L"IProfile::PutLocalFile", L"IVersion::Label", L"IProfile::Library",
    L"ILibrary::Name", L"IProfile::DocNumber", L"IVersion::Date", L"ILibrary::UserID",
    L"IApplication::CurrentLibrary", L"IApplicationState::ConnectionState", L"IDMSession::Logon"};

class DocumentTest : public ::testing::Test
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
        m_lDoc = AddDocument(L"Q3 sales plan", "version one");
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2", "version two", 11, L"second"));
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
        // The first DMS call logs the client on; the session lives as long as the module.
        BSTR bstrUser = nullptr;
        ASSERT_EQ(S_OK, m_pProvider->GetCurrentDmsUser(_bstr_t(L""), &bstrUser));
        EXPECT_STREQ(L"alice", bstrUser);
        SysFreeString(bstrUser);
        m_lSessionObjects = SettledLiveObjects();
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    }

    // Stand-in objects alive once the provider is gone and the module let its parked
    // application go.
    LONG SettledLiveObjects()
    {
        m_pProvider = nullptr;
        EXPECT_EQ(S_OK, CallDllCanUnloadNow());
        return StandIn_LiveObjects();
    }

    void TearDown() override
    {
        StandIn_ClearFaults();
        StandIn_SetConnectionState(0);
        EXPECT_EQ(m_lSessionObjects, SettledLiveObjects()) << "a DMS object outlived the test";
        StandIn_SetProcessUser(nullptr);
    }

    LONG AddDocument(const wchar_t* pszName, const std::string& content)
    {
        LONG lNumber = 0;
        EXPECT_EQ(S_OK, StandIn_AddDocument(L"LIB", pszName, L"MS WORD", content.data(),
                                            static_cast<DWORD>(content.size()), &lNumber));
        return lNumber;
    }

    _bstr_t Id(LONG lNumber, const wchar_t* pszLabel) const
    {
        return _bstr_t((L"PowerDocs://LIB/" + std::to_wstring(lNumber) + L"/" + pszLabel).c_str());
    }

    std::string ServerContent(LONG lNumber, const wchar_t* pszLabel)
    {
        wchar_t sz[MAX_PATH] = {};
        EXPECT_EQ(S_OK, StandIn_ServerFilePath(L"LIB", lNumber, pszLabel, sz, MAX_PATH));
        return testing_support::ReadFileBytes(sz);
    }

    long LockState(LONG lNumber, std::wstring* pOwner = nullptr)
    {
        long lState = -1;
        BSTR bstrOwner = nullptr;
        EXPECT_EQ(S_OK, m_pProvider->GetDocumentLockStatus(Id(lNumber, L"1"), &lState, &bstrOwner));
        if (pOwner)
            *pOwner = bstrOwner ? bstrOwner : L"";
        SysFreeString(bstrOwner);
        return lState;
    }

    ICVDocumentProvider7Ptr m_pProvider;
    LONG m_lDoc = 0;
    LONG m_lSessionObjects = 0;
};

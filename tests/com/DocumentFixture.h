#pragma once
// The fixture of the tests that reach documents through the provider: the DMS stand-in installed
// as a DM 5 client with one document of versions 1 and 2, a provider object, the fault harness.
#include "ComTestSupport.h"
#include "DmsStandInControl.h"
#include "DmsTypes.h"
#include "FaultHarness.h"

class DocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dms.Prepare(L"5.3"));
        Reseed();
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
        // The first DMS call logs the client on; the session lives as long as the module.
        _bstr_t user;
        ASSERT_EQ(S_OK, m_pProvider->GetCurrentDmsUser(_bstr_t(L""), user.GetAddress()));
        EXPECT_STREQ(L"alice", static_cast<const wchar_t*>(user));
        m_lSessionObjects = SettledLiveObjects();
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    }
    void TearDown() override
    {
        for (const std::wstring& strFile : m_tempFiles)
            DeleteFileW(strFile.c_str());
        StandIn_ClearFaults();
        StandIn_SetConnectionState(0);
        EXPECT_EQ(m_lSessionObjects, SettledLiveObjects()) << "a DMS object outlived the test";
    }
    // Stand-in objects alive once the provider is gone and the module let its parked DMS
    // application go.
    LONG SettledLiveObjects()
    {
        m_pProvider = nullptr;
        EXPECT_EQ(S_OK, CallDllCanUnloadNow());
        return StandIn_LiveObjects();
    }
    // The catalog as SetUp leaves it: document m_lDoc (the same number every time), versions 1 and 2.
    void Reseed()
    {
        ASSERT_TRUE(m_dms.Reseed());
        m_lDoc = AddDocument(L"Q3 sales plan", "version one");
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lDoc, L"2", "version two", 11, L"second"));
    }
    LONG AddDocument(const wchar_t* pszName, const std::string& content) { return m_dms.AddDocument(pszName, content); }

    // A path in the temporary folder, unique to this process, whose file TearDown deletes.
    std::wstring TempFile(const std::wstring& strName)
    {
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_tempFiles.push_back(szTemp + std::to_wstring(GetCurrentProcessId()) + L"-" + strName);
        return m_tempFiles.back();
    }
    // A version's file in the DMS's local store, and its file on the server.
    static std::wstring CacheFile(LONG lNumber, const wchar_t* pszLabel)
    {
        wchar_t sz[MAX_PATH] = {};
        return StandIn_CacheFilePath(L"LIB", lNumber, pszLabel, sz, MAX_PATH) == S_OK ? sz : L"";
    }
    static std::wstring CacheFile(const std::wstring& id)
    {
        LONG lNumber = 0;
        std::wstring label;
        return SplitId(id, &lNumber, &label) ? CacheFile(lNumber, label.c_str()) : std::wstring();
    }
    static std::string ServerContent(LONG lNumber, const wchar_t* pszLabel)
    {
        wchar_t sz[MAX_PATH] = {};
        EXPECT_EQ(S_OK, StandIn_ServerFilePath(L"LIB", lNumber, pszLabel, sz, MAX_PATH));
        return testing_support::ReadFileBytes(sz);
    }
    // The document number and label of a "PowerDocs://LIB/<number>/<label>" ID.
    static bool SplitId(const std::wstring& id, LONG* plNumber, std::wstring* pLabel)
    {
        const size_t nLabel = id.rfind(L'/');
        const size_t nNumber = nLabel == std::wstring::npos ? nLabel : id.rfind(L'/', nLabel - 1);
        if (nNumber == std::wstring::npos)
            return false;
        *plNumber = _wtol(id.c_str() + nNumber + 1);
        *pLabel = id.substr(nLabel + 1);
        return *plNumber != 0;
    }
    static _bstr_t Id(LONG lNumber, const wchar_t* pszLabel) { return DmsStandInScope::Id(lNumber, pszLabel); }
    // The provider a fault run hands in, or the fixture's.
    ICVDocumentProvider7* Provider(ICVDocumentProvider7* p) { return p ? p : m_pProvider.GetInterfacePtr(); }

    // What a host gets for an ID through GetDocument with the flags: the handed-out file's bytes
    // (the file is deleted), or "<hr>" for a failure; *phr receives the answer.
    std::string Fetched(const _bstr_t& id, long lFlags = 0, HRESULT* phr = nullptr)
    {
        std::string content;
        const HRESULT hr = FetchContent(m_pProvider, id, lFlags, &content);
        if (phr)
            *phr = hr;
        return FAILED(hr) ? "<" + std::to_string(hr) + ">" : content;
    }

    // A profile or a version straight from the DMS stand-in, bypassing the provider.
    static IProfilePtr DmsProfile(LONG lNumber)
    {
        IApplicationPtr pApp;
        EXPECT_EQ(S_OK, pApp.CreateInstance(CLSID_Application, nullptr, CLSCTX_ALL));
        ILibrariesPtr pLibraries;
        ILibraryPtr pLibrary;
        IProfilePtr pProfile;
        DmsCheck(pApp->get_Libraries(&pLibraries));
        DmsCheck(pLibraries->get_Item(_variant_t(L"LIB"), &pLibrary));
        DmsCheck(pLibrary->GetProfile(_variant_t(lNumber, VT_I4), &pProfile));
        return pProfile;
    }
    static IVersionPtr DmsVersion(LONG lNumber, const wchar_t* pszLabel)
    {
        IVersionsPtr pVersions;
        IVersionPtr pVersion;
        DmsCheck(DmsProfile(lNumber)->get_Versions(&pVersions));
        DmsCheck(pVersions->get_Item(_variant_t(pszLabel), &pVersion));
        return pVersion;
    }

    long LockState(LONG lNumber, std::wstring* pOwner = nullptr)
    {
        long lState = -1;
        _bstr_t owner;
        EXPECT_EQ(S_OK, m_pProvider->GetDocumentLockStatus(Id(lNumber, L"1"), &lState, owner.GetAddress()));
        if (pOwner)
            *pOwner = owner.length() ? static_cast<const wchar_t*>(owner) : L"";
        return lState;
    }

    DmsStandInScope m_dms;
    ICVDocumentProvider7Ptr m_pProvider;
    LONG m_lDoc = 0, m_lSessionObjects = 0;
    std::vector<std::wstring> m_tempFiles;
};

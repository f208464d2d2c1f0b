// The provider object's forwarding layer: the no-client answer, the identity questions, the
// error descriptions, help values and the ownership of what it hands out.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "ComTestSupport.h"
#include "DmsStandInControl.h"

namespace {

const BSTR kSentinelBstr = reinterpret_cast<BSTR>(static_cast<ULONG_PTR>(0x5A5A5A5A));
const long kSentinelLong = 0x5A5A5A5A;

class ProviderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    }
    void TearDown() override
    {
        m_pProvider = nullptr;
        EXPECT_EQ(S_OK, CallDllCanUnloadNow()) << "an object or lock outlived the test";
    }

    ICVDocumentProvider7Ptr m_pProvider;
};

// A CVDOCUMENT filled with a byte pattern: any write by the provider changes it.
struct SentinelDocument
{
    CVDOCUMENT doc;
    SentinelDocument() { std::memset(&doc, 0x5A, sizeof(doc)); }
    bool Untouched() const
    {
        CVDOCUMENT expected;
        std::memset(&expected, 0x5A, sizeof(expected));
        return std::memcmp(&expected, &doc, sizeof(doc)) == 0;
    }
};

TEST_F(ProviderTest, WithoutDmsClientEveryDmsMethodAnswersNoClientAndWritesNothing)
{
    ScopedDmsClient noClient(false);
    _bstr_t id(L"PowerDocs://LIB/1/1");
    BSTR bstrOut = kSentinelBstr;
    BSTR bstrInOut = kSentinelBstr;
    long lOut = kSentinelLong;
    long lOut2 = kSentinelLong;
    VARIANT_BOOL vbOut = 0x5A5A;
    CVDOCUMENT* pArray = reinterpret_cast<CVDOCUMENT*>(kSentinelBstr);
    CVDOCUMENTVERSION* pVersions = reinterpret_cast<CVDOCUMENTVERSION*>(kSentinelBstr);
    SentinelDocument doc;
    ICVDocumentProvider7* p = m_pProvider;

    const std::vector<std::pair<int, std::function<HRESULT()>>> calls = {
        {3, [&] { return p->SelectDocument(0, id, &bstrOut); }},
        {4, [&] { return p->OpenDocument(&doc.doc); }},
        {5, [&] { return p->GetSaveInfo(0, id, 0, &lOut, &doc.doc); }},
        {6, [&] { return p->CloseDocument(&doc.doc, 0); }},
        {7, [&] { return p->GetDocument(id, 0, &doc.doc); }},
        {8, [&] { return p->SaveDocument(&doc.doc, 0); }},
        {9, [&] { return p->VersionDocument(&bstrInOut, id); }},
        {10, [&] { return p->DisplayProfile(id, 0); }},
        {11, [&] { return p->GetDocIDDescription(id, &bstrOut); }},
        {12, [&] { return p->SetCallingApplication(id); }},
        {13, [&] { return p->AddHistoryEvent(id, 1, 0, 0, id, id); }},
        {14, [&] { return p->SelectDocumentEx(0, id, id, &bstrOut); }},
        {15, [&] { return p->GetLatestVersion(&bstrInOut); }},
        {16, [&] { return p->GetRelatedDocuments(id, &lOut, &pArray); }},
        {17, [&] { return p->GetVersions(id, &lOut, &pVersions); }},
        {18, [&] { return p->RelateDocument(&doc.doc, id); }},
        {19, [&] { return p->DeleteDocument(id); }},
        {20, [&] { return p->TranslateOdmaID(id, &bstrOut); }},
        {21, [&] { return p->GetDocumentLockStatus(id, &lOut, &bstrOut); }},
        {22, [&] { return p->LockDocument(id, 1); }},
        {23, [&] { return p->LockDocumentAsOtherUserForTesting(id, id, id, 1); }},
        {24, [&] { return p->ImportDocument(&doc.doc, 0); }},
        {25, [&] { return p->GetCurrentDmsUser(id, &bstrOut); }},
        {26, [&] { return p->GetCapabilities(id, 0, &lOut); }},
        {27, [&] { return p->SaveDocumentEx(&doc.doc, 0, id, &lOut2); }},
        {30, [&] { return p->Resolve(&doc.doc); }},
        {34, [&] { return p->IsDmsInOfflineMode(id, &vbOut); }},
    };
    for (const auto& call : calls)
    {
        EXPECT_EQ(E_NO_DMS_CLIENT, call.second()) << "slot " << call.first;
        EXPECT_EQ(kSentinelBstr, bstrOut) << "slot " << call.first;
        EXPECT_EQ(kSentinelBstr, bstrInOut) << "slot " << call.first;
        EXPECT_EQ(kSentinelLong, lOut) << "slot " << call.first;
        EXPECT_EQ(kSentinelLong, lOut2) << "slot " << call.first;
        EXPECT_EQ(0x5A5A, vbOut) << "slot " << call.first;
        EXPECT_EQ(reinterpret_cast<CVDOCUMENT*>(kSentinelBstr), pArray) << "slot " << call.first;
        EXPECT_EQ(reinterpret_cast<CVDOCUMENTVERSION*>(kSentinelBstr), pVersions) << "slot " << call.first;
        EXPECT_TRUE(doc.Untouched()) << "slot " << call.first;
    }

    // The host methods without DMS work answer the same with or without a client.
    EXPECT_EQ(E_NOTIMPL, p->SetHostWindow(0));
    EXPECT_EQ(E_NOTIMPL, p->SetHostOptions(0));
    EXPECT_EQ(S_OK, p->CanResolve(&vbOut));
    EXPECT_EQ(VARIANT_TRUE, vbOut);
    EXPECT_EQ(S_OK, p->ResetState());
    EXPECT_EQ(E_NOTIMPL, p->GetDocumentProperty(id, id, nullptr));
    EXPECT_EQ(E_NOTIMPL, p->SetDocumentProperty(id, id, _variant_t(1L)));
}

TEST_F(ProviderTest, WithDmsClientCallsReachTheLogicObject)
{
    DmsStandInScope dms;
    ASSERT_TRUE(dms.Prepare(L"5.3"));
    _bstr_t app(L"Writer");
    EXPECT_EQ(S_OK, m_pProvider->SetCallingApplication(app));

    VARIANT_BOOL vbOffline = 0x5A5A;
    EXPECT_EQ(S_OK, m_pProvider->IsDmsInOfflineMode(app, &vbOffline));
    EXPECT_EQ(VARIANT_FALSE, vbOffline);
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(2));
    EXPECT_EQ(S_OK, m_pProvider->IsDmsInOfflineMode(app, &vbOffline));
    EXPECT_EQ(VARIANT_TRUE, vbOffline) << "the client's connection state is asked on every call";
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(0));
    EXPECT_EQ(E_POINTER, m_pProvider->IsDmsInOfflineMode(app, nullptr));

    long lFlags = kSentinelLong;
    EXPECT_EQ(S_OK, m_pProvider->GetCapabilities(app, 0, &lFlags));
    EXPECT_EQ(8, lFlags) << "a DM 5 client: offline work is offered";
    EXPECT_EQ(E_POINTER, m_pProvider->GetCapabilities(app, 0, nullptr));

    BSTR bstrUser = kSentinelBstr;
    EXPECT_EQ(S_OK, m_pProvider->GetCurrentDmsUser(app, &bstrUser));
    ASSERT_NE(kSentinelBstr, bstrUser);
    EXPECT_STREQ(L"alice", bstrUser);
    SysFreeString(bstrUser);

    CVDOCUMENT doc = {};
    lFlags = kSentinelLong;
    EXPECT_EQ(E_NOTIMPL, m_pProvider->SaveDocumentEx(&doc, 0, app, &lFlags));
    EXPECT_EQ(kSentinelLong, lFlags);

    // A failing operation leaves the host's record alone but always writes an out BSTR.
    SentinelDocument sentinel;
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->OpenDocument(&sentinel.doc));
    EXPECT_TRUE(sentinel.Untouched());
    BSTR bstrDesc = kSentinelBstr;
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->GetDocIDDescription(app, &bstrDesc));
    ASSERT_NE(kSentinelBstr, bstrDesc);
    EXPECT_STREQ(L"", bstrDesc);
    SysFreeString(bstrDesc);

    // Only a DM 5 client offers offline work.
    ASSERT_EQ(S_OK, StandIn_Install(L"6.0"));
    lFlags = kSentinelLong;
    EXPECT_EQ(S_OK, m_pProvider->GetCapabilities(app, 0, &lFlags));
    EXPECT_EQ(0, lFlags) << "a DM 6 client";
}

TEST_F(ProviderTest, AnswersIdentityQuestionsWithFreshStrings)
{
    ICVComponentPtr pComponent(m_pProvider);
    BSTR bstrFirst = nullptr;
    BSTR bstrSecond = nullptr;
    ASSERT_EQ(S_OK, pComponent->GetName(&bstrFirst));
    ASSERT_EQ(S_OK, pComponent->GetName(&bstrSecond));
    EXPECT_STREQ(L"Quendrel", bstrFirst);
    EXPECT_STREQ(L"Quendrel", bstrSecond);
    EXPECT_NE(bstrFirst, bstrSecond) << "every call hands out a new BSTR for the host to free";
    SysFreeString(bstrFirst);
    SysFreeString(bstrSecond);
    EXPECT_EQ(E_POINTER, pComponent->GetName(nullptr));

    BSTR bstrDescription = nullptr;
    ASSERT_EQ(S_OK, pComponent->GetShortDescription(&bstrDescription));
    EXPECT_STREQ(L"Hummingbird DM5 integration", bstrDescription);
    SysFreeString(bstrDescription);

    long major = -1, minor = -1, build = -1, revision = -1;
    ASSERT_EQ(S_OK, pComponent->GetVersion(&major, &minor, &build, &revision));
    EXPECT_EQ(1, major);
    EXPECT_EQ(0, minor);
    EXPECT_EQ(0, build);
    EXPECT_EQ(1, revision);

    ICVQueryInfoPtr pQuery(m_pProvider);
    long count = kSentinelLong;
    CVFILEINFO info = {};
    ASSERT_EQ(S_OK, pQuery->GetCVDependencies(&count, &info));
    EXPECT_EQ(kSentinelLong, count) << "the count is the host's and stays unwritten";
    EXPECT_STREQ(L"{5d404391-0460-4397-a433-931a7e94d550}", info.bstrID);
    EXPECT_EQ(2, info.lMajor);
    EXPECT_EQ(1, info.lMinor);
    EXPECT_EQ(3, info.lBuild);
    EXPECT_EQ(461, info.lRevision);
    SysFreeString(info.bstrID);
    EXPECT_EQ(E_POINTER, pQuery->GetCVDependencies(&count, nullptr));
}

TEST_F(ProviderTest, DescribesItsOwnCodesAndLeavesOthersToTheComponentManager)
{
    ICVErrorInfoPtr pErrorInfo(m_pProvider);
    struct Expected
    {
        HRESULT hr;
        const wchar_t* text;
    };
    const Expected table[] = {
        {static_cast<HRESULT>(0x801D0001), L"Indicates that an operation succeeded."},
        {static_cast<HRESULT>(0x801D0006), L"Indicates that an error occurred when loading a form."},
        {static_cast<HRESULT>(0x801D0009), L"Indicates that an object is in invalid state. For instance, the object isn\u2019t initialized or was deleted."},
        {static_cast<HRESULT>(0x801D000D), L"Could not retrieve file from Hummingbird DM5."},
        {static_cast<HRESULT>(0x801D0010), L"Hummingbird DM5 installation not detected."},
        {static_cast<HRESULT>(0x801D0013), L"Unknown error"},
    };
    for (const Expected& e : table)
    {
        BSTR bstr = nullptr;
        EXPECT_EQ(S_OK, pErrorInfo->GetErrorDescription(e.hr, GUID_NULL, &bstr));
        EXPECT_STREQ(e.text, bstr) << std::hex << e.hr;
        SysFreeString(bstr);
    }
    for (HRESULT hr = static_cast<HRESULT>(0x801D0001); hr <= static_cast<HRESULT>(0x801D0013); ++hr)
    {
        BSTR bstr = nullptr;
        EXPECT_EQ(S_OK, pErrorInfo->GetErrorDescription(hr, GUID_NULL, &bstr));
        EXPECT_NE(nullptr, bstr) << std::hex << hr;
        EXPECT_GT(SysStringLen(bstr), 0u) << std::hex << hr;
        SysFreeString(bstr);
    }

    // Above the table, and in other facilities, nothing is written and S_OK comes back.
    BSTR bstr = kSentinelBstr;
    EXPECT_EQ(S_OK, pErrorInfo->GetErrorDescription(static_cast<HRESULT>(0x801D0014), GUID_NULL, &bstr));
    EXPECT_EQ(kSentinelBstr, bstr);
    bstr = nullptr;
    EXPECT_EQ(S_OK, pErrorInfo->GetErrorDescription(E_DOCUMENT_NOT_FOUND, GUID_NULL, &bstr));
    EXPECT_STREQ(L"The document was not found.", bstr) << "the component manager's text";
    SysFreeString(bstr);

    // The other error and diagnostics questions go to the manager unchanged.
    bstr = nullptr;
    EXPECT_EQ(S_OK, pErrorInfo->GetHelpFile(E_DOCUMENT_NOT_FOUND, GUID_NULL, &bstr));
    EXPECT_NE(nullptr, wcsstr(bstr ? bstr : L"", L"Corvane.chm"));
    SysFreeString(bstr);
    VARIANT_BOOL vbCan = VARIANT_TRUE;
    EXPECT_EQ(S_OK, pErrorInfo->CanDiagnose(E_DOCUMENT_NOT_FOUND, GUID_NULL, &vbCan));
    EXPECT_EQ(VARIANT_FALSE, vbCan);
    ICVDiagnosticsPtr pDiagnostics(m_pProvider);
    VARIANT_BOOL vbFixed = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, pDiagnostics->FixError(E_DOCUMENT_NOT_FOUND, GUID_NULL, &vbFixed));
    EXPECT_EQ(VARIANT_FALSE, vbFixed);

    long context = kSentinelLong;
    EXPECT_EQ(E_NOTIMPL, pErrorInfo->GetHelpContext(E_FAIL, GUID_NULL, &context));
    EXPECT_EQ(kSentinelLong, context);
}

TEST_F(ProviderTest, KeepsHelpSourceAndContext)
{
    ICVHelpDefinitionPtr pHelp(m_pProvider);
    BSTR bstrSource = SysAllocString(L"old");
    ASSERT_EQ(S_OK, pHelp->GetHelpSource(&bstrSource));
    EXPECT_STREQ(L"", bstrSource);
    ASSERT_EQ(S_OK, pHelp->SetHelpSource(_bstr_t(L"C:\\help\\provider.chm")));
    ASSERT_EQ(S_OK, pHelp->GetHelpSource(&bstrSource));
    EXPECT_STREQ(L"C:\\help\\provider.chm", bstrSource);
    SysFreeString(bstrSource);

    long context = -1;
    ASSERT_EQ(S_OK, pHelp->GetHelpContext(&context));
    EXPECT_EQ(0, context);
    ASSERT_EQ(S_OK, pHelp->SetHelpContext(4711));
    ASSERT_EQ(S_OK, pHelp->GetHelpContext(&context));
    EXPECT_EQ(4711, context);
}

// Every string, record and block handed out on the paths that allocate goes back when the
// host frees what it owns; the calls must succeed, or the allocating paths would not run.
TEST_F(ProviderTest, LeaksNoStringOrBlock)
{
    DmsStandInScope dms;
    ASSERT_TRUE(dms.Prepare(L"5.3"));
    const LONG lFree = dms.AddDocument(L"Leak check", "content");
    const LONG lTaken = dms.AddDocument(L"Taken", "other");
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", lTaken, L"bob"));
    ICVComponentPtr pComponent(m_pProvider);
    ICVHelpDefinitionPtr pHelp(m_pProvider);
    ICVErrorInfoPtr pErrorInfo(m_pProvider);
    ICVQueryInfoPtr pQuery(m_pProvider);
    const _bstr_t freeId = DmsStandInScope::Id(lFree, L"1");
    const _bstr_t missingId(L"PowerDocs://LIB/999999/1");

    auto expectText = [](HRESULT hr, BSTR& bstr, const wchar_t* pszCall) {
        EXPECT_EQ(S_OK, hr) << pszCall;
        EXPECT_GT(SysStringLen(bstr), 0u) << pszCall;
        SysFreeString(bstr);
    };
    auto round = [&] {
        BSTR bstr = nullptr;
        expectText(pComponent->GetName(&bstr), bstr, L"GetName");
        bstr = nullptr;
        expectText(pErrorInfo->GetErrorDescription(static_cast<HRESULT>(0x801D0011), GUID_NULL, &bstr), bstr,
                   L"own error description");
        bstr = nullptr;
        expectText(pErrorInfo->GetErrorDescription(E_DOCUMENT_NOT_FOUND, GUID_NULL, &bstr), bstr,
                   L"the component manager's description");
        bstr = SysAllocString(L"x");
        EXPECT_EQ(S_OK, pHelp->SetHelpSource(freeId));
        expectText(pHelp->GetHelpSource(&bstr), bstr, L"GetHelpSource");  // frees "x", hands out a copy
        long lCount = 0;
        CVFILEINFO info = {};
        expectText(pQuery->GetCVDependencies(&lCount, &info), info.bstrID, L"GetCVDependencies");

        // A fetched record, once into a zeroed record and once into one that holds strings.
        for (bool bPrefilled : {false, true})
        {
            HostDocument host;
            if (bPrefilled)
                for (BSTR* p : {&host.doc.bstrDocID, &host.doc.bstrName, &host.doc.bstrTypistID})
                    *p = SysAllocString(L"the host's");
            EXPECT_EQ(S_OK, m_pProvider->GetDocument(freeId, 0, &host.doc));
            EXPECT_STREQ(L"Leak check", host.doc.bstrName);
            EXPECT_FALSE(host.LocalFile().empty());
            DeleteFileW(host.LocalFile().c_str());
        }
        bstr = nullptr;
        expectText(m_pProvider->GetDocIDDescription(freeId, &bstr), bstr, L"GetDocIDDescription");
        long lState = -1;
        bstr = nullptr;
        EXPECT_EQ(S_OK, m_pProvider->GetDocumentLockStatus(DmsStandInScope::Id(lTaken, L"1"), &lState, &bstr));
        EXPECT_EQ(2, lState);
        EXPECT_STREQ(L"bob", bstr);
        SysFreeString(bstr);
        bstr = nullptr;
        expectText(m_pProvider->GetCurrentDmsUser(freeId, &bstr), bstr, L"GetCurrentDmsUser");
        bstr = nullptr;
        expectText(m_pProvider->TranslateOdmaID(_bstr_t(L"::ODMA\\PCDOCS\\LIB\\12\\1"), &bstr), bstr,
                   L"TranslateOdmaID");

        // Failing paths still hand out (and take in) strings.
        bstr = nullptr;
        EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->GetDocIDDescription(missingId, &bstr));
        SysFreeString(bstr);
        HostDocument missing;
        missing.doc.bstrDocID = SysAllocString(missingId);
        EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->OpenDocument(&missing.doc));
        bstr = SysAllocString(missingId);
        EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->VersionDocument(&bstr, freeId));  // frees the incoming BSTR
        SysFreeString(bstr);
    };
    // The first round logs on and parks the DMS application, which live as long as the module.
    round();
    testing_support::AllocationSpy spy;
    for (int i = 0; i < 5; ++i)
        round();
    EXPECT_EQ(0, spy.Outstanding());
}

}  // namespace

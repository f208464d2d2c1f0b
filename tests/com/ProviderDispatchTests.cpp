// The provider object's forwarding layer: the no-client answer, the identity questions, the
// error descriptions, help values and the ownership of what it hands out.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "ComTestSupport.h"

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
    // Any type of "InstallPath" counts, even a number.
    testing_support::ScopedRegValue installPath(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath");
    installPath.SetDword(7);
    _bstr_t app(L"Writer");
    EXPECT_EQ(S_OK, m_pProvider->SetCallingApplication(app));

    VARIANT_BOOL vbOffline = 0x5A5A;
    EXPECT_EQ(S_OK, m_pProvider->IsDmsInOfflineMode(app, &vbOffline));
    EXPECT_EQ(VARIANT_FALSE, vbOffline);
    EXPECT_EQ(E_POINTER, m_pProvider->IsDmsInOfflineMode(app, nullptr));

    testing_support::ScopedRegValue currentVersion(HKEY_LOCAL_MACHINE, kDmsClientKey, L"CurrentVersion");
    currentVersion.SetString(L"4.0");
    long lFlags = kSentinelLong;
    EXPECT_EQ(S_OK, m_pProvider->GetCapabilities(app, 0, &lFlags));
    EXPECT_EQ(0, lFlags) << "no DM5 client: offline work is not offered";

    CVDOCUMENT doc = {};
    EXPECT_EQ(E_NOTIMPL, m_pProvider->SaveDocumentEx(&doc, 0, app, &lFlags));

    // A failing operation leaves the host's record alone but always writes an out BSTR.
    SentinelDocument sentinel;
    EXPECT_TRUE(FAILED(m_pProvider->OpenDocument(&sentinel.doc)));
    EXPECT_TRUE(sentinel.Untouched());
    BSTR bstrDesc = kSentinelBstr;
    EXPECT_TRUE(FAILED(m_pProvider->GetDocIDDescription(app, &bstrDesc)));
    ASSERT_NE(kSentinelBstr, bstrDesc);
    EXPECT_STREQ(L"", bstrDesc);
    SysFreeString(bstrDesc);
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

TEST_F(ProviderTest, LeaksNoStringOrBlock)
{
    ScopedDmsClient client(true);
    ICVComponentPtr pComponent(m_pProvider);
    ICVHelpDefinitionPtr pHelp(m_pProvider);
    ICVErrorInfoPtr pErrorInfo(m_pProvider);
    testing_support::AllocationSpy spy;
    {
        _bstr_t id(L"PowerDocs://LIB/42/1");
        for (int i = 0; i < 20; ++i)
        {
            BSTR bstr = nullptr;
            pComponent->GetName(&bstr);
            SysFreeString(bstr);
            bstr = nullptr;
            pErrorInfo->GetErrorDescription(static_cast<HRESULT>(0x801D0011), GUID_NULL, &bstr);
            SysFreeString(bstr);
            bstr = SysAllocString(L"x");
            pHelp->SetHelpSource(id);
            pHelp->GetHelpSource(&bstr);  // frees "x", hands out a copy
            SysFreeString(bstr);
            CVDOCUMENT doc = {};
            doc.bstrDocID = SysAllocString(L"PowerDocs://LIB/42/1");
            m_pProvider->OpenDocument(&doc);
            SysFreeString(doc.bstrDocID);
            bstr = SysAllocString(L"PowerDocs://LIB/42/1");
            m_pProvider->VersionDocument(&bstr, id);  // frees the incoming BSTR
            SysFreeString(bstr);
        }
    }
    EXPECT_EQ(0, spy.Outstanding());
}

}  // namespace

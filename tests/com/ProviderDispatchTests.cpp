// The provider object's forwarding layer: calls reaching the logic object, identity questions,
// error descriptions, the component manager's answers and help values (leaks: the fuzz run).

#include "ComTestSupport.h"
#include "DmsStandInControl.h"

namespace {

using testing_support::TakeText;

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

// Without a client every DMS method answers E_NO_DMS_CLIENT: the fuzz run's last part checks that.
TEST_F(ProviderTest, WithDmsClientCallsReachTheLogicObject)
{
    DmsStandInScope dms;
    ASSERT_TRUE(dms.Prepare(L"5.3"));
    _bstr_t app(L"Writer");
    EXPECT_EQ(S_OK, m_pProvider->SetCallingApplication(app));
    EXPECT_EQ(E_POINTER, m_pProvider->IsDmsInOfflineMode(app, nullptr));
    VARIANT_BOOL vbCan = VARIANT_FALSE;
    EXPECT_EQ(S_OK, m_pProvider->CanResolve(&vbCan));
    EXPECT_EQ(VARIANT_TRUE, vbCan);

    long lFlags = kSentinelLong;
    CVDOCUMENT doc = {};
    EXPECT_EQ(E_NOTIMPL, m_pProvider->SaveDocumentEx(&doc, 0, app, &lFlags));
    EXPECT_EQ(kSentinelLong, lFlags);

    // Only a DM 5 client offers offline work.
    EXPECT_EQ(S_OK, m_pProvider->GetCapabilities(app, 0, &lFlags));
    EXPECT_EQ(8, lFlags) << "a DM 5 client";
    EXPECT_EQ(E_POINTER, m_pProvider->GetCapabilities(app, 0, nullptr));
    ASSERT_EQ(S_OK, StandIn_Install(L"6.0"));
    EXPECT_EQ(S_OK, m_pProvider->GetCapabilities(app, 0, &lFlags));
    EXPECT_EQ(0, lFlags) << "a DM 6 client";
}

TEST_F(ProviderTest, AnswersIdentityQuestionsWithFreshStrings)
{
    ICVComponentPtr pComponent(m_pProvider);
    _bstr_t first, second, description;
    ASSERT_EQ(S_OK, pComponent->GetName(first.GetAddress()));
    ASSERT_EQ(S_OK, pComponent->GetName(second.GetAddress()));
    EXPECT_TRUE(first == _bstr_t(L"Quendrel") && second == first);
    EXPECT_NE(first.GetBSTR(), second.GetBSTR()) << "every call hands out a new BSTR for the host to free";
    EXPECT_EQ(E_POINTER, pComponent->GetName(nullptr));
    ASSERT_EQ(S_OK, pComponent->GetShortDescription(description.GetAddress()));
    EXPECT_STREQ(L"Hummingbird DM5 integration", static_cast<const wchar_t*>(description));

    ICVQueryInfoPtr pQuery(m_pProvider);
    long count = kSentinelLong;
    CVFILEINFO info = {};
    ASSERT_EQ(S_OK, pQuery->GetCVDependencies(&count, &info));
    EXPECT_EQ(kSentinelLong, count) << "the count is the host's and stays unwritten";
    EXPECT_EQ(L"{5d404391-0460-4397-a433-931a7e94d550}", TakeText(info.bstrID));
    EXPECT_EQ(std::vector<long>({2, 1, 3, 461}), std::vector<long>({info.lMajor, info.lMinor, info.lBuild, info.lRevision}));
    EXPECT_EQ(E_POINTER, pQuery->GetCVDependencies(&count, nullptr));
}

TEST_F(ProviderTest, DescribesItsOwnCodesAndLeavesOthersToTheComponentManager)
{
    ICVErrorInfoPtr pErrorInfo(m_pProvider);
    const BSTR kUnwritten = reinterpret_cast<BSTR>(static_cast<ULONG_PTR>(0x5A5A5A5A));
    const auto describe = [&](HRESULT hr) {
        BSTR bstr = kUnwritten;
        EXPECT_EQ(S_OK, pErrorInfo->GetErrorDescription(hr, GUID_NULL, &bstr)) << std::hex << hr;
        return bstr == kUnwritten ? std::wstring(L"<unwritten>") : TakeText(bstr);
    };
    // Its own codes from its string table; above its table nothing is written; other facilities
    // get the component manager's text.
    const std::pair<HRESULT, const wchar_t*> table[] = {
        {0x801D0001, L"Indicates that an operation succeeded."},
        {0x801D0009, L"Indicates that an object is in invalid state. For instance, the object isn\u2019t initialized or was deleted."},
        {0x801D000D, L"Could not retrieve file from Hummingbird DM5."},
        {0x801D0010, L"Hummingbird DM5 installation not detected."},
        {0x801D0013, L"Unknown error"},
        {0x801D0014, L"<unwritten>"},
        {E_DOCUMENT_NOT_FOUND, L"The document was not found."},
    };
    for (const auto& row : table)
        EXPECT_EQ(row.second, describe(row.first)) << std::hex << row.first;

    // The other error and diagnostics questions go to the manager unchanged.
    _bstr_t text;
    EXPECT_EQ(S_OK, pErrorInfo->GetHelpFile(E_DOCUMENT_NOT_FOUND, GUID_NULL, text.GetAddress()));
    EXPECT_EQ(0, _wcsicmp((testing_support::ProgramFolder() + L"\\Corvane.chm").c_str(), text));
    VARIANT_BOOL vbCan = VARIANT_TRUE, vbAutofix = VARIANT_TRUE, vbFixed = VARIANT_TRUE;
    EXPECT_EQ(S_OK, pErrorInfo->CanDiagnose(E_DOCUMENT_NOT_FOUND, GUID_NULL, &vbCan));
    EXPECT_EQ(S_OK, pErrorInfo->CanAutofix(E_DOCUMENT_NOT_FOUND, GUID_NULL, &vbAutofix));
    EXPECT_EQ(VARIANT_FALSE, vbCan | vbAutofix);
    ICVDiagnosticsPtr pDiagnostics(m_pProvider);
    EXPECT_EQ(S_FALSE, pDiagnostics->FixError(E_DOCUMENT_NOT_FOUND, GUID_NULL, &vbFixed));
    EXPECT_EQ(VARIANT_FALSE, vbFixed);
    EXPECT_EQ(S_OK, pDiagnostics->ExamineError(E_DOCUMENT_LOCKED_BY_OTHER, GUID_NULL, text.GetAddress()));
    const std::wstring strExamined(text);
    EXPECT_NE(std::wstring::npos, strExamined.find(L"0x80120009"));
    EXPECT_NE(std::wstring::npos, strExamined.find(L"The document is locked by another user."));
    long context = kSentinelLong;
    EXPECT_EQ(E_NOTIMPL, pErrorInfo->GetHelpContext(E_FAIL, GUID_NULL, &context));
    EXPECT_EQ(kSentinelLong, context);
}

TEST_F(ProviderTest, KeepsHelpSourceAndContext)
{
    ICVHelpDefinitionPtr pHelp(m_pProvider);
    _bstr_t source(L"old");
    long context = -1;
    for (const std::pair<const wchar_t*, long>& set : {std::make_pair(L"", 0L), std::make_pair(L"C:\\help\\provider.chm", 4711L)})
    {
        ASSERT_EQ(S_OK, pHelp->GetHelpSource(&source.GetBSTR()));
        ASSERT_EQ(S_OK, pHelp->GetHelpContext(&context));
        EXPECT_STREQ(set.first, static_cast<const wchar_t*>(source) ? static_cast<const wchar_t*>(source) : L"<null>");
        EXPECT_EQ(set.second, context);
        ASSERT_EQ(S_OK, pHelp->SetHelpSource(_bstr_t(L"C:\\help\\provider.chm")));
        ASSERT_EQ(S_OK, pHelp->SetHelpContext(4711));
    }
}

}  // namespace

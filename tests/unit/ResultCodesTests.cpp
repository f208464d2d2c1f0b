// DMS error codes as result codes, and the error information that goes with them.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "DmsStandInControl.h"
#include "dms/AppWrapper.h"
#include "dms/DmsErrors.h"
#include "dms/PowerDocsDocInfo.h"
#include "operations/PDDocProviderHelper.h"
#include "records/ResultCodes.h"

namespace {

TEST(ConvertPowerDocsErrorCodeToHRESULT, MapsEveryDmsCode)
{
    const struct
    {
        long code;
        HRESULT hr;
    } table[] = {
        {0, S_OK},
        {1, E_PD_USER_CANCELLED},
        {2, E_PD_SYSTEM_ERROR},
        {3, E_PD_INVALID_ARGUMENTS},
        {4, E_PD_INSUFFICIENT_RIGHTS},
        {5, E_PD_FORM_LOAD_FAILED},
        {6, E_PD_FORM_LOAD_FAILED},
        {7, E_PD_MODULE_LOAD_FAILED},
        {8, E_PD_MODULE_ERROR},
        {9, E_PD_INVALID_STATE},
        {10, E_PD_CANNOT_INVOKE},
        {11, E_PD_SERVER_CALL_FAILED},
        {12, E_PD_INTERNAL_ERROR},
        {-1, E_PD_INTERNAL_ERROR},
        {0x7FFFFFFF, E_PD_INTERNAL_ERROR},
    };
    for (const auto& row : table)
        EXPECT_EQ(row.hr, ConvertPowerDocsErrorCodeToHRESULT(row.code)) << row.code;
}

TEST(ComponentErrorText, FallsBackToBuiltInTextsWithoutTheStringTable)
{
    // The test program carries no string table, so every text comes from the fallbacks.
    EXPECT_EQ(L"Indicates that an operation succeeded.", ComponentErrorText(E_PD_SUCCEEDED));
    EXPECT_EQ(L"Could not retrieve file from PowerDocs.", ComponentErrorText(E_PD_CANNOT_RETRIEVE_FILE));
    EXPECT_EQ(L"PowerDocs installation not detected.", ComponentErrorText(E_PD_NOT_INSTALLED));
    EXPECT_EQ(L"Unknown error", ComponentErrorText(E_PD_UNKNOWN_ERROR));
    EXPECT_EQ(L"", ComponentErrorText(static_cast<HRESULT>(0x801D0014)));
    EXPECT_EQ(L"", ComponentErrorText(E_DOCUMENT_NOT_FOUND));
}

std::wstring ThreadErrorDescription()
{
    IErrorInfo* pInfo = nullptr;
    if (GetErrorInfo(0, &pInfo) != S_OK || !pInfo)
        return L"<none>";
    BSTR bstrText = nullptr;
    BSTR bstrSource = nullptr;
    pInfo->GetDescription(&bstrText);
    pInfo->GetSource(&bstrSource);
    std::wstring text = std::wstring(bstrSource ? bstrSource : L"") + L": " + (bstrText ? bstrText : L"");
    SysFreeString(bstrText);
    SysFreeString(bstrSource);
    pInfo->Release();
    return text;
}

// A version of the stand-in, whose last error a test sets through an injected fetch error.
class GetReturnCodeTest : public InProcessDmsTest
{
protected:
    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        LONG lNumber = 0;
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Codes", L"MS WORD", "x", 1, &lNumber));
        StandIn_ClearFaults();
        m_pVersion = m_helper.GetVersion(L"PowerDocs://LIB/" + std::to_wstring(lNumber) + L"/1");
        ASSERT_TRUE(m_pVersion != nullptr);
    }
    void TearDown() override
    {
        m_pVersion = nullptr;
        InProcessDmsTest::TearDown();
    }

    // Makes the version report the DMS error number lError.
    void SetVersionError(long lError)
    {
        StandIn_ClearFaults();
        ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", S_OK, lError, 1, FALSE));
        m_pVersion->Fetch(0);
    }

    CPDDocProviderHelper m_helper;
    IVersionPtr m_pVersion;
};

TEST_F(GetReturnCodeTest, GivesTheDefaultWithoutADmsErrorAndTheMappedCodeWithOne)
{
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(S_FALSE, m_helper.GetReturnCode(m_pVersion, L"Upload failed: ", S_FALSE));
    EXPECT_EQ(L"<none>", ThreadErrorDescription()) << "no error, nothing published";

    for (long lError : {5L, 6L})
    {
        SetVersionError(lError);
        EXPECT_EQ(E_PD_FORM_LOAD_FAILED, m_helper.GetReturnCode(m_pVersion, L"Upload failed: ", S_OK));
    }
    SetVersionError(12);
    EXPECT_EQ(E_PD_INTERNAL_ERROR, m_helper.GetReturnCode(m_pVersion, L"Upload failed: ", S_OK));
    const std::wstring published = ThreadErrorDescription();
    EXPECT_EQ(0u, published.find(L"PowerDocs Doc Provider: Upload failed: ")) << "the context leads the DMS's text";
    EXPECT_GT(published.size(), std::wstring(L"PowerDocs Doc Provider: Upload failed: ").size());

    EXPECT_EQ(E_POINTER, m_helper.GetReturnCode(IVersionPtr(), L"x", S_OK));
    EXPECT_EQ(E_POINTER, m_helper.GetReturnCode(IProfilePtr(), L"x", S_OK));
}

TEST_F(GetReturnCodeTest, LookupFailuresLeaveTheirReasonAsErrorDescription)
{
    EXPECT_TRUE(m_helper.GetVersion(L"no separators") == nullptr);
    EXPECT_EQ(L"PowerDocs Doc Provider: Unable to parse the document id", ThreadErrorDescription());
    EXPECT_TRUE(m_helper.GetVersion(L"PowerDocs://LIB/424242/1") == nullptr);
    EXPECT_EQ(0u, ThreadErrorDescription().find(
                      L"PowerDocs Doc Provider: Profile for docnum 424242 not found for docID, PowerDocs://LIB/424242/1, HR = "));
}

TEST_F(GetReturnCodeTest, DocInfoIsFilledFromAVersion)
{
    CPowerDocsDocInfo info;
    ASSERT_TRUE(info.Populate(m_pVersion));
    EXPECT_EQ(L"LIB", info.m_strLibraryName);
    EXPECT_EQ(L"1", info.m_strVersionLabel);
    EXPECT_EQ(L"PowerDOCS://LIB/" + std::to_wstring(info.m_lDocNumber) + L"/1", info.AsDocID());
    CPowerDocsDocInfo empty;
    EXPECT_FALSE(empty.Populate(IVersionPtr()));
    EXPECT_EQ(0, empty.m_lDocNumber);
}

}  // namespace

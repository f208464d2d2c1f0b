// DMS error codes as result codes, and the error information that goes with them.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "dms/DmsErrors.h"
#include "operations/PDDocProviderHelper.h"
#include "records/ResultCodes.h"

namespace {

TEST(ConvertPowerDocsErrorCodeToHRESULT, MapsEveryDmsCode)
{
    const std::pair<long, HRESULT> table[] = {
        {0, S_OK},                      {1, E_PD_USER_CANCELLED},        {2, E_PD_SYSTEM_ERROR},
        {3, E_PD_INVALID_ARGUMENTS},    {4, E_PD_INSUFFICIENT_RIGHTS},   {5, E_PD_FORM_LOAD_FAILED},
        {6, E_PD_FORM_LOAD_FAILED},     {7, E_PD_MODULE_LOAD_FAILED},    {8, E_PD_MODULE_ERROR},
        {9, E_PD_INVALID_STATE},        {10, E_PD_CANNOT_INVOKE},        {11, E_PD_SERVER_CALL_FAILED},
        {12, E_PD_INTERNAL_ERROR},      {-1, E_PD_INTERNAL_ERROR},       {0x7FFFFFFF, E_PD_INTERNAL_ERROR},
    };
    for (const auto& row : table)
        EXPECT_EQ(row.second, ConvertPowerDocsErrorCodeToHRESULT(row.first)) << row.first;
}

TEST(ComponentErrorText, FallsBackToBuiltInTextsWithoutTheStringTable)
{
    // The test program carries no string table, so every text comes from the fallbacks.
    const std::pair<HRESULT, const wchar_t*> table[] = {
        {E_PD_SUCCEEDED, L"Indicates that an operation succeeded."},
        {E_PD_CANNOT_RETRIEVE_FILE, L"Could not retrieve file from PowerDocs."},
        {E_PD_NOT_INSTALLED, L"PowerDocs installation not detected."}, {E_PD_UNKNOWN_ERROR, L"Unknown error"},
        {static_cast<HRESULT>(0x801D0014), L""}, {E_DOCUMENT_NOT_FOUND, L""}};
    for (const auto& row : table)
        EXPECT_EQ(row.second, ComponentErrorText(row.first)) << std::hex << row.first;
}

// A version of the stand-in, whose last error a test sets through an injected fetch error.
class GetReturnCodeTest : public InProcessDmsTest
{
protected:
    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        m_pVersion = m_helper.GetVersion(AddDocument(L"Codes", "x"));
        ASSERT_TRUE(m_pVersion != nullptr);
    }
    void TearDown() override
    {
        m_pVersion = nullptr;
        InProcessDmsTest::TearDown();
    }

    CPDDocProviderHelper m_helper;
    IVersionPtr m_pVersion;
};

TEST_F(GetReturnCodeTest, GivesTheDefaultWithoutADmsErrorAndTheMappedCodeWithOne)
{
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(S_FALSE, m_helper.GetReturnCode(m_pVersion, L"Upload failed: ", S_FALSE));
    EXPECT_EQ(L"<none>", testing_support::ThreadErrorDescription()) << "no error, nothing published";

    StandIn_ClearFaults();  // the version reports DMS error 12 after a failed fetch
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", S_OK, 12, 1, FALSE));
    m_pVersion->Fetch(0);
    EXPECT_EQ(E_PD_INTERNAL_ERROR, m_helper.GetReturnCode(m_pVersion, L"Upload failed: ", S_OK));
    const std::wstring published = testing_support::ThreadErrorDescription();
    EXPECT_EQ(0u, published.find(L"PowerDocs Doc Provider: Upload failed: ")) << "the context leads the DMS's text";

    EXPECT_EQ(E_POINTER, m_helper.GetReturnCode(IVersionPtr(), L"x", S_OK));
    EXPECT_EQ(E_POINTER, m_helper.GetReturnCode(IProfilePtr(), L"x", S_OK));
}

}  // namespace

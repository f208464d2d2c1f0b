// The process-wide DMS keeper: logon and parking, retries, release, connection state, current user.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "operations/PDDocProviderHelper.h"

namespace {

class AppWrapperTest : public InProcessDmsTest
{
protected:
    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        CAppWrapper::Instance().ReleaseDispatch();
    }
};

TEST_F(AppWrapperTest, RetriesUntilTheClientIsThereAndReleasesOnce)
{
    ASSERT_EQ(S_OK, StandIn_Uninstall());
    EXPECT_FALSE(CAppWrapper::Instance().EnsureAppIsMarshalled());
    EXPECT_EQ(nullptr, g_lpUnknownStream);
    HRESULT hrRaised = S_OK;
    try { OpenDmsApplication(); } catch (const _com_error& e) { hrRaised = e.Error(); }
    EXPECT_EQ(REGDB_E_CLASSNOTREG, hrRaised) << "the creation code reaches the operation";

    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    const LONG lBefore = StandIn_LiveObjects();
    EXPECT_TRUE(CAppWrapper::Instance().EnsureAppIsMarshalled()) << "tried again on the next call";
    EXPECT_NE(nullptr, g_lpUnknownStream);
    EXPECT_GT(StandIn_LiveObjects(), lBefore) << "the parked application stays alive";
    EXPECT_TRUE(CAppWrapper::Instance().EnsureAppIsMarshalled());

    CAppWrapper::Instance().ReleaseDispatch();
    EXPECT_EQ(nullptr, g_lpUnknownStream);
    EXPECT_EQ(lBefore, StandIn_LiveObjects()) << "the parked application is released";
}

// The logon happens once per process, so this runs in a fresh process of its own.
TEST_F(AppWrapperTest, ALogonThatRaisesParksNothingAndIsTriedAgain)
{
    const wchar_t kChildSwitch[] = L"--logon-child";
    if (!wcsstr(GetCommandLineW(), kChildSwitch))
    {
        EXPECT_EQ(0, testing_support::RunThisProgram(L"--gtest_filter=AppWrapperTest.ALogonThatRaises* " +
                                                     std::wstring(kChildSwitch)));
        return;
    }
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IDMSession::Logon", E_ACCESSDENIED, 0, 1, FALSE));
    EXPECT_FALSE(CAppWrapper::Instance().EnsureAppIsMarshalled());
    EXPECT_EQ(nullptr, g_lpUnknownStream);
    StandIn_ClearFaults();
    EXPECT_TRUE(CAppWrapper::Instance().EnsureAppIsMarshalled());
    EXPECT_NE(nullptr, g_lpUnknownStream);
}

TEST_F(AppWrapperTest, ConnectionStatesOneAndTwoMeanOfflineAndAFailedUserReadKeepsTheText)
{
    const std::pair<LONG, bool> table[] = {{0, false}, {1, true}, {2, true}, {3, false}};
    for (const auto& row : table)
    {
        ASSERT_EQ(S_OK, StandIn_SetConnectionState(row.first));
        EXPECT_EQ(row.second, CAppWrapper::WorkingOffline()) << row.first;
    }
    StandIn_SetConnectionState(0);

    CPDDocProviderHelper helper;
    CStdStr strUser = L"unchanged";
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"ILibrary::UserID", E_ACCESSDENIED, 0, 1, FALSE));
    EXPECT_EQ(E_ACCESSDENIED, helper.GetCurrentDmsUser(L"", strUser));
    EXPECT_EQ(L"unchanged", strUser) << "kept on error";

    ASSERT_EQ(S_OK, StandIn_Uninstall());
    EXPECT_FALSE(CAppWrapper::WorkingOffline()) << "no client: online, without an exception";
}

}  // namespace

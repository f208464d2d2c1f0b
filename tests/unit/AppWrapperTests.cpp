// The process-wide DMS keeper: logon and parking, retry after a missing client, release,
// and the connection state.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "dms/AppWrapper.h"
#include "operations/PDDocProviderHelper.h"

namespace {

class AppWrapperTest : public InProcessDmsTest
{
protected:
    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        StandIn_SetProcessUser(L"carol");
        CAppWrapper::Instance().ReleaseDispatch();
    }
    void TearDown() override
    {
        InProcessDmsTest::TearDown();
    }
};

TEST_F(AppWrapperTest, RetriesUntilTheClientIsThereAndReleasesOnce)
{
    ASSERT_EQ(S_OK, StandIn_Uninstall());
    EXPECT_FALSE(CAppWrapper::Instance().EnsureAppIsMarshalled());
    EXPECT_EQ(nullptr, g_lpUnknownStream);
    HRESULT hrRaised = S_OK;
    try
    {
        OpenDmsApplication();
    }
    catch (const _com_error& e)
    {
        hrRaised = e.Error();
    }
    EXPECT_EQ(REGDB_E_CLASSNOTREG, hrRaised) << "the creation code reaches the operation";

    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    const LONG lBefore = StandIn_LiveObjects();
    EXPECT_TRUE(CAppWrapper::Instance().EnsureAppIsMarshalled()) << "tried again on the next call";
    EXPECT_NE(nullptr, g_lpUnknownStream);
    EXPECT_GT(StandIn_LiveObjects(), lBefore) << "the parked application stays alive";
    EXPECT_TRUE(CAppWrapper::Instance().EnsureAppIsMarshalled());

    CAppWrapper::Instance().ReleaseDispatch();
    EXPECT_EQ(nullptr, g_lpUnknownStream);
    const LONG lAfter = StandIn_LiveObjects();
    CAppWrapper::Instance().ReleaseDispatch();  // a second release does nothing
    EXPECT_EQ(lAfter, StandIn_LiveObjects());
}

// The logon happens once per process, so this runs in a fresh process of its own.
TEST_F(AppWrapperTest, ALogonThatRaisesParksNothingAndIsTriedAgain)
{
    const wchar_t kChildSwitch[] = L"--logon-child";
    if (wcsstr(GetCommandLineW(), kChildSwitch))
    {
        ASSERT_EQ(S_OK, StandIn_InjectFault(L"IDMSession::Logon", E_ACCESSDENIED, 0, 1, FALSE));
        EXPECT_FALSE(CAppWrapper::Instance().EnsureAppIsMarshalled());
        EXPECT_EQ(nullptr, g_lpUnknownStream);
        StandIn_ClearFaults();
        EXPECT_TRUE(CAppWrapper::Instance().EnsureAppIsMarshalled());
        EXPECT_NE(nullptr, g_lpUnknownStream);
        return;
    }
    wchar_t szExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    EXPECT_EQ(0, testing_support::RunProgram(L"\"" + std::wstring(szExe) +
                                             L"\" --gtest_filter=AppWrapperTest.ALogonThatRaises* " + kChildSwitch));
}

TEST_F(AppWrapperTest, ConnectionStatesOneAndTwoMeanOffline)
{
    const struct
    {
        LONG state;
        bool offline;
    } table[] = {{0, false}, {1, true}, {2, true}, {3, false}};
    for (const auto& row : table)
    {
        ASSERT_EQ(S_OK, StandIn_SetConnectionState(row.state));
        EXPECT_EQ(row.offline, CAppWrapper::WorkingOffline()) << row.state;
    }
    ASSERT_EQ(S_OK, StandIn_Uninstall());
    EXPECT_FALSE(CAppWrapper::WorkingOffline()) << "no client: online, without an exception";
}

TEST_F(AppWrapperTest, CurrentUserComesFromTheDmsOrKeepsItsValueOnError)
{
    CPDDocProviderHelper helper;
    CStdStr strUser = L"unchanged";
    ASSERT_EQ(S_OK, helper.GetCurrentDmsUser(L"", strUser));
    EXPECT_EQ(L"carol", strUser);

    strUser = L"unchanged";
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"ILibrary::UserID", E_ACCESSDENIED, 0, 1, FALSE));
    EXPECT_EQ(E_ACCESSDENIED, helper.GetCurrentDmsUser(L"", strUser));
    EXPECT_EQ(L"unchanged", strUser);
    StandIn_ClearFaults();
}

}  // namespace

#pragma once
// The base of unit tests that drive the logic object against the DMS stand-in loaded into the
// test program: the calling thread in an apartment, the stand-in installed as a DM 5 client
// over an empty catalog with library LIB; afterwards a DM 5 client again, online, with no
// faults, scripted forms, process user or parked application left over.
#include <gtest/gtest.h>

#include <objbase.h>

#include "DmsStandInControl.h"
#include "dms/AppWrapper.h"

class InProcessDmsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        ASSERT_EQ(S_OK, StandIn_Reset());
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
        StandIn_ClearFaults();
    }
    void TearDown() override
    {
        StandIn_ClearFaults();
        StandIn_ScriptForms(nullptr);
        StandIn_Install(L"5.3");
        StandIn_SetConnectionState(0);
        StandIn_SetProcessUser(nullptr);
        CAppWrapper::Instance().ReleaseDispatch();
        CoUninitialize();
    }
};

#pragma once
// The base of unit tests that drive the logic object against the in-process DMS stand-in: a DM 5
// client over an empty catalog with library LIB; afterwards nothing of the test left over.
#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

#include "DmsStandInControl.h"
#include "TestSupport.h"
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

    // Adds a document to LIB whose version 1 holds the content; answers its ID with the label.
    static std::wstring AddDocument(const wchar_t* pszName, const std::string& content, const wchar_t* pszLabel = L"1",
                                    LONG* plNumber = nullptr)
    {
        LONG lNumber = 0;
        EXPECT_EQ(S_OK, StandIn_AddDocument(L"LIB", pszName, L"MS WORD", content.data(),
                                            static_cast<DWORD>(content.size()), &lNumber));
        if (plNumber)
            *plNumber = lNumber;
        return testing_support::DocId(lNumber, pszLabel);
    }
};

// The DMS client's product name and version as the provider reports them: read from the
// client program's version resource, by its translation table or, without one, in the user's
// language with code page 04B0.
#include <gtest/gtest.h>

#include <string>

#include "DocumentFixture.h"
#include "TestSupport.h"

namespace {

std::wstring SystemInfo(ICVQueryInfo* pQuery, HRESULT* phr)
{
    BSTR bstr = nullptr;
    *phr = pQuery->GetSystemInfo(&bstr);
    std::wstring strInfo = bstr ? bstr : L"<null>";
    SysFreeString(bstr);
    return strInfo;
}

TEST_F(DocumentTest, SystemInfoNamesTheInstalledClient)
{
    ICVQueryInfoPtr pQuery(m_pProvider);
    ASSERT_TRUE(pQuery);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(L"DMS Client Stand-in 1.0.0.0", SystemInfo(pQuery, &hr));
    EXPECT_EQ(S_OK, hr);

    // The client program, found where the provider looks for it.
    wchar_t szFolder[MAX_PATH] = {};
    DWORD cb = sizeof(szFolder);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\PowerDOCS", L"InstallPath",
                                          RRF_RT_REG_SZ, nullptr, szFolder, &cb));
    const std::wstring strClient = std::wstring(szFolder) + L"\\FsPlugin.dll";

    // Without a translation table the block of the user's language in Unicode is read, not
    // the first block of the resource.
    ASSERT_TRUE(CopyFileW((testing_support::ProgramFolder() + L"\\ClientNoTable.exe").c_str(), strClient.c_str(), FALSE));
    const LANGID lang = GetUserDefaultLangID();
    const std::wstring expected = lang == 0x0409   ? L"DMS Client Without Table 7.1 (en)"
                                  : lang == 0x0407 ? L"DMS-Client ohne Tabelle 7.1 (de)"
                                                   : L" ";
    EXPECT_EQ(expected, SystemInfo(pQuery, &hr)) << "user language " << lang;
    EXPECT_EQ(S_OK, hr);

    // A client program without a version resource, or none at all, gives empty parts.
    ASSERT_TRUE(testing_support::WriteFileBytes(strClient, "MZ not really a program"));
    EXPECT_EQ(L" ", SystemInfo(pQuery, &hr));
    EXPECT_EQ(S_OK, hr);
    ASSERT_TRUE(DeleteFileW(strClient.c_str()));
    EXPECT_EQ(L" ", SystemInfo(pQuery, &hr));
    EXPECT_EQ(S_OK, hr);
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
}

}  // namespace

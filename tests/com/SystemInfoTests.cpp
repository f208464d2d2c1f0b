// The DMS client's product name and version, from its version resource: by its translation table
// or, without one, in the user's language with code page 04B0.

#include "DocumentFixture.h"

namespace {

TEST_F(DocumentTest, SystemInfoNamesTheInstalledClient)
{
    ICVQueryInfoPtr pQuery(m_pProvider);
    ASSERT_TRUE(pQuery);
    const auto systemInfo = [&] {  // the answer, or the failure code in its place
        _bstr_t bstr;
        const HRESULT hr = pQuery->GetSystemInfo(bstr.GetAddress());
        return hr == S_OK && !!bstr ? std::wstring(bstr) : L"failed: " + std::to_wstring(hr);
    };
    EXPECT_EQ(L"DMS Client Stand-in 1.0.0.0", systemInfo());

    // The client program, found where the provider looks for it. Without a translation table
    // the block of the user's language in Unicode is read, not the first block of the resource.
    wchar_t szFolder[MAX_PATH] = {};
    DWORD cb = sizeof(szFolder);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\PowerDOCS", L"InstallPath",
                                          RRF_RT_REG_SZ, nullptr, szFolder, &cb));
    const std::wstring strClient = std::wstring(szFolder) + L"\\FsPlugin.dll";
    ASSERT_TRUE(CopyFileW((testing_support::ProgramFolder() + L"\\ClientNoTable.exe").c_str(), strClient.c_str(), FALSE));
    const LANGID lang = GetUserDefaultLangID();
    EXPECT_EQ(lang == 0x0409 ? L"DMS Client Without Table 7.1 (en)" : lang == 0x0407 ? L"DMS-Client ohne Tabelle 7.1 (de)" : L" ",
              systemInfo()) << "user language " << lang;

    // A client program without a version resource, or none at all, gives empty parts.
    ASSERT_TRUE(testing_support::WriteFileBytes(strClient, "MZ not really a program"));
    EXPECT_EQ(L" ", systemInfo());
    ASSERT_TRUE(DeleteFileW(strClient.c_str()));
    EXPECT_EQ(L" ", systemInfo());
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
}

}  // namespace

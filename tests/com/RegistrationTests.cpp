// The host's registration of the provider: the entry RegisterDefault writes in the host's option
// store, and cvhost's register and unregister, which do what a host installer does.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "ComTestSupport.h"
#include "RegistrySandbox.h"

namespace {

const wchar_t kProvidersKey[] = L"SOFTWARE\\Corvane\\Options\\DocumentProviders";
const wchar_t kProviderKey[] = L"SOFTWARE\\Corvane\\Options\\DocumentProviders\\Hummingbird DM/PowerDocs";

// Every value of the provider's option subgroup as (type, text); DWORDs as decimal text.
std::map<std::wstring, std::pair<DWORD, std::wstring>> ProviderOptions()
{
    std::map<std::wstring, std::pair<DWORD, std::wstring>> values;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kProviderKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i)
    {
        wchar_t szName[256] = {};
        DWORD cchName = 256, dwType = 0;
        BYTE data[2048] = {};
        DWORD cbData = sizeof(data) - sizeof(wchar_t);
        if (RegEnumValueW(hKey, i, szName, &cchName, nullptr, &dwType, data, &cbData) != ERROR_SUCCESS)
            break;
        values[szName] = {dwType, dwType == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data))
                                                      : std::wstring(reinterpret_cast<wchar_t*>(data))};
    }
    RegCloseKey(hKey);
    return values;
}

std::wstring LoadedModulePath()
{
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"CmQuendrel.dll"), sz, MAX_PATH);
    return sz;
}

// Checks the seven values RegisterDefault writes, and that the subgroup holds nothing else.
void ExpectProviderEntry(const std::wstring& strModule)
{
    auto values = ProviderOptions();
    ASSERT_EQ(7u, values.size());
    using Value = std::pair<DWORD, std::wstring>;
    EXPECT_EQ(Value(REG_SZ, L"CmQuendrel.DocProvider"), values[L"ProgID"]);
    EXPECT_EQ(Value(REG_SZ, L"PowerDocs"), values[L"ServerID"]);
    EXPECT_EQ(Value(REG_DWORD, L"1"), values[L"Enabled"]);
    EXPECT_EQ(Value(REG_DWORD, L"1"), values[L"DMS"]);
    EXPECT_EQ(Value(REG_SZ, L"MHODMA"), values[L"OdmaDmsID"]);
    EXPECT_EQ(REG_SZ, values[L"Filename"].first);
    EXPECT_EQ(0, _wcsicmp(strModule.c_str(), values[L"Filename"].second.c_str())) << values[L"Filename"].second;

    // The icon reference is the module's short path with icon index 0.
    EXPECT_EQ(REG_SZ, values[L"ShellIcon"].first);
    const std::wstring strIcon = values[L"ShellIcon"].second;
    ASSERT_GT(strIcon.size(), 2u);
    EXPECT_EQ(L",0", strIcon.substr(strIcon.size() - 2));
    wchar_t szShort[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(strModule.c_str(), szShort, MAX_PATH), 0u);
    EXPECT_EQ(0, _wcsicmp(szShort, strIcon.substr(0, strIcon.size() - 2).c_str())) << strIcon;
}

TEST(Registration, RegisterDefaultEntersTheProviderInTheHostsProviders)
{
    registry_sandbox::CRegistrySandbox sandbox({{HKEY_CURRENT_USER, kProvidersKey}});
    // A provider the host had disabled is enabled again by a new registration.
    DWORD dwDisabled = 0;
    ASSERT_TRUE(registry_sandbox::SetValue(HKEY_CURRENT_USER, kProviderKey, L"Enabled", REG_DWORD, &dwDisabled,
                                           sizeof(dwDisabled)));

    ICVRegistrationPtr pRegistration;
    ASSERT_EQ(S_OK, pRegistration.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    ASSERT_EQ(S_OK, pRegistration->RegisterDefault());
    const std::wstring strModule = LoadedModulePath();
    ExpectProviderEntry(strModule);
    const auto first = ProviderOptions();

    // A second registration leaves the same seven values; unregistering leaves them in place.
    ASSERT_EQ(S_OK, pRegistration->RegisterDefault());
    EXPECT_EQ(first, ProviderOptions());
    ASSERT_EQ(S_OK, pRegistration->UnRegisterAll());
    EXPECT_EQ(first, ProviderOptions());
}

TEST(Registration, CvhostRegisterAndUnregisterDoTheInstallersWork)
{
    registry_sandbox::CRegistrySandbox sandbox({{HKEY_CURRENT_USER, kProvidersKey}});
    const std::wstring strCvhost = L"\"" + testing_support::ProgramFolder() + L"\\cvhost.exe\" ";
    CLSID clsid;

    ASSERT_EQ(0, testing_support::RunProgram(strCvhost + L"register"));
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"CmQuendrel.DocProvider", &clsid));
    ExpectProviderEntry(ProviderModulePath());

    EXPECT_EQ(0, testing_support::RunProgram(strCvhost + L"unregister"));
    EXPECT_TRUE(ProviderOptions().empty());
    HKEY hKey = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kProviderKey, 0, KEY_READ, &hKey));
    if (hKey)
        RegCloseKey(hKey);
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"CmQuendrel.DocProvider", &clsid)));
    ITypeLib* pTypeLib = nullptr;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_QuendrelLib, 1, 0, LOCALE_NEUTRAL, &pTypeLib)));
    if (pTypeLib)
        pTypeLib->Release();

    // The other tests of this program rely on the registration the environment made.
    RegisterProviderForTests();
}

}  // namespace

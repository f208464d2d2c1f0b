// The host's registration of the provider: the entry RegisterDefault writes in the host's option
// store, and cvhost's register and unregister, which do what a host installer does.

#include <map>

#include "ComTestSupport.h"
#include "RegistrySandbox.h"

namespace {

const wchar_t kProvidersKey[] = L"SOFTWARE\\Corvane\\Options\\DocumentProviders";
const wchar_t kProviderKey[] = L"SOFTWARE\\Corvane\\Options\\DocumentProviders\\Hummingbird DM/PowerDocs";

using Value = std::pair<DWORD, std::wstring>;

// Every value of the provider's option subgroup as (type, text), DWORDs in decimal, paths in lower case.
std::map<std::wstring, Value> ProviderOptions()
{
    std::map<std::wstring, Value> values;
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
        if (dwType == REG_SZ && (std::wstring(szName) == L"Filename" || std::wstring(szName) == L"ShellIcon"))
            CharLowerW(reinterpret_cast<wchar_t*>(data));
        values[szName] = {dwType, dwType == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data))
                                                      : std::wstring(reinterpret_cast<wchar_t*>(data))};
    }
    RegCloseKey(hKey);
    return values;
}

// The seven values RegisterDefault writes and nothing else; the icon is the module's short path, index 0.
void ExpectProviderEntry(std::wstring strModule)
{
    wchar_t szShort[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(strModule.c_str(), szShort, MAX_PATH), 0u);
    CharLowerW(&strModule[0]);
    CharLowerW(szShort);
    const std::map<std::wstring, Value> expected = {
        {L"ProgID", {REG_SZ, L"CmQuendrel.DocProvider"}}, {L"ServerID", {REG_SZ, L"PowerDocs"}},
        {L"Enabled", {REG_DWORD, L"1"}},                  {L"DMS", {REG_DWORD, L"1"}},
        {L"OdmaDmsID", {REG_SZ, L"MHODMA"}},              {L"Filename", {REG_SZ, strModule}},
        {L"ShellIcon", {REG_SZ, std::wstring(szShort) + L",0"}}};
    EXPECT_EQ(expected, ProviderOptions());
}

TEST(Registration, RegisterDefaultAndCvhostEnterTheProviderInTheHostsProviders)
{
    registry_sandbox::CRegistrySandbox sandbox({{HKEY_CURRENT_USER, kProvidersKey}});
    // A provider the host had disabled is enabled again by a new registration.
    ASSERT_TRUE(registry_sandbox::SetDword(HKEY_CURRENT_USER, kProviderKey, L"Enabled", 0));
    {
        ICVRegistrationPtr pRegistration;
        ASSERT_EQ(S_OK, pRegistration.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
        ASSERT_EQ(S_OK, pRegistration->RegisterDefault());
        wchar_t szModule[MAX_PATH] = {};
        GetModuleFileNameW(GetModuleHandleW(L"CmQuendrel.dll"), szModule, MAX_PATH);
        ExpectProviderEntry(szModule);
        // A second registration leaves the same seven values; unregistering leaves them in place.
        const auto first = ProviderOptions();
        ASSERT_EQ(S_OK, pRegistration->RegisterDefault());
        EXPECT_EQ(first, ProviderOptions());
        ASSERT_EQ(S_OK, pRegistration->UnRegisterAll());
        EXPECT_EQ(first, ProviderOptions());
    }

    // cvhost register writes the same; its unregister removes the subgroup's key (the class and
    // the type library it removes are checked by installer_package).
    const std::wstring strCvhost = L"\"" + testing_support::ProgramFolder() + L"\\cvhost.exe\" ";
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, kProviderKey));
    ASSERT_EQ(0, testing_support::RunProgram(strCvhost + L"register"));
    ExpectProviderEntry(ProviderModulePath());
    EXPECT_EQ(0, testing_support::RunProgram(strCvhost + L"unregister"));
    HKEY hKey = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kProviderKey, 0, KEY_READ, &hKey));

    // The other tests of this program rely on the registration the environment made.
    RegisterProviderForTests();
}

}  // namespace

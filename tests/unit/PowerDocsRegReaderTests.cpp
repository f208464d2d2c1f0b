// The DMS client's registry, against records made in a sandboxed registry.
#include <gtest/gtest.h>

#include <windows.h>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "local/PowerDocsRegReader.h"

using namespace registry_sandbox;
using testing_support::AppDataFolder;

namespace {

const std::wstring kRoot = L"SOFTWARE\\Hummingbird\\PowerDOCS";
const std::wstring kRoot40 = L"SOFTWARE\\Hummingbird\\PowerDOCS 4.0";
const std::wstring kFusion = L"\\Core\\Plugins\\Fusion";

class PowerDocsRegReaderTest : public ::testing::Test
{
protected:
    void Install(const std::wstring& strVersion, const std::wstring& strInstallPath = L"C:\\DM")
    {
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"InstallPath", strInstallPath));
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", strVersion));
    }

    CRegistrySandbox m_sandbox{ClientKeys()};
    PowerDocsRegReader m_reader;
};

}  // namespace

TEST_F(PowerDocsRegReaderTest, CurrentVersionDecidesTheGenerationAndShadowDefault)
{
    // "InstallPath" missing: a 5.x version alone is no installation.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", L"5.3"));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed() || m_reader.IsPowerDocsGreaterThan50Installed(0, 0));
    const std::wstring strAppData = AppDataFolder();
    ASSERT_FALSE(strAppData.empty());

    Install(L"5.3");
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());
    EXPECT_FALSE(m_reader.IsDM6Installed());
    EXPECT_TRUE(m_reader.IsPowerDocsGreaterThan50Installed(L'5', L'3'));
    EXPECT_TRUE(m_reader.IsPowerDocsGreaterThan50Installed(0, 0));
    EXPECT_EQ(strAppData + L"\\OpenText\\DM", m_reader.GetShadowPathStructureRootFolder());

    Install(L"5.2");
    EXPECT_FALSE(m_reader.IsPowerDocsGreaterThan50Installed(L'5', L'3'));
    EXPECT_EQ(strAppData + L"\\Hummingbird\\DM", m_reader.GetShadowPathStructureRootFolder());

    Install(L"6.0");
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
    EXPECT_TRUE(m_reader.IsDM6Installed());
    EXPECT_EQ(L"", m_reader.GetShadowPathStructureRootFolder());  // no default without DM 5

    Install(L"5");  // too short for a minor digit
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());
    EXPECT_FALSE(m_reader.IsPowerDocsGreaterThan50Installed(L'5', L'3'));

    // Values too long to read count as missing: 260 bytes hold 129 characters and the terminator; one more is too long.
    Install(L"5." + std::wstring(127, L'1'));
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());
    Install(L"5." + std::wstring(128, L'1'));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
    Install(L"5.3", std::wstring(130, L'p'));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
}

TEST_F(PowerDocsRegReaderTest, RootsAndProgramFollowTheInstalledGeneration)
{
    EXPECT_EQ(L"", m_reader.GetExeName());

    // Only 3.1: a program, but no settings root, so no local path and no shadow key.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PC DOCS Inc.\\PowerDOCS\\Installation", L"Path", L"C:\\PD31"));
    EXPECT_EQ(L"C:\\PD31\\PowerDocs.exe", m_reader.GetExeName());
    EXPECT_EQ(L"", m_reader.GetRegRoot());
    EXPECT_EQ(L"", m_reader.GetLocalPath());
    EXPECT_EQ(L"", m_reader.GetShadowPathStructureRootFolder());

    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\PowerDOCS 3.9", L"Path", L"C:\\PD39"));
    EXPECT_EQ(L"SOFTWARE\\Hummingbird\\PowerDOCS 3.9", m_reader.GetRegRoot());
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot40, L"Path", L"C:\\PD40"));
    EXPECT_EQ(kRoot40, m_reader.GetRegRoot());
    EXPECT_EQ(L"C:\\PD40\\PowerDocs.exe", m_reader.GetExeName());
    EXPECT_EQ(kRoot40 + kFusion + L"\\DOCSShadowDrive", m_reader.GetShadowPathRegKeyName());

    // "InstallPath" missing with a 5.x version: the older roots still answer.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", L"5.3"));
    EXPECT_EQ(kRoot40, m_reader.GetRegRoot());

    // 5.x and later name the plug-in in the install path, whatever older roots say.
    Install(L"5.3", L"C:\\DM5");
    EXPECT_EQ(kRoot, m_reader.GetRegRoot());
    EXPECT_EQ(kRoot + kFusion + L"\\DOCSShadowPath", m_reader.GetShadowPathRegKeyName());
    EXPECT_EQ(L"C:\\DM5\\FsPlugin.dll", m_reader.GetExeName());
    Install(L"6.0", L"C:\\DM6");
    EXPECT_EQ(L"C:\\DM6\\FsPlugin.dll", m_reader.GetExeName());
    EXPECT_EQ(kRoot40, m_reader.GetRegRoot());
}

TEST_F(PowerDocsRegReaderTest, LocalPathAndShadowRootComeFromTheirKeys)
{
    Install(L"5.3");
    const std::wstring strSettings = kRoot + kFusion + L"\\Settings";
    const std::wstring strLong = L"C:\\" + std::wstring(256, L'x');  // 259 characters fit in 260
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strSettings, L"LocalPath", strLong));
    EXPECT_EQ(strLong, m_reader.GetLocalPath());
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strSettings, L"LocalPath", strLong + L"x"));
    EXPECT_EQ(L"", m_reader.GetLocalPath());

    const std::wstring strShadowKey = kRoot + kFusion + L"\\DOCSShadowPath";
    const std::wstring strAppData = AppDataFolder();
    const std::pair<const wchar_t*, std::wstring> kCases[] = {
        {L"S:", L"S:\\SHADOW"},
        {L"S:\\", L"S:\\"},
        {L"%APPLICATION_DATA%;%APPLICATION_DATA%", strAppData + L";" + strAppData},
        {L"", L""}};
    for (const auto& c : kCases)
    {
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strShadowKey, L"Drive", c.first));
        EXPECT_EQ(c.second, m_reader.GetShadowPathStructureRootFolder()) << c.first;
    }
    // The key is there but "Drive" cannot be read: no root, and no default either.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strShadowKey, L"Drive", L"C:\\" + std::wstring(300, L's')));
    EXPECT_EQ(L"", m_reader.GetShadowPathStructureRootFolder());

    // Before DM 5 the key is per machine.
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot.c_str());
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot40, L"Path", L"C:\\PD40"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot40 + kFusion + L"\\DOCSShadowDrive", L"Drive", L"T:"));
    EXPECT_EQ(L"T:\\SHADOW", m_reader.GetShadowPathStructureRootFolder());
}

TEST_F(PowerDocsRegReaderTest, IntegrationMethodIsTheFirstKeyWithADefaultValue)
{
    const std::wstring strBase =
        L"SOFTWARE\\Hummingbird\\Hummingbird DM Application Integration\\Installation\\Microsoft\\Word\\";
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, strBase + L"Active\\ActiveAutomation"));  // no default value
    EXPECT_EQ(DMIntegrationNone, m_reader.GetIntegrationMethod());
    const std::pair<const wchar_t*, DMIntegrationMethod> kInReverseOrder[] = {
        {L"Passive\\PassiveAutomation", DMIntegrationPassiveAutomation}, {L"Passive\\PassiveMacro", DMIntegrationPassiveMacro},
        {L"Active\\ActiveMacro", DMIntegrationActiveMacro}, {L"Active\\ActiveAutomation", DMIntegrationActiveAutomation}};
    for (const auto& entry : kInReverseOrder)
    {
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, strBase + entry.first, L"", L""));
        EXPECT_EQ(entry.second, m_reader.GetIntegrationMethod()) << entry.first;
    }
}

// The DMS client's registry, against records made in a sandboxed registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "RegistrySandbox.h"
#include "local/PowerDocsRegReader.h"

using namespace registry_sandbox;

namespace {

const std::wstring kRoot = L"SOFTWARE\\Hummingbird\\PowerDOCS";
const std::wstring kRoot40 = L"SOFTWARE\\Hummingbird\\PowerDOCS 4.0";
const std::wstring kFusion = L"\\Core\\Plugins\\Fusion";

CStdStr AppDataFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath);
    return szPath;
}

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
    EXPECT_FALSE(m_reader.IsPowerDocsGreaterThan50Installed(0, 0));
    const CStdStr strAppData = AppDataFolder();
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

    Install(L"4.0");
    EXPECT_FALSE(m_reader.IsPowerDocsGreaterThan50Installed(0, 0));
    Install(L"5");  // too short for a minor digit
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());
    EXPECT_FALSE(m_reader.IsPowerDocsGreaterThan50Installed(L'5', L'3'));
}

TEST_F(PowerDocsRegReaderTest, UnreadableValuesCountAsMissing)
{
    // "InstallPath" missing: a 5.x version alone is no installation.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", L"5.3"));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
    // A value of another type is read as text all the same: a DWORD install path counts.
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRoot, L"InstallPath", 0x41));
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());

    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"InstallPath", L"C:\\DM"));
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", 5));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", L"5.3", REG_EXPAND_SZ));
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());

    // 260 bytes hold 129 characters and the terminator; one more is too long.
    Install(L"5." + std::wstring(127, L'1'));
    EXPECT_TRUE(m_reader.IsPowerDocs50Installed());
    Install(L"5." + std::wstring(128, L'1'));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
    Install(L"5.3", std::wstring(130, L'p'));
    EXPECT_FALSE(m_reader.IsPowerDocs50Installed());
    // Stored without its terminator, a value still reads up to its end.
    Install(L"5.3");
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kRoot, L"CurrentVersion", REG_SZ, L"6.0", 3 * sizeof(wchar_t)));
    EXPECT_TRUE(m_reader.IsDM6Installed());
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
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRoot40, L"Path", 0x44));  // read as the text "D"
    EXPECT_EQ(L"D\\PowerDocs.exe", m_reader.GetExeName());
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
    for (const std::wstring& strValue : {std::wstring(L"C:\\DM Local"), strLong})
    {
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strSettings, L"LocalPath", strValue));
        EXPECT_EQ(strValue, m_reader.GetLocalPath());
    }
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strSettings, L"LocalPath", strLong + L"x"));
    EXPECT_EQ(L"", m_reader.GetLocalPath());

    const std::wstring strShadowKey = kRoot + kFusion + L"\\DOCSShadowPath";
    const CStdStr strAppData = AppDataFolder();
    const struct
    {
        const wchar_t* pszDrive;
        CStdStr strExpected;
    } kCases[] = {
        {L"S:", L"S:\\SHADOW"},
        {L"S:\\", L"S:\\"},
        {L"%APPLICATION_DATA%\\Hummingbird\\DM", strAppData + L"\\Hummingbird\\DM"},
        {L"%APPLICATION_DATA%;%APPLICATION_DATA%", strAppData + L";" + strAppData},
        {L"", L""},
    };
    for (const auto& c : kCases)
    {
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strShadowKey, L"Drive", c.pszDrive));
        EXPECT_EQ(c.strExpected, m_reader.GetShadowPathStructureRootFolder()) << c.pszDrive;
    }
    // The key is there but "Drive" cannot be read: no root, and no default either.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strShadowKey, L"Drive", L"C:\\" + std::wstring(300, L's')));
    EXPECT_EQ(L"", m_reader.GetShadowPathStructureRootFolder());
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, strShadowKey, L"Drive", 0));  // reads as empty text
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
    EXPECT_EQ(DMIntegrationNone, m_reader.GetIntegrationMethod());
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, strBase + L"Active\\ActiveAutomation"));  // no default value
    EXPECT_EQ(DMIntegrationNone, m_reader.GetIntegrationMethod());

    const struct
    {
        const wchar_t* pszKey;
        DMIntegrationMethod method;
    } kInReverseOrder[] = {{L"Passive\\PassiveAutomation", DMIntegrationPassiveAutomation},
                           {L"Passive\\PassiveMacro", DMIntegrationPassiveMacro},
                           {L"Active\\ActiveMacro", DMIntegrationActiveMacro},
                           {L"Active\\ActiveAutomation", DMIntegrationActiveAutomation}};
    for (const auto& entry : kInReverseOrder)
    {
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, strBase + entry.pszKey, L"", L""));
        EXPECT_EQ(entry.method, m_reader.GetIntegrationMethod()) << entry.pszKey;
    }
    EXPECT_EQ(2, static_cast<int>(m_reader.GetIntegrationMethod()));
}

TEST_F(PowerDocsRegReaderTest, AnswersAreBuiltThroughTheVirtualOperations)
{
    struct CDM5Reader : PowerDocsRegReader
    {
        bool IsPowerDocs50Installed() const override { return true; }
    } dm5;
    EXPECT_EQ(kRoot, dm5.GetRegRoot());
    EXPECT_EQ(AppDataFolder() + L"\\Hummingbird\\DM", dm5.GetShadowPathStructureRootFolder());

    struct CRelocatedReader : PowerDocsRegReader
    {
        CStdStr GetPowerDocsRegistryRoot() const override { return L"SOFTWARE\\Hummingbird\\Moved"; }
    } moved;
    Install(L"4.0");
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\Moved", L"InstallPath", L"C:\\Moved"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\Moved", L"CurrentVersion", L"5.3"));
    EXPECT_TRUE(moved.IsPowerDocs50Installed());
    EXPECT_EQ(L"SOFTWARE\\Hummingbird\\Moved", moved.GetRegRoot());
    EXPECT_EQ(L"C:\\Moved\\FsPlugin.dll", moved.GetExeName());
}

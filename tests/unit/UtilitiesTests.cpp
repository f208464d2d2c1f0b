// The provider's temporary folder, unique temporary and placeholder files, file-name clean-up,
// special folders and the help file.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "framework/OptionApi.h"
#include "local/General.h"
#include "local/Help.h"
#include "local/TempFiles.h"

using namespace registry_sandbox;

namespace {

const wchar_t kTempFolderOutSwitch[] = L"--quendrel-temp-folder-out=";
const wchar_t kHelpFolderChildSwitch[] = L"--quendrel-help-folder-child";

std::string ReadBytes(const CStdStr& strPath)
{
    std::ifstream file(strPath.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// True when the file holds the three placeholder lines (text mode: CR LF), stamped with the
// current UTC time to the minute; the file is deleted afterwards.
bool IsPlaceholder(const CStdStr& strPath, const SYSTEMTIME& before)
{
    const std::string strText = ReadBytes(strPath);
    DeleteFileW(strPath.c_str());
    std::smatch match;
    if (!std::regex_match(strText, match,
                          std::regex("PlaceHolder for Corvane Hummingbird DM integration\\.\\.\\.\r\n"
                                     "Generated : (\\d\\d:\\d\\d \\d\\d/\\d\\d/\\d{4})\r\n"
                                     "If you see this file please contact your system administrator\\.\r\n")))
        return false;
    SYSTEMTIME after = {};
    GetSystemTime(&after);
    char szBefore[32], szAfter[32];
    sprintf(szBefore, "%02d:%02d %02d/%02d/%04d", before.wHour, before.wMinute, before.wDay, before.wMonth, before.wYear);
    sprintf(szAfter, "%02d:%02d %02d/%02d/%04d", after.wHour, after.wMinute, after.wDay, after.wMonth, after.wYear);
    return match[1] == szBefore || match[1] == szAfter;
}

bool IsUniqueTempName(const CStdStr& strPath, const wchar_t* pszExtension)
{
    return strPath.compare(0, GetTempFolder().size(), GetTempFolder()) == 0 &&
           std::regex_match(strPath.substr(GetTempFolder().size()),
                            std::wregex(L"~ctf[0-9A-F]{8}" + std::wstring(pszExtension)));
}

}  // namespace

TEST(GetTempFolder, FolderIsPerProcessAndComesBack)
{
    const CStdStr strFolder = GetTempFolder();
    if (const wchar_t* pszSwitch = wcsstr(GetCommandLineW(), kTempFolderOutSwitch))
    {
        // The second process of this test reports its folder and its identifier.
        std::wofstream(pszSwitch + wcslen(kTempFolderOutSwitch))
            << strFolder << L"\n" << CStdStr::Format(L"%lx", GetCurrentProcessId()) << L"\n";
        return;
    }
    wchar_t szSystemTemp[MAX_PATH + 1] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, szSystemTemp));
    EXPECT_EQ(CStdStr(szSystemTemp) + CStdStr::Format(L"Corvane\\cmtemp%lx\\", GetCurrentProcessId()), strFolder);

    // Removed behind its back (moved aside here, to keep what it holds), the folder is made again.
    const CStdStr strAside = strFolder.substr(0, strFolder.size() - 1) + L".aside";
    ASSERT_TRUE(MoveFileW(strFolder.c_str(), strAside.c_str()));
    EXPECT_EQ(strFolder, GetTempFolder());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(strFolder.c_str()));
    RemoveDirectoryW(strFolder.c_str());
    ASSERT_TRUE(MoveFileW(strAside.c_str(), strFolder.c_str()));

    const CStdStr strOut = strFolder + L"other-process.txt";
    wchar_t szExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    ASSERT_EQ(0, testing_support::RunProgram(L"\"" + CStdStr(szExe) +
                                             L"\" --gtest_filter=GetTempFolder.FolderIsPerProcessAndComesBack " +
                                             kTempFolderOutSwitch + strOut));
    std::wstring strOtherFolder, strOtherPid;
    {
        std::wifstream in(strOut.c_str());
        std::getline(in, strOtherFolder);
        std::getline(in, strOtherPid);
    }
    DeleteFileW(strOut.c_str());
    RemoveDirectoryW(strOtherFolder.c_str());
    EXPECT_NE(strFolder, strOtherFolder);
    EXPECT_EQ(CStdStr(szSystemTemp) + L"Corvane\\cmtemp" + strOtherPid + L"\\", strOtherFolder);
}

TEST(CreatePlaceholderFile, UnnamedPlaceholdersAreUniqueTempFiles)
{
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    const CStdStr strFirst = CreatePlaceholderFile(L"", L"doc");
    const CStdStr strSecond = CreatePlaceholderFile(L"", L"doc");
    EXPECT_TRUE(IsUniqueTempName(strFirst, L"\\.doc")) << strFirst.c_str();
    EXPECT_NE(strFirst, strSecond);
    EXPECT_TRUE(IsPlaceholder(strFirst, before));
    EXPECT_TRUE(IsPlaceholder(strSecond, before));
    const CStdStr strDefault = CreatePlaceholderFile(L"", L"");
    EXPECT_TRUE(IsUniqueTempName(strDefault, L"\\.tmp")) << strDefault.c_str();
    EXPECT_TRUE(IsPlaceholder(strDefault, before));

    // The unique files themselves are new and empty, with or without an extension.
    for (const wchar_t* pszExtension : {L".pdf", L""})
    {
        const CStdStr strPath = CreateUniqueTempFile(pszExtension);
        EXPECT_TRUE(IsUniqueTempName(strPath, *pszExtension ? L"\\.pdf" : L"")) << strPath.c_str();
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(strPath.c_str()));
        EXPECT_EQ("", ReadBytes(strPath));
        DeleteFileW(strPath.c_str());
    }
    // An extension no file name can carry gives no file.
    EXPECT_EQ(L"", CreateUniqueTempFile(L"a<b"));
    EXPECT_EQ(L"", CreateUniqueTempFile(CStdStr(10000, L'e')));
}

TEST(CreatePlaceholderFile, NamedPlaceholdersAreCleanedShortenedOrReplaced)
{
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    // The name keeps its own extension; the argument is not used.
    const CStdStr strPath = CreatePlaceholderFile(L"Q3: plan?.doc", L"pdf");
    EXPECT_EQ(GetTempFolder() + L"Q3_ plan_.doc", strPath);
    EXPECT_TRUE(IsPlaceholder(strPath, before));

    const CStdStr strShortened = CreatePlaceholderFile(CStdStr(295, L'n') + L".docx", L"");
    EXPECT_EQ(240u, strShortened.size());
    EXPECT_EQ(GetTempFolder() + CStdStr(235 - GetTempFolder().size(), L'n') + L".docx", strShortened);
    EXPECT_TRUE(IsPlaceholder(strShortened, before));

    // A name that cannot be written (a folder is in the way) falls back to a system-made name.
    const CStdStr strBlocker = GetTempFolder() + L"blocker";
    ASSERT_TRUE(CreateDirectoryW(strBlocker.c_str(), nullptr));
    const CStdStr strFallback = CreatePlaceholderFile(L"blocker", L"");
    RemoveDirectoryW(strBlocker.c_str());
    EXPECT_TRUE(std::regex_match(strFallback.substr(GetTempFolder().size()), std::wregex(L"ctf[0-9A-F]{1,4}\\.tmp", std::regex::icase)))
        << strFallback.c_str();
    EXPECT_TRUE(IsPlaceholder(strFallback, before));
}

TEST(ReplaceInvalidFileNameChars, ReplacesExactlyTheNineCharacters)
{
    CStdStr strName = L"a/b*c?d<e>f|g\"h\\i:j";
    ReplaceInvalidFileNameChars(strName);
    EXPECT_EQ(L"a_b_c_d_e_f_g_h_i_j", strName);
    const CStdStr strKept = L"Budget #3 (final) 100% & more; \x00E4\x20AC.doc\t";
    strName = strKept;
    ReplaceInvalidFileNameChars(strName);
    EXPECT_EQ(strKept, strName);
}

TEST(TruncatePath, CutsToTheLimitKeepingTheExtension)
{
    EXPECT_EQ(L"abcdef.doc", TruncatePath(L"abcdef.doc", 10));
    EXPECT_EQ(L"abcde.doc", TruncatePath(L"abcdef.doc", 9));
    EXPECT_EQ(L"abcde", TruncatePath(L"abcdefghij", 5));
    EXPECT_EQ(L"C:.dir\\name", TruncatePath(L"C:\\x.dir\\name", 11));  // from the last "." on
    EXPECT_EQ(L"a.doc", TruncatePath(L"a.document", 5));                 // too long to keep whole
    EXPECT_EQ(L"", TruncatePath(L"abc.doc", 0));
}

TEST(CGeneral, SpecialFolderPathOrEmpty)
{
    for (int nFolder : {CSIDL_APPDATA, CSIDL_WINDOWS})
    {
        wchar_t szExpected[MAX_PATH] = {};
        ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, nFolder, nullptr, SHGFP_TYPE_CURRENT, szExpected));
        EXPECT_EQ(szExpected, CGeneral::GetSpecialFolderPath(nFolder));
    }
    EXPECT_EQ(L"", CGeneral::GetSpecialFolderPath(0x7FFF));
    EXPECT_EQ(L"", CGeneral::GetSpecialFolderPath(-1));
}

// The option "ProgramLocation" is read once per process, so the check runs in a fresh process
// of this program, started once the option names a folder of the test's own.
TEST(GetHelpFolder, EditionFollowsTheInstallType)
{
    const CStdStr strProgramLocation = L"C:\\Quendrel Help Test\\";
    if (!wcsstr(GetCommandLineW(), kHelpFolderChildSwitch))
    {
        testing_support::ScopedRegValue location(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"ProgramLocation");
        location.SetString(strProgramLocation);
        wchar_t szExe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, szExe, MAX_PATH);
        EXPECT_EQ(0, testing_support::RunProgram(L"\"" + CStdStr(szExe) +
                                                 L"\" --gtest_filter=GetHelpFolder.EditionFollowsTheInstallType " +
                                                 kHelpFolderChildSwitch))
            << "the second process's output tells which check failed";
        return;
    }
    CRegistrySandbox sandbox({{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Install"}});
    EXPECT_EQ(strProgramLocation + L"Corvane Studio", GetHelpFolder());
    for (const wchar_t* pszType : {L"Corvane Lens", L"corvane lens", L"Corvane Studio"})
    {
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Install", L"InstallType", pszType));
        EXPECT_EQ(strProgramLocation + (wcscmp(pszType, L"Corvane Lens") ? L"Corvane Studio" : L"Corvane Lens"),
                  GetHelpFolder());
    }
    EXPECT_EQ(L"C:\\Help\\Q.chm", CompleteHelpFilePath(L"C:\\Help\\Q", true));
    EXPECT_EQ(L"C:\\Help\\Q.chm", CompleteHelpFilePath(L"C:\\Help\\Q.chm", true));
    EXPECT_EQ(L"C:\\Help\\Q.chm.hlp", CompleteHelpFilePath(L"C:\\Help\\Q.chm", false));
    EXPECT_EQ(strProgramLocation + L"Corvane Studio.chm", CompleteHelpFilePath(L"", true));
}

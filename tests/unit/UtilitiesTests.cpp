// The provider's temporary folder, temporary and placeholder files, file names and the help file.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <regex>
#include <string>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "local/FileReplace.h"
#include "local/General.h"
#include "local/Help.h"
#include "local/TempFiles.h"

using testing_support::ReadFileBytes;
using testing_support::RunThisProgram;
using testing_support::WriteFileBytes;

namespace {

const wchar_t kHelpFolderChildSwitch[] = L"--quendrel-help-folder-child";

// True when the file holds the three placeholder lines (text mode: CR LF), stamped with the
// current UTC time to the minute; the file is deleted afterwards.
bool IsPlaceholder(const CStdStr& strPath, const SYSTEMTIME& before)
{
    const std::string strText = ReadFileBytes(strPath);
    DeleteFileW(strPath.c_str());
    std::smatch match;
    if (!std::regex_match(strText, match,
                          std::regex("PlaceHolder for Corvane Hummingbird DM integration\\.\\.\\.\r\n"
                                     "Generated : (\\d\\d:\\d\\d \\d\\d/\\d\\d/\\d{4})\r\n"
                                     "If you see this file please contact your system administrator\\.\r\n")))
        return false;
    SYSTEMTIME after = {};
    GetSystemTime(&after);
    for (const SYSTEMTIME& t : {before, after})
    {
        char sz[32];
        sprintf(sz, "%02d:%02d %02d/%02d/%04d", t.wHour, t.wMinute, t.wDay, t.wMonth, t.wYear);
        if (match[1] == sz)
            return true;
    }
    return false;
}

bool IsUniqueTempName(const CStdStr& strPath, const wchar_t* pszExtension)
{
    return strPath.compare(0, GetTempFolder().size(), GetTempFolder()) == 0 &&
           std::regex_match(strPath.substr(GetTempFolder().size()),
                            std::wregex(L"~ctf[0-9A-F]{8}" + std::wstring(pszExtension)));
}

}  // namespace

TEST(GetTempFolder, FolderIsNamedAfterTheProcessAndComesBack)
{
    const CStdStr strFolder = GetTempFolder();
    wchar_t szSystemTemp[MAX_PATH + 1] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, szSystemTemp));
    EXPECT_EQ(CStdStr(szSystemTemp) + CStdStr::Format(L"Corvane\\cmtemp%lx\\", GetCurrentProcessId()), strFolder);

    // Removed behind its back (moved aside here, to keep what it holds), the folder is made again.
    const CStdStr strAside = strFolder.substr(0, strFolder.size() - 1) + L".aside";
    ASSERT_TRUE(MoveFileW(strFolder.c_str(), strAside.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GetTempFolder().c_str()));
    RemoveDirectoryW(strFolder.c_str());
    ASSERT_TRUE(MoveFileW(strAside.c_str(), strFolder.c_str()));
}

TEST(ReplaceFileKeepingOld, OneFileByAnotherNameIsLeftAloneAndACopyIsReplaced)
{
    const CStdStr strFile = GetTempFolder() + L"one.doc", strLink = GetTempFolder() + L"one-link.doc",
                  strCopy = GetTempFolder() + L"one-copy.doc";
    ASSERT_TRUE(WriteFileBytes(strFile, "old"));
    ASSERT_TRUE(CreateHardLinkW(strLink.c_str(), strFile.c_str(), nullptr));
    CStdStr strKept = L"stale";
    EXPECT_EQ(S_FALSE, ReplaceFileKeepingOld(strLink, strFile, strKept));
    EXPECT_EQ(L"", strKept);
    // A copy keeps the content and the time it was written, yet is another file: it is written.
    ASSERT_TRUE(CopyFileW(strFile.c_str(), strCopy.c_str(), FALSE));
    EXPECT_EQ(S_OK, ReplaceFileKeepingOld(strCopy, strFile, strKept));
    EXPECT_EQ("old", ReadFileBytes(strKept));
    EXPECT_EQ("old", ReadFileBytes(strFile));
    for (const CStdStr& strPath : {strFile, strLink, strCopy, strKept})
        DeleteFileW(strPath.c_str());
}

TEST(CreatePlaceholderFile, UnnamedOnesAreUniqueTempFilesNamedOnesCleanedShortenedOrReplaced)
{
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    const CStdStr strFirst = CreatePlaceholderFile(L"", L"doc"), strDefault = CreatePlaceholderFile(L"", L"");
    EXPECT_TRUE(IsUniqueTempName(strFirst, L"\\.doc")) << strFirst.c_str();
    EXPECT_TRUE(IsUniqueTempName(strDefault, L"\\.tmp")) << strDefault.c_str();
    EXPECT_TRUE(IsPlaceholder(strFirst, before));
    EXPECT_TRUE(IsPlaceholder(strDefault, before));

    // The unique files themselves are new and empty, with or without an extension.
    for (const wchar_t* pszExtension : {L".pdf", L""})
    {
        const CStdStr strPath = CreateUniqueTempFile(pszExtension);
        EXPECT_TRUE(IsUniqueTempName(strPath, *pszExtension ? L"\\.pdf" : L"")) << strPath.c_str();
        EXPECT_EQ("", ReadFileBytes(strPath));
        DeleteFileW(strPath.c_str());
    }
    EXPECT_EQ(L"", CreateUniqueTempFile(L"a<b")) << "no file name can carry the extension";

    // A named placeholder keeps its own extension; the argument is not used.
    const CStdStr strPath = CreatePlaceholderFile(L"Q3: plan?.doc", L"pdf");
    EXPECT_EQ(GetTempFolder() + L"Q3_ plan_.doc", strPath);
    EXPECT_TRUE(IsPlaceholder(strPath, before));

    const CStdStr strShortened = CreatePlaceholderFile(CStdStr(295, L'n') + L".docx", L"");
    EXPECT_EQ(GetTempFolder() + CStdStr(235 - GetTempFolder().size(), L'n') + L".docx", strShortened);
    EXPECT_TRUE(IsPlaceholder(strShortened, before));

    // A name that cannot be written (a folder is in the way) falls back to a system-made name.
    const CStdStr strBlocker = GetTempFolder() + L"blocker";
    ASSERT_TRUE(CreateDirectoryW(strBlocker.c_str(), nullptr));
    const CStdStr strFallback = CreatePlaceholderFile(L"blocker", L"");
    RemoveDirectoryW(strBlocker.c_str());
    EXPECT_TRUE(std::regex_match(strFallback.substr(GetTempFolder().size()), std::wregex(L"ctf[0-9A-F]{1,4}\\.tmp", std::regex::icase)));
    EXPECT_TRUE(IsPlaceholder(strFallback, before));
}

TEST(FileNames, InvalidCharactersAreReplacedAndLongPathsCutKeepingTheExtension)
{
    CStdStr strName = L"a/b*c?d<e>f|g\"h\\i:j #(%&;\x00E4\x20AC.doc\t";
    ReplaceInvalidFileNameChars(strName);
    EXPECT_EQ(L"a_b_c_d_e_f_g_h_i_j #(%&;\x00E4\x20AC.doc\t", strName);

    EXPECT_EQ(L"abcdef.doc", TruncatePath(L"abcdef.doc", 10));
    EXPECT_EQ(L"abcde.doc", TruncatePath(L"abcdef.doc", 9));
    EXPECT_EQ(L"C:.dir\\name", TruncatePath(L"C:\\x.dir\\name", 11));  // from the last "." on
    EXPECT_EQ(L"a.doc", TruncatePath(L"a.document", 5));                 // too long to keep whole
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
        EXPECT_EQ(0, RunThisProgram(L"--gtest_filter=GetHelpFolder.* " + CStdStr(kHelpFolderChildSwitch)))
            << "the second process's output tells which check failed";
        return;
    }
    registry_sandbox::CRegistrySandbox sandbox({{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Install"}});
    EXPECT_EQ(strProgramLocation + L"Corvane Studio", GetHelpFolder());
    for (const wchar_t* pszType : {L"Corvane Lens", L"corvane lens", L"Corvane Studio"})
    {
        ASSERT_TRUE(registry_sandbox::SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\Install", L"InstallType",
                                                pszType));
        EXPECT_EQ(strProgramLocation + (wcscmp(pszType, L"Corvane Lens") ? L"Corvane Studio" : L"Corvane Lens"),
                  GetHelpFolder());
    }
    EXPECT_EQ(L"C:\\Help\\Q.chm", CompleteHelpFilePath(L"C:\\Help\\Q", true));
    EXPECT_EQ(L"C:\\Help\\Q.chm", CompleteHelpFilePath(L"C:\\Help\\Q.chm", true));
    EXPECT_EQ(L"C:\\Help\\Q.chm.hlp", CompleteHelpFilePath(L"C:\\Help\\Q.chm", false));
    EXPECT_EQ(strProgramLocation + L"Corvane Studio.chm", CompleteHelpFilePath(L"", true));
}

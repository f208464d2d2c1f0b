// Recovering document IDs from cache paths, and StripID.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>

#include "RegistrySandbox.h"
#include "local/DocID.h"
#include "local/DocIDResolver.h"
#include "local/TempFiles.h"

using namespace registry_sandbox;

namespace {

// A client whose generation and local path the test decides.
struct CFakeReader : PowerDocsRegReader
{
    explicit CFakeReader(bool bDM6, const CStdStr& strLocalPath = CStdStr()) : m_bDM6(bDM6), m_strLocal(strLocalPath) {}
    bool IsDM6Installed() const override { return m_bDM6; }
    CStdStr GetLocalPath() const override { return m_strLocal; }
    bool m_bDM6;
    CStdStr m_strLocal;
};

const CFakeReader kDM5(false);
const CFakeReader kDM6(true);

CStdStr Resolve(const CStdStr& strFile, const CStdStr& strShadow, const PowerDocsRegReader& reader)
{
    DocIDResolver resolver(strFile, strShadow, reader);
    return resolver.ResolvedOK() ? resolver.AsDocID() : CStdStr(L"-");
}

}  // namespace

TEST(DocIDResolver, CacheFormsGiveShortestCaseKeepingCaptures)
{
    const CStdStr strShadow = L"C:\\Users\\me\\DM\\SHADOW";
    const struct { const CFakeReader& reader; CStdStr strFile; const wchar_t* pszExpected; } kCases[] = {  // "-": unresolved
        {kDM5, strShadow + L"\\LIB-#1234-v2-Budget Q3.doc", L"PowerDocs://LIB/1234/2"},
        {kDM5, strShadow + L"\\Sub\\MixedLib-#77-V3-x", L"PowerDocs://MixedLib/77/3"},
        {kDM5, strShadow + L"\\A-#1-#2-vv-3-x", L"PowerDocs://A/1-#2/v"},
        {kDM5, strShadow + L"\\x-#9-v9-\\a/b-#1-v2-.doc", L"PowerDocs://a/b/1/2"},  // only the name counts
        {kDM5, strShadow + L"\\LIB-#1234-v-x.doc", L"-"},                         // empty version
        {kDM5, strShadow + L"\\LIB-#1-v2", L"-"},
        {kDM5, L"\\\\srv\\DMNFSL1\\LIB\\1234\\2\\Budget.doc", L"-"},  // each generation knows its own form
        {kDM6, L"\\\\srv\\share\\DMNFSL1\\LIB\\1234\\2\\Budget.doc", L"PowerDocs://LIB/1234/2"},
        {kDM6, L"\\\\srv\\dmnfsl1\\Lib\\9\\PDF\\deeper\\b.pdf", L"PowerDocs://Lib/9/PDF"},
        {kDM6, L"C:\\share\\DMNFSL1\\LIB\\1234\\2\\Budget.doc", L"-"},  // drive-letter form
        {kDM6, L"\\\\srv\\DMNFSL1\\LIB\\1234\\2", L"-"},                  // no file after the version
        {kDM6, L"\\\\srv\\DMNFSL1\\LIB\\\\2\\Budget.doc", L"-"},         // empty number
        {kDM6, strShadow + L"\\LIB-#1234-v2-Budget.doc", L"-"}};
    for (const auto& c : kCases)
        EXPECT_EQ(c.pszExpected, Resolve(c.strFile, L"", c.reader)) << c.strFile.c_str();

    DocIDResolver incomplete(strShadow + L"\\LIB-#1234-v-x.doc", strShadow, kDM5);
    EXPECT_EQ(L"LIB", incomplete.LibraryName());
    EXPECT_EQ(L"1234", incomplete.DocumentNumber());
    std::string strRaised = "nothing raised";
    try { incomplete.AsDocID(); } catch (const std::runtime_error& e) { strRaised = e.what(); }
    EXPECT_EQ("Cannot create Document ID, the input was not parsed correctly.", strRaised);
}

TEST(DocIDResolver, OnlyFilesInTheShadowFolderOrLocalPathAreMatched)
{
    const CStdStr strName = L"\\LIB-#1-v2-x.doc";
    const CFakeReader withLocal(false, L"C:\\DM Local");
    EXPECT_EQ(L"PowerDocs://LIB/1/2", Resolve(L"C:\\Shadow" + strName, L"C:\\Shadow", withLocal));
    EXPECT_EQ(L"PowerDocs://LIB/1/2", Resolve(L"c:\\dm local\\deep" + strName, L"C:\\Shadow", withLocal));
    EXPECT_EQ(L"PowerDocs://LIB/1/2", Resolve(L"C:\\Shadow2" + strName, L"C:\\Shadow", kDM5));  // plain prefix test
    EXPECT_EQ(L"-", Resolve(L"D:\\Other" + strName, L"C:\\Shadow", withLocal));
    EXPECT_EQ(L"-", Resolve(L"C:\\DM Local" + strName, L"C:\\Shadow", kDM5));

    EXPECT_TRUE(DocIDResolver::IsFileWithinFolder(L"anything", L""));
    EXPECT_FALSE(DocIDResolver::IsFileWithinFolder(L"C:\\Cach", L"C:\\Cache"));

    // A real file reached through its short name lies within its long-named folder.
    const CStdStr strFolder = GetTempFolder() + L"Quendrel Long Folder Name For Cache";
    const CStdStr strFile = strFolder + strName;
    ASSERT_TRUE(CreateDirectoryW(strFolder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    CloseHandle(CreateFileW(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    wchar_t szShortFolder[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(strFolder.c_str(), szShortFolder, MAX_PATH));
    const CStdStr strShortFile = CStdStr(szShortFolder) + strName;
    EXPECT_NE(strFile, strShortFile);
    EXPECT_EQ(strFile, DocIDResolver::EnsureLongFilePath(strShortFile));
    EXPECT_EQ(L"PowerDocs://LIB/1/2", Resolve(strShortFile, strFolder, kDM5));
    EXPECT_EQ(L"PowerDocs://LIB/1/2", Resolve(strFile, szShortFolder, kDM5));
    DeleteFileW(strFile.c_str());
    RemoveDirectoryW(strFolder.c_str());

    // Paths that do not exist, or longer than the system expands, come back unchanged.
    for (const CStdStr& strPath : {CStdStr(L"C:\\No\\Such.doc"), CStdStr(L"C:\\" + CStdStr(3000, L'h'))})
        EXPECT_EQ(strPath, DocIDResolver::EnsureLongFilePath(strPath));
}

TEST(DocIDResolver, LongTextsResolveOrFailWithoutHarm)
{
    DocIDResolver longLibrary(CStdStr(1500, L'L') + L"-#1-v2-x", L"", kDM5);
    EXPECT_TRUE(longLibrary.ResolvedOK());
    EXPECT_EQ(CStdStr(999, L'L'), longLibrary.LibraryName());  // pieces are cut to 999 characters

    // Longer than any path: not a cache path. Many near misses do not break the matcher.
    EXPECT_EQ(L"-", Resolve(L"LIB-#1-v2-" + CStdStr(40000, L'x'), L"", kDM5));
    CStdStr strNearMiss;
    for (int i = 0; i < 16000; ++i)
        strNearMiss += L"-#";
    EXPECT_EQ(L"-", Resolve(strNearMiss + L"-v" + CStdStr(30, L'x'), L"", kDM5));
}

TEST(DocIDResolver, InstalledClientChoosesTheFormAndLocalPath)
{
    CRegistrySandbox sandbox(ClientKeys());
    const std::wstring strRoot = L"SOFTWARE\\Hummingbird\\PowerDOCS";
    const CStdStr strUnc = L"\\\\srv\\DMNFSL1\\LIB\\12\\3\\f.doc";
    const CStdStr strName = L"C:\\Local\\LIB-#12-v3-f.doc";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, strRoot, L"InstallPath", L"C:\\DM"));

    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, strRoot, L"CurrentVersion", L"6.0"));
    EXPECT_TRUE(DocIDResolver(strUnc, L"").ResolvedOK());

    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, strRoot, L"CurrentVersion", L"5.3"));
    EXPECT_FALSE(DocIDResolver(strUnc, L"").ResolvedOK());
    EXPECT_FALSE(DocIDResolver(strName, L"C:\\Shadow").ResolvedOK());
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strRoot + L"\\Core\\Plugins\\Fusion\\Settings", L"LocalPath",
                          L"c:\\local"));
    EXPECT_EQ(L"PowerDocs://LIB/12/3", DocIDResolver(strName, L"C:\\Shadow").AsDocID());
}

TEST(StripID, OdmaIDsAreWrittenAsIDsAndCachePathsResolved)
{
    const struct { const wchar_t* pszInput; const wchar_t* pszExpected; } kCases[] = {
        {L"::ODMA\\PCDOCS\\LIB\\123\\1", L"PowerDocs://LIB/123/1"},
        {L"x::odma\\pcdocs\\LIB\\5\\1", L"PowerDocs://LIB/5/1"},     // text before the prefix is dropped
        {L"PowerDocs://::ODMA\\PCDOCS\\LIB\\123\\1", L"PowerDocs://LIB/123/1"},
        {L"PowerDocs://C:\\Shadow\\LIB-#1234-v2-Budget.doc", L"PowerDocs://LIB/1234/2"},
        {L"PowerDoc://C:\\LIB-#1-v2-x", L"PowerDocs://LIB/1/2"},     // any scheme
        {L"C:\\Shadow\\LIB-#1-v2-x", L"C:\\Shadow\\LIB-#1-v2-x"},  // a path without a scheme is no ID
        {L"PowerDocs://LIB/1/2", L"PowerDocs://LIB/1/2"},
        {L"PowerDocs://LIB-#1-v-x.doc", L"PowerDocs://LIB-#1-v-x.doc"}};
    for (const auto& c : kCases)
        EXPECT_EQ(c.pszExpected, StripID(c.pszInput, kDM5)) << c.pszInput;
    EXPECT_EQ(L"PowerDocs://LIB/1234/2", StripID(L"PowerDOCS://\\\\srv\\DMNFSL1\\LIB\\1234\\2\\b.doc", kDM6));
    EXPECT_EQ(CStdStr(10000, L'/'), StripID(CStdStr(10000, L'/'), kDM6));
}

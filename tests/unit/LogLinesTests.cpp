// The log lines of the document-ID areas, as a second process writes them to a log file: source
// name, function, severity and text.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "dms/DmsCall.h"
#include "local/DocID.h"
#include "local/DocIDResolver.h"
#include "local/General.h"
#include "local/OfflineDocIDResolver.h"
#include "local/PowerDocsRegReader.h"
#include "operations/PDDocProviderHelper.h"

using namespace registry_sandbox;

namespace {

const wchar_t kWriterSwitch[] = L"--quendrel-write-id-log-lines";
const wchar_t kLogSettings[] = L"SOFTWARE\\Corvane\\Framework\\Settings";
const wchar_t kAttache[] = L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache";

struct LogRecord
{
    std::wstring strSeverity, strFile, strFunction, strMessage;
};

// The records of the log file: ten columns per line, each padded with spaces and followed by
// U+00A0; the line ends in CR LF.
std::vector<LogRecord> ReadRecords(const std::wstring& strPath)
{
    std::ifstream file(strPath.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::wstring strText(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<LogRecord> records;
    std::vector<std::wstring> columns;
    for (size_t pos = 0, sep; (sep = strText.find(L'\xA0', pos)) != std::wstring::npos; pos = sep + 1)
    {
        if (strText.compare(pos, 2, L"\r\n") == 0)
            pos += 2;
        columns.push_back(strText.substr(pos, strText.find_last_not_of(L' ', sep - 1) + 1 - pos));
        if (columns.size() == 10)
        {
            records.push_back({columns[1], columns[6], columns[8], columns[9]});
            columns.clear();
        }
    }
    return records;
}

// A failed DMS call, caught at an operation's boundary, is logged with the site of the call.
constexpr int kFailedDmsCallLine = __LINE__ + 5;
void FailADmsCall()
{
    try
    {
        DmsCheck(E_ACCESSDENIED);
    }
    catch (...)
    {
        CaughtFailure(L"LogLines::FailADmsCall");
    }
}

// Runs in the second process: each call below writes the lines the parent looks for.
void WriteLines()
{
    PowerDocsRegReader().GetExeName();

    CStdStr strDocID;
    CPDDocProviderHelper helper;
    helper.TranslateOdmaID(L"PowerDocs://LIB/1/2", strDocID);
    helper.TranslateOdmaID(L"::ODMA\\PCDOCS\\Lib\\1\\2", strDocID);

    const PowerDocsRegReader reader;
    DocIDResolver(L"C:\\Shadow\\plain.doc", L"C:\\Shadow", reader);
    DocIDResolver(L"C:\\Shadow\\LIB-#1-v-x.doc", L"C:\\Shadow", reader);

    OfflineDocIDResolver offline;
    offline.ResolveToOfflineDocID(L"PowerDocs://NOLIB/1/2");
    offline.ResolveToOfflineDocID(L"PowerDocs://LEGAL/4711/2");
    offline.ResolveToOnlineDocID(L"PowerDocs://NOLIB_anna/1/2", L"anna");

    CGeneral::GetSpecialFolderPath(0x7FFF);
    FailADmsCall();
}

}  // namespace

TEST(LogLines, DocumentIDAreasWriteTheirLines)
{
    if (wcsstr(GetCommandLineW(), kWriterSwitch))
        return WriteLines();

    CRegistrySandbox sandbox(ClientKeys());
    // The user "anna" holds an offline copy without its online number.
    ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, std::wstring(kAttache) + L"\\LEGAL\\anna\\905"));

    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strLog = std::wstring(szTemp) + L"QuendrelIdLog-" + std::to_wstring(GetCurrentProcessId()) +
                                L".clf2";
    DeleteFileW(strLog.c_str());
    {
        testing_support::ScopedRegValue enabled(HKEY_CURRENT_USER, kLogSettings, L"Logging.Enabled");
        testing_support::ScopedRegValue file(HKEY_CURRENT_USER, kLogSettings, L"Logging.FileLogEnabled");
        testing_support::ScopedRegValue debug(HKEY_CURRENT_USER, kLogSettings, L"Logging.DebugLogEnabled");
        testing_support::ScopedRegValue severity(HKEY_CURRENT_USER, kLogSettings, L"Logging.Severity");
        testing_support::ScopedRegValue path(HKEY_CURRENT_USER, kLogSettings, L"Logging.Path");
        enabled.SetDword(1);
        file.SetDword(1);
        debug.SetDword(0);
        severity.SetDword(2);
        path.SetString(strLog);

        wchar_t szExe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, szExe, MAX_PATH);
        ASSERT_EQ(0, testing_support::RunProgram(L"\"" + std::wstring(szExe) +
                                                 L"\" --gtest_filter=LogLines.DocumentIDAreasWriteTheirLines " +
                                                 kWriterSwitch));
    }
    const std::vector<LogRecord> records = ReadRecords(strLog);
    DeleteFileW(strLog.c_str());

    const std::wstring strHkcuAttache = L"HKCU\\" + std::wstring(kAttache);
    const LogRecord kExpected[] = {
        {L"ERROR", L"PowerDocsRegReader", L"PowerDocsRegReader::GetExeName", L"Failed to find PowerDocs exceutable."},
        {L"ERROR", L"PDDocProviderHelper", L"CPDDocProviderHelper::TranslateOdmaID",
         L"TranslateOdmaID() = Find(\"::odma\\pcdocs\\\") FAILED"},
        {L"INFO", L"PDDocProviderHelper", L"CPDDocProviderHelper::TranslateOdmaID",
         L"TranslateOdmaID() : ID = ::odma\\pcdocs\\lib\\1\\2"},
        {L"INFO", L"DocIDResolver", L"DocIDResolver::DocIDResolver", L"LocalPath = C:\\Shadow\\plain.doc"},
        {L"INFO", L"DocIDResolver", L"DocIDResolver::DocIDResolver", L"ShadowPath = C:\\Shadow"},
        {L"ERROR", L"DocIDResolver", L"DocIDResolver::ExtractDocInfo", L"Failed to match regular expression correctly"},
        {L"INFO", L"DocIDResolver", L"DocIDResolver::DocIDResolver", L"LocalPath = C:\\Shadow\\LIB-#1-v-x.doc"},
        {L"ERROR", L"DocIDResolver", L"DocIDResolver::ExtractDocInfo",
         L"Matched string positions correctly, but one of the pieces of data was an empty string"},
        {L"ERROR", L"OfflineDocIDResolver", L"OfflineDocIDResolver::GetOfflineDocumentInfo",
         L"Failed to Open Key : " + strHkcuAttache + L"\\NOLIB"},
        {L"ERROR", L"OfflineDocIDResolver", L"OfflineDocIDResolver::GetDWORDValue",
         L"Failed to Read DWord value for key : " + std::wstring(kAttache) + L"\\LEGAL\\anna\\905"},
        {L"ERROR", L"OfflineDocIDResolver", L"OfflineDocIDResolver::GetDWORDValue",
         L"Failed to Open Key : " + std::wstring(kAttache) + L"\\nolib\\anna\\1"},
        {L"ERROR", L"OfflineDocIDResolver", L"OfflineDocIDResolver::ResolveToOnlineDocID",
         L"Could not ResolveToOnlineDocID : PowerDocs://NOLIB_anna/1/2for user : anna"},
        {L"ERROR", L"General", L"CGeneral::GetSpecialFolderPath",
         L"GetMyDocumentsPath failed :SHGetSpecialFolderLocation failed"},
    };
    // In order, possibly with other lines between them.
    size_t nNext = 0;
    for (const LogRecord& expected : kExpected)
    {
        bool bFound = false;
        for (; nNext < records.size() && !bFound; ++nNext)
        {
            const LogRecord& r = records[nNext];
            bFound = r.strSeverity == expected.strSeverity && r.strFile == expected.strFile &&
                     r.strFunction == expected.strFunction && r.strMessage == expected.strMessage;
        }
        EXPECT_TRUE(bFound) << "missing: " << std::string(expected.strMessage.begin(), expected.strMessage.end());
    }
    const std::wstring strSite = L"(DMS call at LogLinesTests.cpp:" + std::to_wstring(kFailedDmsCallLine) + L")";
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const LogRecord& r) {
        return r.strFunction == L"LogLines::FailADmsCall" && r.strFile == L"LogLinesTests" &&
               r.strMessage.find(strSite) != std::wstring::npos;
    })) << "a failed DMS call's line names the call's file and line";
    // The resolver logs nothing else: a matched but incomplete name gives one error, not two.
    size_t nMatchErrors = 0;
    for (const LogRecord& r : records)
        nMatchErrors += r.strMessage == L"Failed to match regular expression correctly";
    EXPECT_EQ(1u, nMatchErrors);
}

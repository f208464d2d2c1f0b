// The log lines of the document-ID areas and the logging entry points, as a second process writes them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "dms/DmsCall.h"
#include "local/DocID.h"
#include "framework/LogFormat.h"
#include "framework/Logging.h"
#include "local/DocIDResolver.h"
#include "local/General.h"
#include "local/OfflineDocIDResolver.h"
#include "local/PowerDocsRegReader.h"
#include "operations/PDDocProviderHelper.h"
#include "local/TempFiles.h"

using namespace registry_sandbox;

namespace {

const wchar_t kWriterSwitch[] = L"--quendrel-write-id-log-lines";

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

    DocIDResolver(L"C:\\Shadow\\LIB-#1-v-x.doc", L"C:\\Shadow", PowerDocsRegReader());
    OfflineDocIDResolver().ResolveToOnlineDocID(L"PowerDocs://NOLIB_anna/1/2", L"anna");

    CGeneral::GetSpecialFolderPath(0x7FFF);
    FailADmsCall();

    using namespace Corvane::Logging;
    const LogSite site{L"LogLinesTests", 1};
    LogInfo(site, L"LogLines::Ids", CStdStr::Format(L"%lu %lu", GetCurrentProcessId(), GetCurrentThreadId()));
    LogError(site, L"LogLines::Payloads", CStdStr(L"plain error"));
    LogError(site, L"LogLines::Payloads", E_OUTOFMEMORY);
    LogError(site, L"LogLines::Payloads", _com_error(E_OUTOFMEMORY));
    LogError(site, L"LogLines::Payloads", std::runtime_error("out of luck"));
}

}  // namespace

TEST(LogLines, DocumentIDAreasWriteTheirLines)
{
    if (wcsstr(GetCommandLineW(), kWriterSwitch))
        return WriteLines();

    CRegistrySandbox sandbox(ClientKeys());

    const std::wstring strLog = GetTempFolder() + L"IdLog.clf2";
    DeleteFileW(strLog.c_str());
    {
        testing_support::ScopedFileLog log(strLog);
        ASSERT_EQ(0, testing_support::RunThisProgram(L"--gtest_filter=LogLines.* " + std::wstring(kWriterSwitch)));
    }
    // Severity, file, function and message of each record; each names the executable as process and
    // module (this code is linked into it), and the writer's process and thread.
    std::vector<std::vector<std::wstring>> records;
    int nIds = 0;
    for (auto columns : testing_support::ReadLogRecords(strLog, Corvane::Logging::FormatLogHeader().size()))
    {
        ASSERT_EQ(10u, columns.size()) << "unterminated record";
        EXPECT_EQ(0, lstrcmpiW(L"unit_tests.exe", columns[2].c_str()));
        EXPECT_EQ(0, lstrcmpiW(L"unit_tests.exe", columns[5].c_str()));
        if (columns[8] == L"LogLines::Ids" && ++nIds)
        {
            EXPECT_EQ(columns[3] + L" " + columns[4], columns[9]);
        }
        records.push_back({columns[1], columns[6], columns[8], columns[9]});
    }
    DeleteFileW(strLog.c_str());
    EXPECT_EQ(1, nIds);

    const std::vector<std::wstring> kExpected[] = {
        {L"ERROR", L"PowerDocsRegReader", L"PowerDocsRegReader::GetExeName", L"Failed to find PowerDocs exceutable."},
        {L"ERROR", L"PDDocProviderHelper", L"CPDDocProviderHelper::TranslateOdmaID",
         L"TranslateOdmaID() = Find(\"::odma\\pcdocs\\\") FAILED"},
        {L"INFO", L"PDDocProviderHelper", L"CPDDocProviderHelper::TranslateOdmaID",
         L"TranslateOdmaID() : ID = ::odma\\pcdocs\\lib\\1\\2"},
        {L"INFO", L"DocIDResolver", L"DocIDResolver::DocIDResolver", L"LocalPath = C:\\Shadow\\LIB-#1-v-x.doc"},
        {L"ERROR", L"DocIDResolver", L"DocIDResolver::ExtractDocInfo",
         L"Matched string positions correctly, but one of the pieces of data was an empty string"},
        {L"ERROR", L"OfflineDocIDResolver", L"OfflineDocIDResolver::ResolveToOnlineDocID",
         L"Could not ResolveToOnlineDocID : PowerDocs://NOLIB_anna/1/2for user : anna"},
        {L"ERROR", L"General", L"CGeneral::GetSpecialFolderPath",
         L"GetMyDocumentsPath failed :SHGetSpecialFolderLocation failed"},
        {L"ERROR", L"LogLinesTests", L"LogLines::Payloads", L"plain error"},
        {L"ERROR", L"LogLinesTests", L"LogLines::Payloads", L"0x8007000e"},
        {L"ERROR", L"LogLinesTests", L"LogLines::Payloads",
         L"Com Exception:\r\nDetails: 0x8007000e - " + ComErrorMessage(E_OUTOFMEMORY)},
        {L"ERROR", L"LogLinesTests", L"LogLines::Payloads", L"std::exception:\r\nDetails: out of luck"},
    };
    // In order, possibly with other lines between them.
    size_t nNext = 0;
    for (const auto& expected : kExpected)
    {
        while (nNext < records.size() && records[nNext] != expected)
            ++nNext;
        EXPECT_LT(nNext++, records.size()) << "missing: " << std::string(expected[3].begin(), expected[3].end());
    }
    const std::wstring strSite = L"(DMS call at LogLinesTests.cpp:" + std::to_wstring(kFailedDmsCallLine) + L")";
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const std::vector<std::wstring>& r) {
        return r[2] == L"LogLines::FailADmsCall" && r[1] == L"LogLinesTests" && r[3].find(strSite) != std::wstring::npos;
    })) << "a failed DMS call's line names the call's file and line";
}

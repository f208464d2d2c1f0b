// The logger: registry settings, line layout, the file sink, the filter and the HRESULT texts.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "framework/FileLogger.h"
#include "framework/Handles.h"
#include "framework/LogFormat.h"
#include "framework/LogSettings.h"
#include "framework/Logger.h"
#include "framework/Logging.h"
#include "local/TempFiles.h"

using namespace Corvane::Logging;
using testing_support::AppDataFolder;
using testing_support::ReadLogText;

namespace {

const wchar_t NBSP = L'\x00A0';
const wchar_t DEFAULT_PATH[] = L"%APPDATA%\\Corvane\\Corvane.clf2";

void Set(HKEY hive, const wchar_t* pszName, DWORD dwValue)
{
    ASSERT_TRUE(registry_sandbox::SetDword(hive, LOG_SETTINGS_KEY, pszName, dwValue));
}
void Set(HKEY hive, const wchar_t* pszName, const std::wstring& strValue)
{
    ASSERT_TRUE(registry_sandbox::SetString(hive, LOG_SETTINGS_KEY, pszName, strValue));
}

// A file name in this process's temporary folder; deleted before and after.
struct CTempLogFile
{
    explicit CTempLogFile(const wchar_t* pszName)
    {
        m_strPath = GetTempFolder() + pszName;
        DeleteFileW(m_strPath.c_str());
    }
    ~CTempLogFile() { DeleteFileW(m_strPath.c_str()); }
    const CStdStr& Path() const { return m_strPath; }
    CStdStr m_strPath;
};

bool FileExists(const std::wstring& strPath) { return GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

LogRecord MakeRecord(int nSeverity, const wchar_t* pszMessage)
{
    return LogRecord{nSeverity, L"PDDocProvider", 1234, L"CPDDocProvider::Open", pszMessage,
                     {2024, 3, 2, 5, 7, 8, 9, 10}, 42, L"host.exe", 7, L"CmQuendrel.dll"};
}

// One line of the log: each column padded with spaces to its width, then the separator.
std::wstring Row(std::initializer_list<std::wstring> columns)
{
    const size_t widths[] = {23, 8, 13, 5, 5, 60, 30, 5, 60, 1};
    std::wstring strLine;
    size_t i = 0;
    for (const std::wstring& strColumn : columns)
    {
        const size_t cchPad = widths[i] > strColumn.size() ? widths[i] - strColumn.size() : 0;
        strLine += strColumn + std::wstring(cchPad, L' ') + NBSP;
        ++i;
    }
    return strLine + L"\r\n";
}

LogSettings FileOnlySettings(const std::wstring& strPath)
{
    LogSettings settings;
    settings.m_bEnabled = settings.m_bFileLogEnabled = true;
    settings.m_bDebugLogEnabled = false;
    settings.m_strPath = strPath;
    return settings;
}

}  // namespace

TEST(LogSettings, TheFirstHiveHoldingAValueDecidesAndInvalidValuesGiveTheDefault)
{
    registry_sandbox::CRegistrySandbox sandbox({{HKEY_CURRENT_USER, LOG_SETTINGS_KEY}, {HKEY_LOCAL_MACHINE, LOG_SETTINGS_KEY}});
    LogSettings settings = ReadLogSettings();
    EXPECT_FALSE(settings.m_bEnabled || settings.m_bFileLogEnabled);
    EXPECT_TRUE(settings.m_bDebugLogEnabled);
    EXPECT_EQ(1u, settings.m_dwSeverity);
    EXPECT_EQ(DEFAULT_PATH, settings.m_strPath);

    Set(HKEY_LOCAL_MACHINE, L"Logging.Enabled", 1);
    Set(HKEY_LOCAL_MACHINE, L"Logging.Severity", 3);
    Set(HKEY_LOCAL_MACHINE, L"Logging.Path", L"C:\\machine.clf2");
    Set(HKEY_CURRENT_USER, L"Logging.Severity", 2);
    Set(HKEY_CURRENT_USER, L"Logging.Path", L"C:\\user.clf2");
    Set(HKEY_CURRENT_USER, L"Logging.DebugLogEnabled", 0);
    Set(HKEY_CURRENT_USER, L"Logging.FileLogEnabled", 7);
    settings = ReadLogSettings();
    EXPECT_TRUE(settings.m_bEnabled && settings.m_bFileLogEnabled);
    EXPECT_FALSE(settings.m_bDebugLogEnabled);
    EXPECT_EQ(2u, settings.m_dwSeverity);
    EXPECT_EQ(L"C:\\user.clf2", settings.m_strPath);

    // A user value of the wrong type, or an empty path, gives the default, not the machine's.
    Set(HKEY_CURRENT_USER, L"Logging.Severity", L"5");
    EXPECT_EQ(1u, ReadLogSettings().m_dwSeverity);
    Set(HKEY_CURRENT_USER, L"Logging.Path", L"");
    EXPECT_EQ(DEFAULT_PATH, ReadLogSettings().m_strPath);
    // A path counts only if it fits into MAX_PATH characters with its terminator.
    const std::wstring strFits = L"C:\\" + std::wstring(MAX_PATH - 4, L'a');
    Set(HKEY_CURRENT_USER, L"Logging.Path", strFits);
    EXPECT_EQ(strFits, ReadLogSettings().m_strPath);
    Set(HKEY_CURRENT_USER, L"Logging.Path", strFits + L"b");
    EXPECT_EQ(DEFAULT_PATH, ReadLogSettings().m_strPath);
}

TEST(LogFormat, LinesAndHeaderHaveLeftAlignedColumnsSeparatedByNoBreakSpace)
{
    EXPECT_EQ(Row({L"2024-03-05T07:08:09.010", L"INFO", L"host.exe", L"42", L"7", L"CmQuendrel.dll",
                   L"PDDocProvider", L"1234", L"CPDDocProvider::Open", L"a\r\nb"}),
              FormatLogLine(MakeRecord(LOG_SEVERITY_INFO, L"a\r\nb")));

    const std::pair<int, const wchar_t*> severities[] = {{0, L"TRACE"},   {1, L"DEBUG"}, {2, L"INFO"},
                                                         {3, L"UNKNOWN"}, {4, L"ERROR"}, {-1, L"UNKNOWN"}};
    for (const auto& severity : severities)
        EXPECT_EQ(Row({L"", severity.second}).substr(24, 9), FormatLogLine(MakeRecord(severity.first, L"")).substr(24, 9));

    EXPECT_EQ(Row({L"time", L"severity", L"process", L"pid", L"tid", L"module", L"filename", L"line", L"function",
                   L"message"}) +
                  Row({L"====", L"========", L"=======", L"===", L"===", L"======", L"========", L"====",
                       L"========", L"======="}),
              FormatLogHeader());
}

TEST(FileLogger, ConfigureTrimsLowersAndResolvesAppData)
{
    FileLogger logger;
    logger.Configure(FileOnlySettings(L"  %AppData%\\Corvane\\Corvane.CLF2\t"));
    EXPECT_EQ(AppDataFolder() + L"\\corvane\\corvane.clf2", logger.GetPath());
}

TEST(FileLogger, NewFileGetsHeaderOnceAndExistingFileIsAppended)
{
    CTempLogFile file(L"new.clf2");
    FileLogger logger;
    logger.Configure(FileOnlySettings(file.Path()));
    const LogRecord first = MakeRecord(LOG_SEVERITY_INFO, L"first");
    const LogRecord second = MakeRecord(LOG_SEVERITY_ERROR, L"second\r\nline");
    logger.Write(first), logger.Write(second);
    // Byte for byte: UTF-16LE without byte-order mark, the header once, then both lines.
    EXPECT_EQ(FormatLogHeader() + FormatLogLine(first) + FormatLogLine(second), ReadLogText(file.Path()));

    const std::wstring strEarlier = L"earlier\r\n";
    ASSERT_TRUE(testing_support::WriteFileBytes(
        file.Path(), std::string(reinterpret_cast<const char*>(strEarlier.data()), strEarlier.size() * 2)));
    logger.Write(first);
    EXPECT_EQ(strEarlier + FormatLogLine(first), ReadLogText(file.Path()));

    // A path in a missing folder creates nothing and does not throw.
    FileLogger misplaced;
    misplaced.Configure(FileOnlySettings(file.Path() + L".missing\\log.clf2"));
    misplaced.Write(first);
    EXPECT_FALSE(FileExists(file.Path() + L".missing"));
}

TEST(FileLogger, RetriesWhileAnotherWriterHoldsTheFileAndThenGivesUp)
{
    CTempLogFile file(L"shared.clf2");
    FileLogger logger;
    logger.Configure(FileOnlySettings(file.Path()));
    const LogRecord record = MakeRecord(LOG_SEVERITY_INFO, L"waited");
    const auto hold = [&] {
        return CFileHandle(CreateFileW(file.Path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    };

    // Held for a moment: the record lands once the other writer lets go (into an existing file: no header).
    CFileHandle held = hold();
    ASSERT_TRUE(held);
    std::thread release([&held] {
        Sleep(100);
        held.Reset();
    });
    logger.Write(record);
    release.join();
    EXPECT_EQ(FormatLogLine(record), ReadLogText(file.Path()));

    // Held for good: the write gives up (a host is never kept waiting) and the record is dropped.
    held = hold();
    ASSERT_TRUE(held);
    logger.Write(record);
    held.Reset();
    EXPECT_EQ(FormatLogLine(record), ReadLogText(file.Path()));
}

TEST(Logger, FiltersBySeverityAndSwitches)
{
    // bInfo, bError: expected to pass the filter.
    struct { bool bEnabled, bFile, bDebug; DWORD dwSeverity; bool bInfo, bError; } const cases[] = {
        {false, true, true, 1, false, false}, {true, false, false, 1, false, false}, {true, true, false, 2, true, true},
        {true, true, false, 4, false, true},  {true, true, false, 5, false, false}, {true, false, true, 1, true, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "enabled=" << c.bEnabled << " file=" << c.bFile << " debug=" << c.bDebug
                                        << " severity=" << c.dwSeverity);
        CTempLogFile file(L"filter.clf2");
        LogSettings settings = FileOnlySettings(file.Path());
        settings.m_bEnabled = c.bEnabled;
        settings.m_bFileLogEnabled = c.bFile;
        settings.m_bDebugLogEnabled = c.bDebug;
        settings.m_dwSeverity = c.dwSeverity;
        Logger logger(settings);
        EXPECT_EQ(c.bInfo, logger.IsEnabledFor(LOG_SEVERITY_INFO));
        EXPECT_EQ(c.bError, logger.IsEnabledFor(LOG_SEVERITY_ERROR));
        // Only the file sink touches the file, and only when it is switched on.
        logger.Write(LOG_SEVERITY_INFO, LogSite{L"LoggingTests", 1}, L"Filter::Case", L"info");
        EXPECT_EQ(c.bFile, FileExists(file.Path()));
    }
}

TEST(Logging, HResultMessages)
{
    const CStdStr strOutOfMemory = ComErrorMessage(E_OUTOFMEMORY);
    EXPECT_EQ(std::wstring::npos, strOutOfMemory.find_first_of(L"\r\n")) << "line break not removed";
    EXPECT_EQ(L"hr = 0x8007000e, " + strOutOfMemory, FormatHResult(E_OUTOFMEMORY));
    EXPECT_EQ(L"IDispatch error #64768", ComErrorMessage(static_cast<HRESULT>(0x8004FF00)));
    EXPECT_EQ(L"hr = 0xa0001234, Unknown error 0xA0001234", FormatHResult(static_cast<HRESULT>(0xA0001234)));
}

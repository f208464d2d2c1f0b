// Tests of the logger: settings from the registry, the line layout, the file sink (new and
// existing files, sharing retries) and the entry points across processes.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/FileLogger.h"
#include "framework/Handles.h"
#include "framework/LogFormat.h"
#include "framework/LogSettings.h"
#include "framework/Logger.h"
#include "framework/Logging.h"

using namespace Corvane::Logging;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

const wchar_t NBSP = L'\x00A0';
const wchar_t DEFAULT_PATH[] = L"%APPDATA%\\Corvane\\Corvane.clf2";

// Clears the five logging values in both hives for one test; puts back what was there.
class CLogRegistry
{
public:
    CLogRegistry()
    {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const wchar_t* pszName : {L"Logging.Enabled", L"Logging.FileLogEnabled", L"Logging.DebugLogEnabled",
                                           L"Logging.Severity", L"Logging.Path"})
            {
                CSaved saved{hive, pszName, false, 0, {}};
                CRegKey key = Open(hive);
                DWORD cb = 0;
                if (RegQueryValueExW(key.Get(), pszName, nullptr, &saved.dwType, nullptr, &cb) == ERROR_SUCCESS)
                {
                    saved.data.resize(cb);
                    saved.bExisted = RegQueryValueExW(key.Get(), pszName, nullptr, &saved.dwType, saved.data.data(),
                                                      &cb) == ERROR_SUCCESS;
                }
                RegDeleteValueW(key.Get(), pszName);
                m_saved.push_back(std::move(saved));
            }
    }
    ~CLogRegistry()
    {
        for (const CSaved& saved : m_saved)
        {
            CRegKey key = Open(saved.hive);
            RegDeleteValueW(key.Get(), saved.pszName);
            if (saved.bExisted)
                RegSetValueExW(key.Get(), saved.pszName, 0, saved.dwType, saved.data.data(),
                               static_cast<DWORD>(saved.data.size()));
        }
    }

    void Set(HKEY hive, const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cbData)
    {
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(Open(hive).Get(), pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData));
    }
    void Set(HKEY hive, const wchar_t* pszName, DWORD dwValue)
    {
        Set(hive, pszName, REG_DWORD, &dwValue, sizeof(dwValue));
    }
    void Set(HKEY hive, const wchar_t* pszName, const std::wstring& strValue)
    {
        Set(hive, pszName, REG_SZ, strValue.c_str(), static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
    }

private:
    struct CSaved
    {
        HKEY hive;
        const wchar_t* pszName;
        bool bExisted;
        DWORD dwType;
        std::vector<BYTE> data;
    };
    static CRegKey Open(HKEY hive)
    {
        CRegKey key;
        RegCreateKeyExW(hive, LOG_SETTINGS_KEY, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr);
        return key;
    }
    std::vector<CSaved> m_saved;
};

// A file name in the temporary folder, unique to this process; deleted before and after.
class CTempLogFile
{
public:
    explicit CTempLogFile(const wchar_t* pszName)
    {
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strPath = CStdStr::Format(L"%lsquendrel-%lu-%ls", szTemp, GetCurrentProcessId(), pszName);
        DeleteFileW(m_strPath.c_str());
    }
    ~CTempLogFile() { DeleteFileW(m_strPath.c_str()); }
    const CStdStr& Path() const { return m_strPath; }

private:
    CStdStr m_strPath;
};

// The file's bytes taken as UTF-16LE text; empty when the file does not exist.
std::wstring ReadLogFile(const std::wstring& strPath)
{
    CFileHandle file(CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    GetFileSizeEx(file.Get(), &size);
    EXPECT_EQ(0, size.QuadPart % 2) << "not whole UTF-16 code units";
    std::wstring text(static_cast<size_t>(size.QuadPart / 2), L'\0');
    DWORD cbRead = 0;
    ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size() * 2), &cbRead, nullptr);
    return text;
}

bool FileExists(const std::wstring& strPath)
{
    return GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Splits log text into records of ten columns without their padding. A record ends in
// U+00A0 "\r\n"; a message may hold "\r\n" but never U+00A0.
std::vector<std::vector<std::wstring>> ParseRecords(const std::wstring& strText)
{
    std::vector<std::vector<std::wstring>> records(1);
    std::wstring column;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        if (strText[i] != NBSP)
        {
            column += strText[i];
            continue;
        }
        records.back().push_back(column.erase(column.find_last_not_of(L' ') + 1));
        column.clear();
        if (strText.compare(i + 1, 2, L"\r\n") == 0 && records.back().size() == 10)
        {
            records.emplace_back();
            i += 2;
        }
    }
    EXPECT_TRUE(column.empty() && records.back().empty()) << "unterminated record";
    records.pop_back();
    return records;
}

LogRecord MakeRecord(int nSeverity, const wchar_t* pszMessage)
{
    LogRecord record;
    record.m_nSeverity = nSeverity;
    record.m_strFilename = L"PDDocProvider";
    record.m_nLine = 1234;
    record.m_strFunction = L"CPDDocProvider::Open";
    record.m_strMessage = pszMessage;
    record.m_time = {2024, 3, 2, 5, 7, 8, 9, 10};
    record.m_nPid = 42;
    record.m_strProcess = L"host.exe";
    record.m_dwTid = 7;
    record.m_strModule = L"CmQuendrel.dll";
    return record;
}

// The text padded with spaces to the width, then the separator.
std::wstring Pad(const std::wstring& strText, size_t width)
{
    return strText + std::wstring(width > strText.size() ? width - strText.size() : 0, L' ') + NBSP;
}

LogSettings FileOnlySettings(const std::wstring& strPath)
{
    LogSettings settings;
    settings.m_bEnabled = settings.m_bFileLogEnabled = true;
    settings.m_bDebugLogEnabled = false;
    settings.m_strPath = strPath;
    return settings;
}

std::wstring AppDataFolder()
{
    wchar_t szAppData[MAX_PATH] = {};
    EXPECT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szAppData));
    return szAppData;
}

}  // namespace

TEST(LogSettings, DefaultsApplyWithoutValues)
{
    CLogRegistry registry;
    LogSettings settings = ReadLogSettings();
    EXPECT_FALSE(settings.m_bEnabled);
    EXPECT_FALSE(settings.m_bFileLogEnabled);
    EXPECT_TRUE(settings.m_bDebugLogEnabled);
    EXPECT_EQ(1u, settings.m_dwSeverity);
    EXPECT_EQ(DEFAULT_PATH, settings.m_strPath);
}

TEST(LogSettings, TheFirstHiveHoldingAValueDecidesAndInvalidValuesGiveTheDefault)
{
    CLogRegistry registry;
    registry.Set(HKEY_LOCAL_MACHINE, L"Logging.Enabled", 1);
    registry.Set(HKEY_LOCAL_MACHINE, L"Logging.Severity", 3);
    registry.Set(HKEY_LOCAL_MACHINE, L"Logging.Path", L"C:\\machine.clf2");
    registry.Set(HKEY_CURRENT_USER, L"Logging.Severity", 2);
    registry.Set(HKEY_CURRENT_USER, L"Logging.Path", L"C:\\user.clf2");
    registry.Set(HKEY_CURRENT_USER, L"Logging.DebugLogEnabled", 0);
    registry.Set(HKEY_CURRENT_USER, L"Logging.FileLogEnabled", 7);
    LogSettings settings = ReadLogSettings();
    EXPECT_TRUE(settings.m_bEnabled);
    EXPECT_TRUE(settings.m_bFileLogEnabled);
    EXPECT_FALSE(settings.m_bDebugLogEnabled);
    EXPECT_EQ(2u, settings.m_dwSeverity);
    EXPECT_EQ(L"C:\\user.clf2", settings.m_strPath);

    // A user value of the wrong type or size, or an empty path, makes the default apply: the
    // machine's value is not consulted once the user's hive holds the value.
    registry.Set(HKEY_CURRENT_USER, L"Logging.Severity", L"5");
    EXPECT_EQ(1u, ReadLogSettings().m_dwSeverity);
    const WORD wShort = 5;
    registry.Set(HKEY_CURRENT_USER, L"Logging.Severity", REG_DWORD, &wShort, sizeof(wShort));
    EXPECT_EQ(1u, ReadLogSettings().m_dwSeverity);
    registry.Set(HKEY_CURRENT_USER, L"Logging.Path", L"");
    EXPECT_EQ(DEFAULT_PATH, ReadLogSettings().m_strPath);

    // With no valid value in either hive, the default applies.
    const ULONGLONG qwValue = 5;
    registry.Set(HKEY_LOCAL_MACHINE, L"Logging.Severity", REG_BINARY, &qwValue, sizeof(DWORD));
    registry.Set(HKEY_CURRENT_USER, L"Logging.Severity", REG_QWORD, &qwValue, sizeof(qwValue));
    registry.Set(HKEY_LOCAL_MACHINE, L"Logging.Path", 1);
    EXPECT_EQ(1u, ReadLogSettings().m_dwSeverity);
    EXPECT_EQ(DEFAULT_PATH, ReadLogSettings().m_strPath);

    // A path counts only if it fits into MAX_PATH characters with its terminator.
    const std::wstring strFits = L"C:\\" + std::wstring(MAX_PATH - 4, L'a');
    registry.Set(HKEY_CURRENT_USER, L"Logging.Path", strFits);
    EXPECT_EQ(strFits, ReadLogSettings().m_strPath);
    registry.Set(HKEY_CURRENT_USER, L"Logging.Path", strFits + L"b");
    EXPECT_EQ(DEFAULT_PATH, ReadLogSettings().m_strPath);
}

TEST(LogFormat, LineHasLeftAlignedColumnsSeparatedByNoBreakSpace)
{
    const std::wstring strExpected = Pad(L"2024-03-05T07:08:09.010", 23) + Pad(L"INFO", 8) + Pad(L"host.exe", 13) +
                                     Pad(L"42", 5) + Pad(L"7", 5) + Pad(L"CmQuendrel.dll", 60) +
                                     Pad(L"PDDocProvider", 30) + Pad(L"1234", 5) +
                                     Pad(L"CPDDocProvider::Open", 60) + L"a\r\nb" + NBSP + L"\r\n";
    EXPECT_EQ(strExpected, FormatLogLine(MakeRecord(LOG_SEVERITY_INFO, L"a\r\nb")));
    EXPECT_EQ(23u + 8 + 13 + 5 + 5 + 60 + 30 + 5 + 60 + 4 + 10 + 2, strExpected.size());

    // A value wider than its column is kept whole and pushes the rest to the right.
    LogRecord wide = MakeRecord(LOG_SEVERITY_ERROR, L"");
    wide.m_strProcess = L"a-long-process-name.exe";
    wide.m_nPid = 1234567;
    const std::wstring strLine = FormatLogLine(wide);
    const std::wstring strStart = Pad(L"2024-03-05T07:08:09.010", 23) + Pad(L"ERROR", 8) +
                                  L"a-long-process-name.exe" + NBSP + L"1234567" + NBSP + Pad(L"7", 5);
    EXPECT_EQ(strStart, strLine.substr(0, strStart.size()));
    EXPECT_EQ(std::wstring(1, NBSP) + L" " + NBSP + L"\r\n", strLine.substr(strLine.size() - 5))
        << "an empty message still fills its width of 1";

    const std::pair<int, const wchar_t*> severities[] = {{0, L"TRACE"},   {1, L"DEBUG"}, {2, L"INFO"},
                                                         {3, L"UNKNOWN"}, {4, L"ERROR"}, {-1, L"UNKNOWN"}};
    for (const auto& severity : severities)
        EXPECT_EQ(Pad(severity.second, 8), FormatLogLine(MakeRecord(severity.first, L"")).substr(24, 9));
}

TEST(LogFormat, HeaderHasColumnNamesAndUnderlines)
{
    EXPECT_EQ(Pad(L"time", 23) + Pad(L"severity", 8) + Pad(L"process", 13) + Pad(L"pid", 5) + Pad(L"tid", 5) +
                  Pad(L"module", 60) + Pad(L"filename", 30) + Pad(L"line", 5) + Pad(L"function", 60) + L"message" +
                  NBSP + L"\r\n" + Pad(L"====", 23) + Pad(L"========", 8) + Pad(L"=======", 13) + Pad(L"===", 5) +
                  Pad(L"===", 5) + Pad(L"======", 60) + Pad(L"========", 30) + Pad(L"====", 5) +
                  Pad(L"========", 60) + L"=======" + NBSP + L"\r\n",
              FormatLogHeader());
}

TEST(FileLogger, ConfigureTrimsLowersAndResolvesAppData)
{
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"  %APPDATA%\\Corvane\\Corvane.CLF2\t", AppDataFolder() + L"\\corvane\\corvane.clf2"},
        {L"%AppData%\\x.log", AppDataFolder() + L"\\x.log"},
        {L"C:\\Temp\\Log.CLF2", L"c:\\temp\\log.clf2"},
    };
    for (const auto& c : cases)
    {
        FileLogger logger;
        logger.Configure(FileOnlySettings(c.first));
        EXPECT_EQ(c.second, logger.GetPath()) << c.first;
    }
}

TEST(FileLogger, NewFileGetsHeaderOnceAndExistingFileIsAppended)
{
    CTempLogFile file(L"new.clf2");
    FileLogger logger;
    logger.Configure(FileOnlySettings(file.Path()));
    const LogRecord first = MakeRecord(LOG_SEVERITY_INFO, L"first");
    const LogRecord second = MakeRecord(LOG_SEVERITY_ERROR, L"second\r\nline");
    logger.Write(first);
    logger.Write(second);
    // Byte for byte: UTF-16LE without byte-order mark, the header once, then both lines.
    EXPECT_EQ(FormatLogHeader() + FormatLogLine(first) + FormatLogLine(second), ReadLogFile(file.Path()));

    {
        CFileHandle other(CreateFileW(file.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD cb = 0;
        WriteFile(other.Get(), L"earlier\r\n", 18, &cb, nullptr);
    }
    logger.Write(first);
    EXPECT_EQ(L"earlier\r\n" + FormatLogLine(first), ReadLogFile(file.Path()));

    // A path in a missing folder creates nothing and does not throw.
    FileLogger misplaced;
    misplaced.Configure(FileOnlySettings(file.Path() + L".missing\\log.clf2"));
    misplaced.Write(first);
    EXPECT_FALSE(FileExists(file.Path() + L".missing"));
}

TEST(FileLogger, RetriesWhileAnotherWriterHoldsTheFile)
{
    CTempLogFile file(L"shared.clf2");
    FileLogger logger;
    logger.Configure(FileOnlySettings(file.Path()));
    const LogRecord record = MakeRecord(LOG_SEVERITY_INFO, L"waited");
    const auto hold = [&] {
        return CFileHandle(CreateFileW(file.Path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    };

    // Held for about 100 ms: the record lands once the other writer lets go.
    CFileHandle held = hold();
    ASSERT_TRUE(held);
    std::thread release([&held] {
        Sleep(100);
        held.Reset();
    });
    auto start = steady_clock::now();
    logger.Write(record);
    auto elapsed = steady_clock::now() - start;
    release.join();
    EXPECT_GE(elapsed, milliseconds(90));
    // The holder created the file, so the record found an existing file: no header.
    EXPECT_EQ(FormatLogLine(record), ReadLogFile(file.Path()));

    // Held beyond the retry budget of about a second: the record is dropped, not waited for.
    held = hold();
    ASSERT_TRUE(held);
    start = steady_clock::now();
    logger.Write(record);
    elapsed = steady_clock::now() - start;
    held.Reset();
    EXPECT_GE(elapsed, milliseconds(900));
    EXPECT_LT(elapsed, milliseconds(5000));
    EXPECT_EQ(FormatLogLine(record), ReadLogFile(file.Path()));
}

TEST(Logger, FiltersBySeverityAndSwitches)
{
    struct
    {
        bool bEnabled, bFile, bDebug;
        DWORD dwSeverity;
        bool bInfo, bError;  // expected to pass the filter
    } const cases[] = {
        {false, true, true, 1, false, false}, {true, false, false, 1, false, false},
        {true, true, false, 0, true, true},   {true, true, false, 2, true, true},
        {true, true, false, 3, false, true},  {true, true, false, 4, false, true},
        {true, true, false, 5, false, false}, {true, false, true, 1, true, true},
    };
    for (const auto& c : cases)
    {
        const std::wstring strCase = CStdStr::Format(L"enabled=%d file=%d debug=%d severity=%lu", c.bEnabled, c.bFile,
                                                     c.bDebug, c.dwSeverity);
        CTempLogFile file(L"filter.clf2");
        LogSettings settings = FileOnlySettings(file.Path());
        settings.m_bEnabled = c.bEnabled;
        settings.m_bFileLogEnabled = c.bFile;
        settings.m_bDebugLogEnabled = c.bDebug;
        settings.m_dwSeverity = c.dwSeverity;
        Logger logger(settings);
        EXPECT_EQ(c.bInfo, logger.IsEnabledFor(LOG_SEVERITY_INFO)) << strCase;
        EXPECT_EQ(c.bError, logger.IsEnabledFor(LOG_SEVERITY_ERROR)) << strCase;
        // Only the file sink touches the file, and only when it is switched on.
        logger.Write(LOG_SEVERITY_INFO, LogSite{L"LoggingTests", 1}, L"Filter::Case", L"info");
        EXPECT_EQ(c.bFile, FileExists(file.Path())) << strCase;
    }
}

TEST(Logging, HResultMessages)
{
    const CStdStr strOutOfMemory = ComErrorMessage(E_OUTOFMEMORY);
    EXPECT_FALSE(strOutOfMemory.empty());
    EXPECT_EQ(std::wstring::npos, strOutOfMemory.find_first_of(L"\r\n")) << "line break not removed";
    EXPECT_EQ(std::wstring::npos, strOutOfMemory.find(L"error 0x")) << "no system text found";
    EXPECT_EQ(L"hr = 0x8007000e, " + strOutOfMemory, FormatHResult(E_OUTOFMEMORY));

    EXPECT_EQ(L"IDispatch error #64768", ComErrorMessage(static_cast<HRESULT>(0x8004FF00)));
    EXPECT_EQ(L"IDispatch error #65023", ComErrorMessage(static_cast<HRESULT>(0x8004FFFF)));
    EXPECT_EQ(L"hr = 0xa0001234, Unknown error 0xA0001234", FormatHResult(static_cast<HRESULT>(0xA0001234)));
}

namespace {

// With this switch and an event name, the multi-process test below becomes one of its own
// writers; the writers start together when the event is set, so that they contend.
const wchar_t WRITER_SWITCH[] = L"--log-writer-child=";
const int WRITER_INFO_RECORDS = 300;

void RunAsWriter(const wchar_t* pszStartEvent)
{
    CFileHandle start(OpenEventW(SYNCHRONIZE, FALSE, pszStartEvent));
    WaitForSingleObject(start.Get(), 10000);
    for (int i = 0; i < WRITER_INFO_RECORDS; ++i)
        LogInfo(LogSite{L"LoggingTests", i}, L"Writer::Run", CStdStr::Format(L"record %d", i));
    LogError(LogSite{L"LoggingTests", 1}, L"Writer::Run", CStdStr(L"plain error"));
    LogError(LogSite{L"LoggingTests", 2}, L"Writer::Run", E_OUTOFMEMORY);
    LogError(LogSite{L"LoggingTests", 3}, L"Writer::Run", _com_error(E_OUTOFMEMORY));
    LogError(LogSite{L"LoggingTests", 4}, L"Writer::Run", std::runtime_error("out of luck"));
}

}  // namespace

TEST(Logging, TwoProcessesAppendToOneFileWithoutLoss)
{
    if (const wchar_t* pszSwitch = wcsstr(GetCommandLineW(), WRITER_SWITCH))
        return RunAsWriter(pszSwitch + wcslen(WRITER_SWITCH));

    // The writers read these values when they first log. Upper case: "%APPDATA%" must resolve.
    const std::wstring strName = CStdStr::Format(L"QuendrelLogTest-%lu.CLF2", GetCurrentProcessId());
    const std::wstring strFile = AppDataFolder() + L"\\" + strName;
    DeleteFileW(strFile.c_str());
    CLogRegistry registry;
    registry.Set(HKEY_CURRENT_USER, L"Logging.Enabled", 1);
    registry.Set(HKEY_CURRENT_USER, L"Logging.FileLogEnabled", 1);
    registry.Set(HKEY_CURRENT_USER, L"Logging.DebugLogEnabled", 0);
    registry.Set(HKEY_CURRENT_USER, L"Logging.Severity", 2);
    registry.Set(HKEY_CURRENT_USER, L"Logging.Path", L"%APPDATA%\\" + strName);

    const std::wstring strEvent = CStdStr::Format(L"QuendrelLogWriters-%lu", GetCurrentProcessId());
    CFileHandle start(CreateEventW(nullptr, TRUE, FALSE, strEvent.c_str()));
    wchar_t szExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    CFileHandle nul(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    CFileHandle writers[2];
    std::wstring ids[2];  // "pid tid" of each writer's main thread
    for (int i = 0; i < 2; ++i)
    {
        std::wstring strCommand = CStdStr::Format(L"\"%ls\" --gtest_filter=Logging.TwoProcesses* %ls%ls", szExe,
                                                  WRITER_SWITCH, strEvent.c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = nul.Get();
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(szExe, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   &process));
        CFileHandle thread(process.hThread);
        writers[i].Reset(process.hProcess);
        ids[i] = CStdStr::Format(L"%lu %lu", process.dwProcessId, process.dwThreadId);
    }
    SetEvent(start.Get());
    HANDLE handles[2] = {writers[0].Get(), writers[1].Get()};
    if (WaitForMultipleObjects(2, handles, TRUE, 60000) != WAIT_OBJECT_0)
    {
        TerminateProcess(handles[0], 1);
        TerminateProcess(handles[1], 1);
        FAIL() << "writers did not finish within 60 s";
    }

    const std::wstring strText = ReadLogFile(strFile);
    DeleteFileW(strFile.c_str());
    ASSERT_EQ(FormatLogHeader(), strText.substr(0, FormatLogHeader().size()));
    const auto records = ParseRecords(strText.substr(FormatLogHeader().size()));
    EXPECT_EQ(2u * (WRITER_INFO_RECORDS + 4), records.size());
    std::map<std::wstring, std::multiset<std::wstring>> messages;  // "pid tid severity" -> messages
    for (auto columns : records)
    {
        // Each record names the executable and this code's module (linked into it), and the caller.
        CharLowerW(&columns[2][0]);
        CharLowerW(&columns[5][0]);
        EXPECT_EQ(L"unit_tests.exe", columns[2]);
        EXPECT_EQ(L"unit_tests.exe", columns[5]);
        EXPECT_EQ(L"LoggingTests", columns[6]);
        EXPECT_EQ(L"Writer::Run", columns[8]);
        if (columns[1] == L"INFO")
        {
            EXPECT_EQ(L"record " + columns[7], columns[9]);
        }
        messages[columns[3] + L" " + columns[4] + L" " + columns[1]].insert(columns[9]);
    }

    std::multiset<std::wstring> expectedInfo;
    for (int i = 0; i < WRITER_INFO_RECORDS; ++i)
        expectedInfo.insert(CStdStr::Format(L"record %d", i));
    const std::multiset<std::wstring> expectedErrors = {
        L"plain error", L"0x8007000e", L"Com Exception:\r\nDetails: 0x8007000e - " + ComErrorMessage(E_OUTOFMEMORY),
        L"std::exception:\r\nDetails: out of luck"};
    for (const std::wstring& id : ids)
    {
        EXPECT_EQ(expectedInfo, messages[id + L" INFO"]) << id;
        EXPECT_EQ(expectedErrors, messages[id + L" ERROR"]) << id;
    }
}

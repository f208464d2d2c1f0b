#include "framework/LogFormat.h"

namespace Corvane {
namespace Logging {

namespace {

const wchar_t COLUMN_SEPARATOR = L'\x00A0';
const size_t COLUMN_COUNT = 10;
// Minimum widths in column order: time, severity, process, pid, tid, module, filename,
// line, function, message.
const size_t COLUMN_WIDTHS[COLUMN_COUNT] = {23, 8, 13, 5, 5, 60, 30, 5, 60, 1};

// Builds one line from the ten column texts; a text longer than its width is kept whole.
CStdStr FormatColumns(const std::wstring (&columns)[COLUMN_COUNT])
{
    CStdStr strLine;
    for (size_t i = 0; i < COLUMN_COUNT; ++i)
    {
        strLine += columns[i];
        if (columns[i].size() < COLUMN_WIDTHS[i])
            strLine.append(COLUMN_WIDTHS[i] - columns[i].size(), L' ');
        strLine += COLUMN_SEPARATOR;
    }
    strLine += L"\r\n";
    return strLine;
}

}  // namespace

const wchar_t* SeverityName(int nSeverity)
{
    switch (nSeverity)
    {
    case LOG_SEVERITY_TRACE: return L"TRACE";
    case LOG_SEVERITY_DEBUG: return L"DEBUG";
    case LOG_SEVERITY_INFO: return L"INFO";
    case LOG_SEVERITY_ERROR: return L"ERROR";
    default: return L"UNKNOWN";
    }
}

CStdStr FormatLogLine(const LogRecord& record)
{
    const SYSTEMTIME& t = record.m_time;
    const std::wstring columns[COLUMN_COUNT] = {
        CStdStr::Format(L"%4.4d-%2.2d-%2.2dT%2.2d:%2.2d:%2.2d.%3.3d", t.wYear, t.wMonth, t.wDay, t.wHour,
                        t.wMinute, t.wSecond, t.wMilliseconds),
        SeverityName(record.m_nSeverity),
        record.m_strProcess,
        std::to_wstring(record.m_nPid),
        std::to_wstring(record.m_dwTid),
        record.m_strModule,
        record.m_strFilename,
        std::to_wstring(record.m_nLine),
        record.m_strFunction,
        record.m_strMessage,
    };
    return FormatColumns(columns);
}

CStdStr FormatLogHeader()
{
    const std::wstring names[COLUMN_COUNT] = {L"time",   L"severity", L"process", L"pid",      L"tid",
                                              L"module", L"filename", L"line",    L"function", L"message"};
    const std::wstring underlines[COLUMN_COUNT] = {L"====",   L"========", L"=======", L"===",      L"===",
                                                   L"======", L"========", L"====",    L"========", L"======="};
    return FormatColumns(names) + FormatColumns(underlines);
}

}  // namespace Logging
}  // namespace Corvane

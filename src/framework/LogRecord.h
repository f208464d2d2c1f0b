#pragma once
// LogRecord: one diagnostic record, built per log call and discarded after writing.
#include <windows.h>

#include <string_view>

#include "framework/StdStr.h"

namespace Corvane {
namespace Logging {

// Record severities; any other value prints as "UNKNOWN".
constexpr int LOG_SEVERITY_TRACE = 0;
constexpr int LOG_SEVERITY_DEBUG = 1;
constexpr int LOG_SEVERITY_INFO = 2;
constexpr int LOG_SEVERITY_ERROR = 4;

// Where a log call stands: the source name its record carries, and the line.
struct LogSite
{
    std::wstring_view source;
    int line;
};

// The log source of a source file: its name without folder and without everything from the
// first dot, so that the files of one class split by area ("PDDocProviderHelper.Locking.cpp")
// all log under the class's source name.
constexpr std::wstring_view LogSourceOf(std::wstring_view path)
{
    const size_t slash = path.find_last_of(L"/\\");
    const std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find(L'.'));
}

struct LogRecord
{
    int m_nSeverity = LOG_SEVERITY_INFO;
    CStdStr m_strFilename;   // source file name handed in by the caller
    int m_nLine = 0;
    CStdStr m_strFunction;   // "Class::Method" of the caller
    CStdStr m_strMessage;
    SYSTEMTIME m_time = {};  // local time at which the record was made
    int m_nPid = 0;
    CStdStr m_strProcess;    // executable file name, without folder
    DWORD m_dwTid = 0;
    CStdStr m_strModule;     // this component's module file name, without folder
};

}  // namespace Logging
}  // namespace Corvane

#pragma once
// LogRecord: one diagnostic record, built per log call and discarded after writing.
#include <windows.h>

#include "framework/StdStr.h"

namespace Corvane {
namespace Logging {

// Record severities; any other value prints as "UNKNOWN".
constexpr int LOG_SEVERITY_TRACE = 0;
constexpr int LOG_SEVERITY_DEBUG = 1;
constexpr int LOG_SEVERITY_INFO = 2;
constexpr int LOG_SEVERITY_ERROR = 4;

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

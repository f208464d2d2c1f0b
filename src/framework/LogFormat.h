#pragma once
// The log's text layout: fixed-width, left-aligned columns, each followed by U+00A0, one
// record per line ending in "\r\n". The file sink and the debug-output sink share it.
#include "framework/LogRecord.h"
#include "framework/StdStr.h"

namespace Corvane {
namespace Logging {

// "TRACE", "DEBUG", "INFO", "ERROR", or "UNKNOWN" for any other value.
const wchar_t* SeverityName(int nSeverity);

// One record as one table line.
CStdStr FormatLogLine(const LogRecord& record);

// The two header lines (column names, then their underlines) that open a new log file.
CStdStr FormatLogHeader();

}  // namespace Logging
}  // namespace Corvane

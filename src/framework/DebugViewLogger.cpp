#include "framework/DebugViewLogger.h"

#include "framework/LogFormat.h"

namespace Corvane {
namespace Logging {

void DebugViewLogger::Write(const LogRecord& record)
{
    OutputDebugStringW(FormatLogLine(record).c_str());
}

void DebugViewLogger::Configure(const LogSettings&)
{
}

}  // namespace Logging
}  // namespace Corvane

#pragma once
// ILogger: a destination for log records (the log file or the debug output).
#include "framework/LogRecord.h"
#include "framework/LogSettings.h"

namespace Corvane {
namespace Logging {

class ILogger
{
public:
    virtual ~ILogger() = default;
    virtual void Write(const LogRecord& record) = 0;
    // Called once, right after creation, with the logger's settings.
    virtual void Configure(const LogSettings& settings) = 0;
};

}  // namespace Logging
}  // namespace Corvane

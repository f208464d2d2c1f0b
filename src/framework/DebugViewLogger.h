#pragma once
// DebugViewLogger: sends each record's line to the system debug output.
#include "framework/ILogger.h"

namespace Corvane {
namespace Logging {

class DebugViewLogger : public ILogger
{
public:
    void Write(const LogRecord& record) override;
    void Configure(const LogSettings& settings) override;
};

}  // namespace Logging
}  // namespace Corvane

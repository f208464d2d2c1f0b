#pragma once
// FileLogger: appends each record to the log file as UTF-16LE text, opening and closing the
// file per record so that several processes can share it.
#include "framework/ILogger.h"

namespace Corvane {
namespace Logging {

class FileLogger : public ILogger
{
public:
    void Write(const LogRecord& record) override;
    // Takes the Path setting, trimmed and lower-cased, with "%appdata%" resolved.
    void Configure(const LogSettings& settings) override;

    const CStdStr& GetPath() const { return m_strPath; }

private:
    CStdStr m_strPath;  // empty until configured: nothing is written
};

}  // namespace Logging
}  // namespace Corvane

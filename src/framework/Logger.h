#pragma once
// Logger: the process-wide logger. Holds the settings, read once, and the two sinks, created
// on first use; filters records by severity and sends each one to the enabled sinks.
// Not locked: the component logs from its apartment thread; other threads may log, but the
// first use must not race.
#include <memory>

#include "framework/ILogger.h"
#include "framework/LogRecord.h"
#include "framework/LogSettings.h"

namespace Corvane {
namespace Logging {

class Logger
{
public:
    explicit Logger(const LogSettings& settings);
    virtual ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    virtual std::unique_ptr<ILogger> CreateFileLogger();
    virtual ILogger* GetFileLogger();
    virtual std::unique_ptr<ILogger> CreateDebugViewLogger();
    virtual ILogger* GetDebugViewLogger();

    // The instance the entry points use: created, with the registry's settings, on first use.
    static Logger& Instance();

    // True when a record of this severity would reach at least one sink.
    bool IsEnabledFor(int nSeverity) const;

    // Builds a record (time, IDs, names) and writes it to the enabled sinks. Does not filter:
    // callers ask IsEnabledFor first, before they build the message. Never throws.
    void Write(int nSeverity, const LogSite& site, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept;

    const LogSettings& GetSettings() const { return m_settings; }
    // The executable's file name, read when the first record is written: finding its long form
    // walks the path, which a process that logs nothing need not pay for.
    static const CStdStr& GetProcessName();

private:
    LogSettings m_settings;
    std::unique_ptr<ILogger> m_pFileLogger;
    std::unique_ptr<ILogger> m_pDebugViewLogger;
};

// The file name, without folder, of the module this code is linked into; computed once.
const CStdStr& GetLogModuleName();

}  // namespace Logging
}  // namespace Corvane

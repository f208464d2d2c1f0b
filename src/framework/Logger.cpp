#include "framework/Logger.h"

#include <process.h>

#include "framework/DebugViewLogger.h"
#include "framework/FileLogger.h"

namespace Corvane {
namespace Logging {

namespace {

// The executable's file name, long form, without its folder.
CStdStr ReadProcessName()
{
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    wchar_t szLongPath[MAX_PATH] = {};
    DWORD cch = GetLongPathNameW(szPath, szLongPath, MAX_PATH);
    CStdStr strPath = (cch > 0 && cch < MAX_PATH) ? szLongPath : szPath;
    return strPath.substr(strPath.rfind(L'\\') + 1);
}

// The file name of the module that holds this function.
CStdStr ReadModuleName()
{
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ReadModuleName), &hModule);
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(hModule, szPath, MAX_PATH);
    const CStdStr strPath = szPath;
    return strPath.substr(strPath.find_last_of(L"\\/") + 1);
}

}  // namespace

const CStdStr& GetLogModuleName()
{
    static const CStdStr s_strModuleName = ReadModuleName();
    return s_strModuleName;
}

Logger::Logger(const LogSettings& settings) : m_settings(settings) {}

Logger::~Logger() = default;

std::unique_ptr<ILogger> Logger::CreateFileLogger()
{
    std::unique_ptr<ILogger> pLogger(new FileLogger());
    pLogger->Configure(m_settings);
    return pLogger;
}

ILogger* Logger::GetFileLogger()
{
    if (!m_pFileLogger)
        m_pFileLogger = CreateFileLogger();
    return m_pFileLogger.get();
}

std::unique_ptr<ILogger> Logger::CreateDebugViewLogger()
{
    std::unique_ptr<ILogger> pLogger(new DebugViewLogger());
    pLogger->Configure(m_settings);
    return pLogger;
}

ILogger* Logger::GetDebugViewLogger()
{
    if (!m_pDebugViewLogger)
        m_pDebugViewLogger = CreateDebugViewLogger();
    return m_pDebugViewLogger.get();
}

const CStdStr& Logger::GetProcessName()
{
    static const CStdStr s_strProcessName = ReadProcessName();
    return s_strProcessName;
}

Logger& Logger::Instance()
{
    // Lives until the module unloads; changes to the registry apply to the next process.
    static Logger s_logger(ReadLogSettings());
    return s_logger;
}

bool Logger::IsEnabledFor(int nSeverity) const
{
    return m_settings.m_bEnabled && (m_settings.m_bFileLogEnabled || m_settings.m_bDebugLogEnabled) &&
           nSeverity >= 0 && m_settings.m_dwSeverity <= static_cast<DWORD>(nSeverity);
}

void Logger::Write(int nSeverity, const LogSite& site, const wchar_t* pszFunction,
                   const CStdStr& strMessage) noexcept
{
    try
    {
        LogRecord record;
        record.m_nSeverity = nSeverity;
        record.m_strFilename.assign(site.source.data(), site.source.size());
        record.m_nLine = site.line;
        record.m_strFunction = pszFunction;
        record.m_strMessage = strMessage;
        GetLocalTime(&record.m_time);
        record.m_nPid = _getpid();
        record.m_strProcess = GetProcessName();
        record.m_dwTid = GetCurrentThreadId();
        record.m_strModule = GetLogModuleName();

        if (m_settings.m_bFileLogEnabled)
            GetFileLogger()->Write(record);
        if (m_settings.m_bDebugLogEnabled)
            GetDebugViewLogger()->Write(record);
    }
    catch (...)
    {
        OutputDebugStringW(nSeverity == LOG_SEVERITY_INFO ? L"Error: failed to create INFO log entry."
                                                      : L"Error: failed to create ERROR log entry.");
    }
}

}  // namespace Logging
}  // namespace Corvane

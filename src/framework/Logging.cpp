// The logging entry points and the HRESULT message helpers.
#include "framework/Logging.h"

#include <memory>

#include "framework/Logger.h"

namespace Corvane {
namespace Logging {

namespace {

// Filters first, then builds the message and writes it; any failure on the way becomes the
// given text on the debug output, so that no log call ever throws.
template <typename MakeMessage>
void LogThrough(int nSeverity, const LogSite& site, const wchar_t* pszFunction, const wchar_t* pszFailureText,
                MakeMessage makeMessage) noexcept
{
    try
    {
        Logger& logger = Logger::Instance();
        if (logger.IsEnabledFor(nSeverity))
            logger.Write(nSeverity, site, pszFunction, makeMessage());
    }
    catch (...)
    {
        OutputDebugStringW(pszFailureText);
    }
}

}  // namespace

void LogError(const LogSite& site, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept
{
    LogThrough(LOG_SEVERITY_ERROR, site, pszFunction, L"Error: failed to create ERROR log message.",
               [&] { return strMessage; });
}

void LogInfo(const LogSite& site, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept
{
    LogThrough(LOG_SEVERITY_INFO, site, pszFunction, L"Error: failed to create INFO log message.",
               [&] { return strMessage; });
}

void LogError(const LogSite& site, const wchar_t* pszFunction, HRESULT hr) noexcept
{
    LogThrough(LOG_SEVERITY_ERROR, site, pszFunction,
               L"Error: failed to create ERROR log message for HRESULT.",
               [&] { return CStdStr::Format(L"0x%x", static_cast<unsigned>(hr)); });
}

void LogError(const LogSite& site, const wchar_t* pszFunction, const _com_error& e) noexcept
{
    LogThrough(LOG_SEVERITY_ERROR, site, pszFunction,
               L"Error: failed to create ERROR log message for _com_error.", [&] {
                   return CStdStr::Format(L"Com Exception:\r\nDetails: 0x%08x - %ls", static_cast<unsigned>(e.Error()),
                                          ComErrorMessage(e.Error()).c_str());
               });
}

void LogError(const LogSite& site, const wchar_t* pszFunction, const std::exception& e) noexcept
{
    LogThrough(LOG_SEVERITY_ERROR, site, pszFunction,
               L"Error: failed to create ERROR log message for std::exception.",
               [&] { return CStdStr::Format(L"std::exception:\r\nDetails: %ls", WideFromAnsi(e.what()).c_str()); });
}

}  // namespace Logging
}  // namespace Corvane

namespace {

// Frees a buffer that FormatMessageW allocated.
struct CLocalFreeDeleter
{
    void operator()(wchar_t* p) const { LocalFree(p); }
};

}  // namespace

CStdStr ComErrorMessage(HRESULT hr)
{
    wchar_t* pszBuffer = nullptr;
    DWORD cch = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<wchar_t*>(&pszBuffer), 0, nullptr);
    std::unique_ptr<wchar_t, CLocalFreeDeleter> buffer(pszBuffer);
    if (cch > 0 && pszBuffer)
    {
        CStdStr strMessage(pszBuffer, cch);
        if (!strMessage.empty() && strMessage.back() == L'\n')
            strMessage.pop_back();
        if (!strMessage.empty() && strMessage.back() == L'\r')
            strMessage.pop_back();
        return strMessage;
    }
    const unsigned code = static_cast<unsigned>(hr);
    if (code >= 0x80040200u && code <= 0x8004FFFFu)
        return CStdStr::Format(L"IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    return CStdStr::Format(L"Unknown error 0x%0lX", static_cast<unsigned long>(code));
}

CStdStr FormatHResult(HRESULT hr)
{
    return CStdStr::Format(L"hr = 0x%x, %ls", static_cast<unsigned>(hr), ComErrorMessage(hr).c_str());
}

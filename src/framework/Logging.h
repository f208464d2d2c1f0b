#pragma once
// The component's logging entry points (namespace Corvane::Logging). No call ever throws:
// a failure of the logger itself goes to the debug output and the call returns.
#include <windows.h>
#include <comdef.h>
#include <exception>

#include "framework/LogRecord.h"
#include "framework/StdStr.h"

namespace Corvane {
namespace Logging {

void LogError(const LogSite& site, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept;
void LogInfo(const LogSite& site, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept;
void LogError(const LogSite& site, const wchar_t* pszFunction, HRESULT hr) noexcept;
void LogError(const LogSite& site, const wchar_t* pszFunction, const _com_error& e) noexcept;
void LogError(const LogSite& site, const wchar_t* pszFunction, const std::exception& e) noexcept;

}  // namespace Logging
}  // namespace Corvane

#define CV_LOG_WIDEN_(text) L##text
#define CV_LOG_WIDEN(text) CV_LOG_WIDEN_(text)

// The site of the line it stands on, named after the file it stands in.
#define LOG_SITE \
    (::Corvane::Logging::LogSite{::Corvane::Logging::LogSourceOf(CV_LOG_WIDEN(__FILE__)), __LINE__})

// The component's one logging form: the qualified function name ("CClass::Method") and the
// payload (a message, an HRESULT, a _com_error or a std::exception); file and line fill in.
#define LOG_ERROR(function, payload) ::Corvane::Logging::LogError(LOG_SITE, function, payload)
#define LOG_INFO(function, payload) ::Corvane::Logging::LogInfo(LOG_SITE, function, payload)

// The message text of an HRESULT: the system's message without its trailing line break;
// "IDispatch error #n" for 0x80040200..0x8004FFFF, else "Unknown error 0x%0lX".
CStdStr ComErrorMessage(HRESULT hr);

// "hr = 0x%x, %s" with the code and its message text: the component's usual error line.
CStdStr FormatHResult(HRESULT hr);

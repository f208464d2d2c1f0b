#pragma once
// The component's logging entry points (namespace Corvane::Logging). No call ever throws:
// a failure of the logger itself goes to the debug output and the call returns.
#include <windows.h>
#include <comdef.h>
#include <exception>

#include "framework/StdStr.h"

namespace Corvane {
namespace Logging {

void LogError(const wchar_t* pszFile, int nLine, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept;
void LogInfo(const wchar_t* pszFile, int nLine, const wchar_t* pszFunction, const CStdStr& strMessage) noexcept;
void LogError(const wchar_t* pszFile, int nLine, const wchar_t* pszFunction, HRESULT hr) noexcept;
void LogError(const wchar_t* pszFile, int nLine, const wchar_t* pszFunction, const _com_error& e) noexcept;
void LogError(const wchar_t* pszFile, int nLine, const wchar_t* pszFunction, const std::exception& e) noexcept;

}  // namespace Logging
}  // namespace Corvane

// The message text of an HRESULT: the system's message without its trailing line break;
// "IDispatch error #n" for 0x80040200..0x8004FFFF, else "Unknown error 0x%0lX".
CStdStr ComErrorMessage(HRESULT hr);

// "hr = 0x%x, %s" with the code and its message text: the component's usual error line.
CStdStr FormatHResult(HRESULT hr);

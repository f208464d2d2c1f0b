#pragma once
// LogSettings: the logger's switches and file path, read from the registry.
#include <windows.h>

#include "framework/StdStr.h"

namespace Corvane {
namespace Logging {

// Registry key (under HKCU, then HKLM) that holds the logging values.
extern const wchar_t LOG_SETTINGS_KEY[];

struct LogSettings
{
    bool m_bEnabled = false;          // "Logging.Enabled": master switch
    bool m_bFileLogEnabled = false;   // "Logging.FileLogEnabled"
    bool m_bDebugLogEnabled = true;   // "Logging.DebugLogEnabled"
    DWORD m_dwSeverity = 1;           // "Logging.Severity": lowest severity written
    CStdStr m_strPath = L"%APPDATA%\\Corvane\\Corvane.clf2";  // "Logging.Path"
};

// Reads each value from HKCU, else HKLM; a value of the wrong type, size or an empty or
// over-long string does not count, and the default applies.
LogSettings ReadLogSettings();

}  // namespace Logging
}  // namespace Corvane

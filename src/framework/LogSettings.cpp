#include "framework/LogSettings.h"

#include <cwchar>

#include "framework/Handles.h"

namespace Corvane {
namespace Logging {

const wchar_t LOG_SETTINGS_KEY[] = L"SOFTWARE\\Corvane\\Framework\\Settings";

namespace {

// The settings key of both hives, opened once for one read of all values; a hive without
// the key stays closed and is skipped.
class CSettingsKeys
{
public:
    CSettingsKeys()
    {
        RegOpenKeyExW(HKEY_CURRENT_USER, LOG_SETTINGS_KEY, 0, KEY_READ, m_keys[0].Receive());
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, LOG_SETTINGS_KEY, 0, KEY_READ, m_keys[1].Receive());
    }

    void ReadDword(const wchar_t* pszName, DWORD& dwValue) const
    {
        for (const CRegKey& key : m_keys)
        {
            DWORD dwType = 0, dwData = 0, cbData = sizeof(dwData);
            if (key && RegQueryValueExW(key.Get(), pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwData),
                                        &cbData) == ERROR_SUCCESS &&
                dwType == REG_DWORD && cbData == sizeof(dwData))
            {
                dwValue = dwData;
                return;
            }
        }
    }

    void ReadBool(const wchar_t* pszName, bool& bValue) const
    {
        DWORD dwValue = bValue ? 1 : 0;
        ReadDword(pszName, dwValue);
        bValue = dwValue != 0;
    }

    void ReadString(const wchar_t* pszName, CStdStr& strValue) const
    {
        for (const CRegKey& key : m_keys)
        {
            wchar_t szData[MAX_PATH] = {};
            DWORD dwType = 0, cbData = sizeof(szData);
            if (key && RegQueryValueExW(key.Get(), pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(szData),
                                        &cbData) == ERROR_SUCCESS &&
                (dwType == REG_SZ || dwType == REG_EXPAND_SZ))
            {
                // The stored data need not carry its terminator: never read past what came back.
                size_t cch = wcsnlen(szData, cbData / sizeof(wchar_t));
                if (cch > 0)
                {
                    strValue.assign(szData, cch);
                    return;
                }
            }
        }
    }

private:
    CRegKey m_keys[2];  // HKCU first: the first hive that holds a valid value wins
};

}  // namespace

LogSettings ReadLogSettings()
{
    LogSettings settings;
    CSettingsKeys keys;
    keys.ReadBool(L"Logging.Enabled", settings.m_bEnabled);
    keys.ReadBool(L"Logging.FileLogEnabled", settings.m_bFileLogEnabled);
    keys.ReadBool(L"Logging.DebugLogEnabled", settings.m_bDebugLogEnabled);
    keys.ReadDword(L"Logging.Severity", settings.m_dwSeverity);
    keys.ReadString(L"Logging.Path", settings.m_strPath);
    return settings;
}

}  // namespace Logging
}  // namespace Corvane

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

    // The first hive that holds the value decides: a value of the wrong type or size there
    // leaves the default, even when the other hive holds a good one.
    void ReadDword(const wchar_t* pszName, DWORD& dwValue) const
    {
        for (const CRegKey& key : m_keys)
        {
            DWORD dwType = 0, dwData = 0, cbData = sizeof(dwData);
            const LONG rc = QueryValue(key, pszName, &dwType, &dwData, &cbData);
            if (rc == ERROR_FILE_NOT_FOUND)
                continue;
            if (rc == ERROR_SUCCESS && dwType == REG_DWORD && cbData == sizeof(dwData))
                dwValue = dwData;
            return;
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
            const LONG rc = QueryValue(key, pszName, &dwType, szData, &cbData);
            if (rc == ERROR_FILE_NOT_FOUND)
                continue;
            if (rc == ERROR_SUCCESS && (dwType == REG_SZ || dwType == REG_EXPAND_SZ))
            {
                // The stored data need not carry its terminator: never read past what came back.
                const size_t cch = wcsnlen(szData, cbData / sizeof(wchar_t));
                if (cch > 0)
                    strValue.assign(szData, cch);
            }
            return;
        }
    }

private:
    // ERROR_FILE_NOT_FOUND also for a hive without the settings key.
    static LONG QueryValue(const CRegKey& key, const wchar_t* pszName, DWORD* pdwType, void* pData, DWORD* pcbData)
    {
        if (!key)
            return ERROR_FILE_NOT_FOUND;
        return RegQueryValueExW(key.Get(), pszName, nullptr, pdwType, static_cast<BYTE*>(pData), pcbData);
    }

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

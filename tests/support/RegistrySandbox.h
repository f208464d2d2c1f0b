#pragma once
// Registry equipment for the unit tests: whole key trees moved aside for one test (so that it
// starts without them, whatever the prefix holds) and put back afterwards, and value writers.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace registry_sandbox {

using KeyList = std::vector<std::pair<HKEY, std::wstring>>;

// Copies the key trees to a backup key of this process and deletes them; on destruction deletes
// what the test left there and copies the originals back.
class CRegistrySandbox
{
public:
    explicit CRegistrySandbox(KeyList keys) : m_keys(std::move(keys))
    {
        static int s_nInstance = 0;
        m_strBackup = L"Software\\QuendrelTests\\Sandbox-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++s_nInstance);
        for (size_t i = 0; i < m_keys.size(); ++i)
            m_existed.push_back(Copy(m_keys[i].first, m_keys[i].second, HKEY_CURRENT_USER, Backup(i)) &&
                                RegDeleteTreeW(m_keys[i].first, m_keys[i].second.c_str()) == ERROR_SUCCESS);
    }
    ~CRegistrySandbox()
    {
        for (size_t i = 0; i < m_keys.size(); ++i)
        {
            RegDeleteTreeW(m_keys[i].first, m_keys[i].second.c_str());
            if (m_existed[i])
                Copy(HKEY_CURRENT_USER, Backup(i), m_keys[i].first, m_keys[i].second);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strBackup.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuendrelTests");  // only once it is empty
    }
    CRegistrySandbox(const CRegistrySandbox&) = delete;
    CRegistrySandbox& operator=(const CRegistrySandbox&) = delete;

private:
    std::wstring Backup(size_t i) const { return m_strBackup + L"\\" + std::to_wstring(i); }

    static bool Copy(HKEY hFromRoot, const std::wstring& strFrom, HKEY hToRoot, const std::wstring& strTo)
    {
        HKEY hFrom = nullptr, hTo = nullptr;
        const bool bCopied = RegOpenKeyExW(hFromRoot, strFrom.c_str(), 0, KEY_READ, &hFrom) == ERROR_SUCCESS &&
                             RegCreateKeyExW(hToRoot, strTo.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hTo,
                                             nullptr) == ERROR_SUCCESS &&
                             RegCopyTreeW(hFrom, nullptr, hTo) == ERROR_SUCCESS;
        RegCloseKey(hFrom);  // a null handle is refused harmlessly
        RegCloseKey(hTo);
        return bCopied;
    }

    KeyList m_keys;
    std::vector<bool> m_existed;
    std::wstring m_strBackup;
};

// Sets a value (the empty name is the key's default value), creating the key as needed.
inline bool SetValue(HKEY hRoot, const std::wstring& strKey, const std::wstring& strName, DWORD dwType,
                     const void* pData, DWORD cbData)
{
    return RegSetKeyValueW(hRoot, strKey.c_str(), strName.empty() ? nullptr : strName.c_str(), dwType, pData,
                           cbData) == ERROR_SUCCESS;
}

inline bool SetString(HKEY hRoot, const std::wstring& strKey, const std::wstring& strName,
                      const std::wstring& strValue, DWORD dwType = REG_SZ)
{
    return SetValue(hRoot, strKey, strName, dwType, strValue.c_str(),
                    static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

inline bool SetDword(HKEY hRoot, const std::wstring& strKey, const std::wstring& strName, DWORD dwValue)
{
    return SetValue(hRoot, strKey, strName, REG_DWORD, &dwValue, sizeof(dwValue));
}

inline bool CreateKey(HKEY hRoot, const std::wstring& strKey)
{
    HKEY hKey = nullptr;
    const bool bCreated = RegCreateKeyExW(hRoot, strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                                          nullptr) == ERROR_SUCCESS;
    RegCloseKey(hKey);
    return bCreated;
}

// The key trees of the DMS client's settings and offline records.
inline KeyList ClientKeys()
{
    return {{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird"},
            {HKEY_CURRENT_USER, L"SOFTWARE\\Hummingbird"},
            {HKEY_LOCAL_MACHINE, L"SOFTWARE\\PC DOCS Inc."}};
}

}  // namespace registry_sandbox

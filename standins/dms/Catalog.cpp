#include "Catalog.h"
#include "framework/Handles.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <mutex>

#include "ClientSetup.h"

namespace dms_standin {

const wchar_t CCatalog::kRootKey[] = L"SOFTWARE\\Quendrel\\DmsStandIn";
const wchar_t CCatalog::kLatencyValue[] = L"CallLatencyMicroseconds";
const wchar_t* const CCatalog::kColumns[7] = {L"DOCNAME",  L"APP_ID",    L"TYPE_ID",  L"AUTHOR_ID",
                                              L"TYPIST_ID", L"CLIENT_ID", L"MATTER_ID"};

namespace {

const wchar_t kMutexName[] = L"QuendrelDmsStandInCatalog";
const LONG kFirstDocNumber = 1001;
const wchar_t kDefaultUser[] = L"DEMO";

const struct
{
    const wchar_t* pszAppID;
    const wchar_t* pszExtension;
} kDefaultApplications[] = {
    {L"MS WORD", L"doc"}, {L"SHEET", L"xls"}, {L"PDFDOC", L"pdf"}, {L"TEXT", L"txt"}, {L"VT Vadedovorido", L"rdf"},
};

// ---- registry access below the catalog root (HKLM) ----

std::wstring Key(const std::wstring& strSub)
{
    return strSub.empty() ? std::wstring(CCatalog::kRootKey) : std::wstring(CCatalog::kRootKey) + L"\\" + strSub;
}
std::wstring LibraryKey(const std::wstring& strLibrary)
{
    return Key(L"Libraries\\" + strLibrary);
}
std::wstring ProfileKey(const std::wstring& strLibrary, LONG lNumber)
{
    return LibraryKey(strLibrary) + L"\\" + std::to_wstring(lNumber);
}
std::wstring VersionKey(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    return ProfileKey(strLibrary, lNumber) + L"\\Versions\\" + strLabel;
}

// ---- registry access through a process-local read cache ----
//
// Catalog values are read through a copy kept per process, valid while the catalog's change
// token stays the same. Every write changes the token after writing, so any process sees the
// write at its next refresh; each public catalog read refreshes once on entry (updates do so
// under the catalog lock, after taking it) and then serves repeated reads from the copy.

const wchar_t kChangeToken[] = L"ChangeToken";

// A profile's versions as the catalog holds them, read once per catalog change: in creation
// order, with the position of each label (in upper case) for lookups.
struct VersionList
{
    std::vector<VersionRecord> records;
    std::map<std::wstring, size_t> positions;
};

struct ReadCache
{
    std::mutex mutex;
    DWORD dwToken = 0;
    bool bValid = false;
    std::map<std::wstring, std::pair<bool, std::wstring>> strings;  // key|name -> (exists, value)
    std::map<std::wstring, std::pair<bool, DWORD>> dwords;
    std::map<std::wstring, std::vector<std::wstring>> subkeys;
    std::map<std::wstring, bool> keys;
    std::map<std::wstring, std::shared_ptr<const VersionList>> versionLists;  // by profile key

    void Reset(DWORD dwNewToken)
    {
        versionLists.clear();
        strings.clear();
        dwords.clear();
        subkeys.clear();
        keys.clear();
        dwToken = dwNewToken;
        bValid = true;
    }
};

ReadCache& Cache()
{
    static ReadCache s_cache;
    return s_cache;
}

// Reads the token through a handle to the catalog's root kept open for the process: the token
// is read at every catalog read, and opening the key each time would cost as much again. A
// handle whose key was deleted (a reset) is opened anew.
DWORD ReadChangeToken()
{
    static std::mutex s_mutex;
    static HKEY s_hRoot = nullptr;
    std::lock_guard<std::mutex> guard(s_mutex);
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt)
    {
        if (!s_hRoot && RegOpenKeyExW(HKEY_LOCAL_MACHINE, CCatalog::kRootKey, 0, KEY_QUERY_VALUE, &s_hRoot) !=
                            ERROR_SUCCESS)
            return 0;
        DWORD dwValue = 0;
        DWORD cb = sizeof(dwValue);
        DWORD dwType = 0;
        const LONG rc =
            RegQueryValueExW(s_hRoot, kChangeToken, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cb);
        if (rc == ERROR_SUCCESS && dwType == REG_DWORD)
            return dwValue;
        RegCloseKey(s_hRoot);
        s_hRoot = nullptr;
    }
    return 0;
}

// Drops the copy when another process (or this one) changed the catalog since it was made.
void RefreshCache()
{
    const DWORD dwToken = ReadChangeToken();
    ReadCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.mutex);
    if (!cache.bValid || cache.dwToken != dwToken)
        cache.Reset(dwToken);
}

bool StartsWith(const std::wstring& strText, const std::wstring& strPrefix)
{
    return strText.size() >= strPrefix.size() && _wcsnicmp(strText.c_str(), strPrefix.c_str(), strPrefix.size()) == 0;
}

// Drops the entries of keys below strKey and, with bAncestors, of the keys above it as well.
template <class Map>
void EraseAround(Map& map, const std::wstring& strKey, bool bAncestors)
{
    for (auto it = map.begin(); it != map.end();)
        it = StartsWith(it->first, strKey) || (bAncestors && StartsWith(strKey, it->first)) ? map.erase(it)
                                                                                            : std::next(it);
}

// Called after every write below strKey (the whole catalog when empty): gives the catalog a new
// token, so that every other process drops its copy. This process keeps its own, less what the
// write touched, unless another process wrote since the copy was made: building a document's
// version list again after each version added would make filling the catalog quadratic.
void CatalogChanged(const std::wstring& strKey = std::wstring(), const wchar_t* pszValue = nullptr)
{
    static LONG s_lCounter = 0;
    const DWORD dwOld = ReadChangeToken();
    DWORD dwToken = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ static_cast<DWORD>(InterlockedIncrement(&s_lCounter));
    if (dwToken == dwOld || dwToken == 0)
        dwToken = dwOld + 1;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quendrel\\DmsStandIn", kChangeToken, REG_DWORD, &dwToken,
                    sizeof(dwToken));
    ReadCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.mutex);
    if (strKey.empty() || !cache.bValid || cache.dwToken != dwOld)
    {
        cache.Reset(dwToken);
        return;
    }
    cache.dwToken = dwToken;
    if (!pszValue)
    {
        // A key made or deleted: everything known below it and of the keys above it.
        EraseAround(cache.strings, strKey, false);
        EraseAround(cache.dwords, strKey, false);
        EraseAround(cache.keys, strKey, true);
        EraseAround(cache.subkeys, strKey, true);
        EraseAround(cache.versionLists, strKey, true);
        return;
    }
    // A value written or deleted: that value, and the version lists of the profile it lies in.
    // Writing makes the keys on its path, which the lists of their parents then name.
    cache.strings.erase(strKey + L"|" + pszValue);
    cache.dwords.erase(strKey + L"|" + pszValue);
    for (auto it = cache.versionLists.begin(); it != cache.versionLists.end();)
        it = StartsWith(strKey, it->first) ? cache.versionLists.erase(it) : std::next(it);
    for (size_t pos = strKey.find(L'\\'); pos != std::wstring::npos; pos = strKey.find(L'\\', pos + 1))
    {
        const std::wstring strParent = strKey.substr(0, pos);
        const size_t end = strKey.find(L'\\', pos + 1);
        const std::wstring strChild = strKey.substr(pos + 1, end == std::wstring::npos ? end : end - pos - 1);
        cache.keys[strKey.substr(0, end)] = true;
        auto list = cache.subkeys.find(strParent);
        if (list == cache.subkeys.end())
            continue;
        // In the registry's own order: by name, letter case ignored.
        std::vector<std::wstring>& names = list->second;
        auto at = std::lower_bound(names.begin(), names.end(), strChild, [](const std::wstring& a, const std::wstring& b) {
            return _wcsicmp(a.c_str(), b.c_str()) < 0;
        });
        if (at == names.end() || !EqualsNoCase(*at, strChild))
            names.insert(at, strChild);
    }
}

std::pair<bool, std::wstring> RawReadString(const std::wstring& strKey, const wchar_t* pszName)
{
    DWORD cb = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), pszName, RRF_RT_REG_SZ, nullptr, nullptr, &cb) !=
        ERROR_SUCCESS)
        return {false, std::wstring()};
    std::wstring strValue(cb / sizeof(wchar_t) + 1, L'\0');
    cb = static_cast<DWORD>(strValue.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), pszName, RRF_RT_REG_SZ, nullptr, &strValue[0], &cb) !=
        ERROR_SUCCESS)
        return {false, std::wstring()};
    strValue.resize(wcslen(strValue.c_str()));
    return {true, strValue};
}

std::wstring ReadString(const std::wstring& strKey, const wchar_t* pszName, const std::wstring& strDefault = L"")
{
    ReadCache& cache = Cache();
    const std::wstring strId = strKey + L"|" + (pszName ? pszName : L"");
    {
        std::lock_guard<std::mutex> guard(cache.mutex);
        auto it = cache.strings.find(strId);
        if (it != cache.strings.end())
            return it->second.first ? it->second.second : strDefault;
    }
    std::pair<bool, std::wstring> value = RawReadString(strKey, pszName);
    std::lock_guard<std::mutex> guard(cache.mutex);
    cache.strings[strId] = value;
    return value.first ? value.second : strDefault;
}

DWORD ReadDword(const std::wstring& strKey, const wchar_t* pszName, DWORD dwDefault)
{
    ReadCache& cache = Cache();
    const std::wstring strId = strKey + L"|" + (pszName ? pszName : L"");
    {
        std::lock_guard<std::mutex> guard(cache.mutex);
        auto it = cache.dwords.find(strId);
        if (it != cache.dwords.end())
            return it->second.first ? it->second.second : dwDefault;
    }
    DWORD dwValue = 0;
    DWORD cb = sizeof(dwValue);
    const bool bExists = RegGetValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), pszName, RRF_RT_REG_DWORD, nullptr, &dwValue,
                                      &cb) == ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(cache.mutex);
    cache.dwords[strId] = {bExists, dwValue};
    return bExists ? dwValue : dwDefault;
}

void WriteString(const std::wstring& strKey, const wchar_t* pszName, const std::wstring& strValue)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), pszName, REG_SZ, strValue.c_str(),
                    static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
    CatalogChanged(strKey, pszName ? pszName : L"");
}

void WriteDword(const std::wstring& strKey, const wchar_t* pszName, DWORD dwValue)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), pszName, REG_DWORD, &dwValue, sizeof(dwValue));
    CatalogChanged(strKey, pszName ? pszName : L"");
}

void DeleteKeyTree(const std::wstring& strKey)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, strKey.c_str());
    CatalogChanged(strKey);
}

void DeleteValue(const std::wstring& strKey, const wchar_t* pszName)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), pszName);
    CatalogChanged(strKey, pszName ? pszName : L"");
}

bool KeyExists(const std::wstring& strKey)
{
    ReadCache& cache = Cache();
    {
        std::lock_guard<std::mutex> guard(cache.mutex);
        auto it = cache.keys.find(strKey);
        if (it != cache.keys.end())
            return it->second;
    }
    HKEY hKey = nullptr;
    const bool bExists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS;
    if (bExists)
        RegCloseKey(hKey);
    std::lock_guard<std::mutex> guard(cache.mutex);
    cache.keys[strKey] = bExists;
    return bExists;
}

void CreateKey(const std::wstring& strKey)
{
    HKEY hKey = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(hKey);
    CatalogChanged(strKey);
}

std::vector<std::wstring> SubKeys(const std::wstring& strKey)
{
    ReadCache& cache = Cache();
    {
        std::lock_guard<std::mutex> guard(cache.mutex);
        auto it = cache.subkeys.find(strKey);
        if (it != cache.subkeys.end())
            return it->second;
    }
    std::vector<std::wstring> names;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS)
    {
        wchar_t sz[256];
        for (DWORD i = 0;; ++i)
        {
            DWORD cch = 256;
            if (RegEnumKeyExW(hKey, i, sz, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            names.emplace_back(sz, cch);
        }
        RegCloseKey(hKey);
    }
    std::lock_guard<std::mutex> guard(cache.mutex);
    cache.subkeys[strKey] = names;
    return names;
}

// ---- dates, labels, names ----

std::wstring NowText()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    wchar_t sz[32];
    swprintf(sz, 32, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    return sz;
}

DATE DateFromText(const std::wstring& strText)
{
    SYSTEMTIME st = {};
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (swscanf(strText.c_str(), L"%u-%u-%u %u:%u:%u", &y, &mo, &d, &h, &mi, &s) != 6)
        return 0;
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    DATE dt = 0;
    SystemTimeToVariantTime(&st, &dt);
    return dt;
}

bool IsAttachmentLabel(const std::wstring& strLabel)
{
    return !strLabel.empty() && !iswdigit(strLabel[0]);
}

// A numbered label's leading number and its sub-version suffix ("12B" gives 12 and "B").
LONG LabelNumber(const std::wstring& strLabel, std::wstring* pstrSuffix = nullptr)
{
    size_t i = 0;
    LONG lNumber = 0;
    while (i < strLabel.size() && iswdigit(strLabel[i]))
        lNumber = lNumber * 10 + (strLabel[i++] - L'0');
    if (pstrSuffix)
        *pstrSuffix = strLabel.substr(i);
    return lNumber;
}

// Version order for "current": by number, a sub-version after its version.
bool LabelLess(const std::wstring& a, const std::wstring& b)
{
    std::wstring strSuffixA, strSuffixB;
    LONG lA = LabelNumber(a, &strSuffixA), lB = LabelNumber(b, &strSuffixB);
    if (lA != lB)
        return lA < lB;
    return _wcsicmp(strSuffixA.c_str(), strSuffixB.c_str()) < 0;
}

// A document name made safe for a file name.
std::wstring SafeFileName(std::wstring strName)
{
    for (wchar_t& c : strName)
        if (wcschr(L"\\/:*?\"<>|", c))
            c = L'_';
    return strName;
}

HANDLE CatalogMutex()
{
    static HANDLE s_hMutex = CreateMutexW(nullptr, FALSE, kMutexName);
    return s_hMutex;
}

void WriteDefaults()
{
    WriteString(Key(L""), L"DefaultUser", kDefaultUser);
    CreateKey(Key(L"Users\\") + kDefaultUser);
    WriteDword(Key(L""), L"ConnectionState", 0);
    WriteDword(Key(L""), L"NextDocNumber", kFirstDocNumber);
    CreateKey(Key(L"Libraries"));
    for (const auto& app : kDefaultApplications)
        WriteString(Key(L"Applications\\") + app.pszAppID, L"Extension", app.pszExtension);
}

}  // namespace

// ---- file helpers ----

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

std::wstring FolderOf(const std::wstring& strPath)
{
    size_t slash = strPath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : strPath.substr(0, slash);
}

bool FileExists(const std::wstring& strPath)
{
    DWORD dw = GetFileAttributesW(strPath.c_str());
    return dw != INVALID_FILE_ATTRIBUTES && !(dw & FILE_ATTRIBUTE_DIRECTORY);
}

bool EnsureFolder(const std::wstring& strFolder)
{
    // Parents first; the root of a drive (C:\) or a share (\\server\share) is never created.
    size_t start = 3;
    if (strFolder.compare(0, 2, L"\\\\") == 0)
    {
        const size_t server = strFolder.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : strFolder.find(L'\\', server + 1);
        if (share == std::wstring::npos)
            return true;
        start = share + 1;
    }
    for (size_t pos = strFolder.find(L'\\', start);; pos = strFolder.find(L'\\', pos + 1))
    {
        const std::wstring strPart = strFolder.substr(0, pos);
        if (!CreateDirectoryW(strPart.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (pos == std::wstring::npos)
            return true;
    }
}

void DeleteTree(const std::wstring& strFolder)
{
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW((strFolder + L"\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring strName = fd.cFileName;
            if (strName == L"." || strName == L"..")
                continue;
            const std::wstring strPath = strFolder + L"\\" + strName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(strPath);
            else
            {
                SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(strPath.c_str());
            }
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    RemoveDirectoryW(strFolder.c_str());
}

bool WriteFileBytes(const std::wstring& strPath, const std::string& content)
{
    if (!EnsureFolder(FolderOf(strPath)))
        return false;
    CFileHandle file(
        CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD cbWritten = 0;
    BOOL bOK = WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &cbWritten, nullptr);
    return bOK && cbWritten == content.size();
}

// ---- lock ----

CCatalogLock::CCatalogLock()
{
    // An abandoned mutex (a process died holding it) is owned now as well.
    WaitForSingleObject(CatalogMutex(), INFINITE);
    RefreshCache();
}

CCatalogLock::~CCatalogLock()
{
    ReleaseMutex(CatalogMutex());
}

// ---- catalog ----

HRESULT CCatalog::Reset()
{
    CCatalogLock lock;
    const DWORD dwLatency = ReadDword(Key(L""), kLatencyValue, 0);
    LONG rc = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRootKey);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return HRESULT_FROM_WIN32(rc);
    CatalogChanged();
    WriteDefaults();
    if (dwLatency != 0)
        WriteDword(Key(L""), kLatencyValue, dwLatency);
    DeleteTree(CClientSetup::ServerRoot());
    DeleteTree(CClientSetup::DefaultShadowFolder());
    DeleteTree(std::wstring(CClientSetup::kUncCacheRoot) + L"\\DMNFSL1");
    EnsureFolder(CClientSetup::ServerRoot());
    EnsureFolder(CClientSetup::DefaultShadowFolder());
    return S_OK;
}

std::vector<std::wstring> CCatalog::Libraries()
{
    RefreshCache();
    return SubKeys(Key(L"Libraries"));
}

bool CCatalog::FindLibrary(const std::wstring& strName, std::wstring* pstrExact)
{
    RefreshCache();
    for (const std::wstring& strLibrary : Libraries())
        if (EqualsNoCase(strLibrary, strName))
        {
            if (pstrExact)
                *pstrExact = strLibrary;
            return true;
        }
    return false;
}

HRESULT CCatalog::AddLibrary(const std::wstring& strName)
{
    if (strName.empty() || strName.find_first_of(L"\\/") != std::wstring::npos)
        return E_INVALIDARG;
    CreateKey(LibraryKey(strName));
    return S_OK;
}

std::wstring CCatalog::CurrentLibrary()
{
    RefreshCache();
    std::wstring strExact;
    if (FindLibrary(ReadString(Key(L""), L"CurrentLibrary"), &strExact))
        return strExact;
    const std::vector<std::wstring> libraries = Libraries();
    return libraries.empty() ? std::wstring() : libraries.front();
}

void CCatalog::SetCurrentLibrary(const std::wstring& strName)
{
    WriteString(Key(L""), L"CurrentLibrary", strName);
}

bool CCatalog::LibraryRight(const std::wstring& strLibrary, const std::wstring& strRight)
{
    RefreshCache();
    return ReadDword(LibraryKey(strLibrary) + L"\\Rights", strRight.c_str(), 1) != 0;
}

void CCatalog::SetLibraryRight(const std::wstring& strLibrary, const std::wstring& strRight, bool bGranted)
{
    WriteDword(LibraryKey(strLibrary) + L"\\Rights", strRight.c_str(), bGranted ? 1 : 0);
}

std::vector<LONG> CCatalog::Profiles(const std::wstring& strLibrary)
{
    RefreshCache();
    std::vector<LONG> numbers;
    for (const std::wstring& strName : SubKeys(LibraryKey(strLibrary)))
        if (strName != L"Rights")
            numbers.push_back(_wtol(strName.c_str()));
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool CCatalog::ProfileExists(const std::wstring& strLibrary, LONG lNumber)
{
    RefreshCache();
    return lNumber > 0 && !strLibrary.empty() && KeyExists(ProfileKey(strLibrary, lNumber));
}

LONG CCatalog::CreateProfile(const std::wstring& strLibrary, const ColumnMap& values, const std::wstring& strExtension,
                             const std::string& content)
{
    CCatalogLock lock;
    const LONG lNumber = static_cast<LONG>(ReadDword(Key(L""), L"NextDocNumber", kFirstDocNumber));
    WriteDword(Key(L""), L"NextDocNumber", static_cast<DWORD>(lNumber + 1));
    const std::wstring strKey = ProfileKey(strLibrary, lNumber);
    CreateKey(strKey);
    for (const auto& value : values)
        WriteString(strKey, value.first.c_str(), value.second);

    VersionRecord first;
    first.strLabel = L"1";
    first.strAuthor = ProfileValue(strLibrary, lNumber, L"AUTHOR_ID");
    first.strTypist = ProfileValue(strLibrary, lNumber, L"TYPIST_ID");
    first.strExtension = strExtension;
    AddVersion(strLibrary, lNumber, first, content);
    return lNumber;
}

void CCatalog::DeleteProfile(const std::wstring& strLibrary, LONG lNumber)
{
    CCatalogLock lock;
    for (const VersionRecord& v : Versions(strLibrary, lNumber))
        DeleteFileW(CacheFile(strLibrary, lNumber, v.strLabel).c_str());
    DeleteKeyTree(ProfileKey(strLibrary, lNumber));
    DeleteTree(CClientSetup::ServerRoot() + L"\\" + strLibrary + L"\\" + std::to_wstring(lNumber));
}

std::wstring CCatalog::ProfileValue(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strName)
{
    RefreshCache();
    return ReadString(ProfileKey(strLibrary, lNumber), strName.c_str());
}

void CCatalog::SetProfileValue(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strName,
                               const std::wstring& strValue)
{
    WriteString(ProfileKey(strLibrary, lNumber), strName.c_str(), strValue);
}

namespace {

std::wstring UpperLabel(std::wstring strLabel)
{
    for (wchar_t& c : strLabel)
        c = static_cast<wchar_t>(towupper(c));
    return strLabel;
}

// The profile's versions, read from the registry at the first use after a catalog change and
// shared from then on. Call after RefreshCache.
std::shared_ptr<const VersionList> VersionListOf(const std::wstring& strLibrary, LONG lNumber)
{
    const std::wstring strProfile = ProfileKey(strLibrary, lNumber);
    ReadCache& cache = Cache();
    DWORD dwToken = 0;
    {
        std::lock_guard<std::mutex> guard(cache.mutex);
        auto it = cache.versionLists.find(strProfile);
        if (it != cache.versionLists.end())
            return it->second;
        dwToken = cache.dwToken;
    }
    auto pList = std::make_shared<VersionList>();
    for (const std::wstring& strSub : SubKeys(strProfile + L"\\Versions"))
    {
        const std::wstring strKey = VersionKey(strLibrary, lNumber, strSub);
        VersionRecord v;
        v.strLabel = ReadString(strKey, L"Label", strSub);
        v.dwOrder = ReadDword(strKey, L"Order", 0);
        v.strComment = ReadString(strKey, L"Comment");
        v.strAuthor = ReadString(strKey, L"Author");
        v.strTypist = ReadString(strKey, L"Typist");
        v.strExtension = ReadString(strKey, L"Extension");
        v.dtDate = DateFromText(ReadString(strKey, L"Date"));
        v.bCanNewVersion = ReadDword(strKey, L"CanNewVersion", 1) != 0;
        v.bCanNewSubversion = ReadDword(strKey, L"CanNewSubversion", 1) != 0;
        // The shown label is kept with a leading '=' so that an empty label is told from none.
        const std::wstring strShown = ReadString(strKey, L"ShownLabel");
        v.bShown = !strShown.empty();
        v.strShown = v.bShown ? strShown.substr(1) : std::wstring();
        pList->records.push_back(v);
    }
    std::sort(pList->records.begin(), pList->records.end(),
              [](const VersionRecord& a, const VersionRecord& b) { return a.dwOrder < b.dwOrder; });
    for (size_t i = 0; i < pList->records.size(); ++i)
        pList->positions.emplace(UpperLabel(pList->records[i].strLabel), i);
    std::lock_guard<std::mutex> guard(cache.mutex);
    // A list read while the catalog changed is used once and not kept.
    if (cache.dwToken == dwToken)
        cache.versionLists[strProfile] = pList;
    return pList;
}

// The entry of the repeated version (StandIn_RepeatVersion), if the profile has one.
const VersionRecord* RepeatedEntry(const VersionList& list, const std::wstring& strLibrary, LONG lNumber)
{
    const std::wstring strLabel = ReadString(ProfileKey(strLibrary, lNumber), L"RepeatedVersion");
    if (strLabel.empty())
        return nullptr;
    auto it = list.positions.find(UpperLabel(strLabel));
    return it == list.positions.end() ? nullptr : &list.records[it->second];
}

}  // namespace

std::vector<VersionRecord> CCatalog::Versions(const std::wstring& strLibrary, LONG lNumber)
{
    RefreshCache();
    return VersionListOf(strLibrary, lNumber)->records;
}

bool CCatalog::FindVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                           VersionRecord* pRecord)
{
    RefreshCache();
    if (strLabel.empty())
        return false;
    const std::shared_ptr<const VersionList> pList = VersionListOf(strLibrary, lNumber);
    auto it = pList->positions.find(UpperLabel(strLabel));
    if (it == pList->positions.end())
        return false;
    if (pRecord)
        *pRecord = pList->records[it->second];
    return true;
}

HRESULT CCatalog::AddVersion(const std::wstring& strLibrary, LONG lNumber, const VersionRecord& record,
                             const std::string& content)
{
    CCatalogLock lock;
    if (!ProfileExists(strLibrary, lNumber) || record.strLabel.empty() ||
        record.strLabel.find_first_of(L"\\/") != std::wstring::npos)
        return E_INVALIDARG;
    // The key's name is the label; the registry compares names without regard to case, as
    // a label lookup does.
    if (KeyExists(VersionKey(strLibrary, lNumber, record.strLabel)))
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);

    const std::wstring strProfile = ProfileKey(strLibrary, lNumber);
    const DWORD dwOrder = ReadDword(strProfile, L"NextVersionOrder", 1);
    WriteDword(strProfile, L"NextVersionOrder", dwOrder + 1);

    const std::wstring strKey = VersionKey(strLibrary, lNumber, record.strLabel);
    WriteString(strKey, L"Label", record.strLabel);
    WriteDword(strKey, L"Order", dwOrder);
    WriteString(strKey, L"Comment", record.strComment);
    WriteString(strKey, L"Author", record.strAuthor);
    WriteString(strKey, L"Typist", record.strTypist);
    WriteString(strKey, L"Extension", record.strExtension);
    WriteString(strKey, L"Date", NowText());
    WriteDword(strKey, L"CanNewVersion", record.bCanNewVersion ? 1 : 0);
    WriteDword(strKey, L"CanNewSubversion", record.bCanNewSubversion ? 1 : 0);
    if (!WriteFileBytes(ServerFile(strLibrary, lNumber, record.strLabel), content))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT CCatalog::AddVersionFromFile(const std::wstring& strLibrary, LONG lNumber, const VersionRecord& record,
                                     const std::wstring& strSourceFile)
{
    CCatalogLock lock;
    HRESULT hr = AddVersion(strLibrary, lNumber, record, std::string());
    if (SUCCEEDED(hr) && FileExists(strSourceFile) &&
        !CopyFileW(strSourceFile.c_str(), ServerFile(strLibrary, lNumber, record.strLabel).c_str(), FALSE))
        hr = HRESULT_FROM_WIN32(GetLastError());
    return hr;
}

void CCatalog::SetVersionValue(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                               const wchar_t* pszName, const std::wstring& strValue)
{
    WriteString(VersionKey(strLibrary, lNumber, strLabel), pszName, strValue);
}

void CCatalog::SetVersionRights(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                                bool bCanNewVersion, bool bCanNewSubversion)
{
    const std::wstring strKey = VersionKey(strLibrary, lNumber, strLabel);
    WriteDword(strKey, L"CanNewVersion", bCanNewVersion ? 1 : 0);
    WriteDword(strKey, L"CanNewSubversion", bCanNewSubversion ? 1 : 0);
}

bool CCatalog::ShownLabel(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                          std::wstring* pstrShown)
{
    VersionRecord record;
    if (!FindVersion(strLibrary, lNumber, strLabel, &record) || !record.bShown)
        return false;
    *pstrShown = record.strShown;
    return true;
}

size_t CCatalog::VersionEntryCount(const std::wstring& strLibrary, LONG lNumber)
{
    RefreshCache();
    const std::shared_ptr<const VersionList> pList = VersionListOf(strLibrary, lNumber);
    return pList->records.size() + (RepeatedEntry(*pList, strLibrary, lNumber) ? 1 : 0);
}

bool CCatalog::VersionEntry(const std::wstring& strLibrary, LONG lNumber, size_t nIndex, VersionRecord* pRecord)
{
    RefreshCache();
    const std::shared_ptr<const VersionList> pList = VersionListOf(strLibrary, lNumber);
    const VersionRecord* pEntry = nIndex < pList->records.size() ? &pList->records[nIndex] : nullptr;
    if (nIndex == pList->records.size())
        pEntry = RepeatedEntry(*pList, strLibrary, lNumber);
    if (!pEntry)
        return false;
    *pRecord = *pEntry;
    return true;
}

void CCatalog::SetRepeatedVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    SetProfileValue(strLibrary, lNumber, L"RepeatedVersion", strLabel);
}

HRESULT CCatalog::SetVersionExtension(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                                      const std::wstring& strExtension)
{
    CCatalogLock lock;
    const std::wstring strOldServer = ServerFile(strLibrary, lNumber, strLabel);
    DeleteFileW(CacheFile(strLibrary, lNumber, strLabel).c_str());
    WriteString(VersionKey(strLibrary, lNumber, strLabel), L"Extension", strExtension);
    const std::wstring strNewServer = ServerFile(strLibrary, lNumber, strLabel);
    if (strNewServer != strOldServer &&
        !MoveFileExW(strOldServer.c_str(), strNewServer.c_str(), MOVEFILE_REPLACE_EXISTING))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

void CCatalog::TouchVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    WriteString(VersionKey(strLibrary, lNumber, strLabel), L"Date", NowText());
}

ULONGLONG CCatalog::SyncTime(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    RefreshCache();
    return _wcstoui64(ReadString(VersionKey(strLibrary, lNumber, strLabel), L"SyncTime", L"0").c_str(), nullptr, 10);
}

void CCatalog::SetSyncTime(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                           ULONGLONG ullTime)
{
    WriteString(VersionKey(strLibrary, lNumber, strLabel), L"SyncTime", std::to_wstring(ullTime));
}

void CCatalog::DeleteVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    CCatalogLock lock;
    DeleteFileW(CacheFile(strLibrary, lNumber, strLabel).c_str());
    DeleteFileW(ServerFile(strLibrary, lNumber, strLabel).c_str());
    DeleteKeyTree(VersionKey(strLibrary, lNumber, strLabel));
}

std::wstring CCatalog::NextVersionLabel(const std::wstring& strLibrary, LONG lNumber)
{
    RefreshCache();
    LONG lHighest = 0;
    for (const VersionRecord& v : Versions(strLibrary, lNumber))
        if (!IsAttachmentLabel(v.strLabel))
            lHighest = std::max(lHighest, LabelNumber(v.strLabel));
    return std::to_wstring(lHighest + 1);
}

std::wstring CCatalog::NextSubversionLabel(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strOf)
{
    RefreshCache();
    const std::wstring strBase = std::to_wstring(LabelNumber(strOf));
    for (wchar_t c = L'A'; c <= L'Z'; ++c)
    {
        const std::wstring strLabel = strBase + c;
        if (!FindVersion(strLibrary, lNumber, strLabel, nullptr))
            return strLabel;
    }
    return std::wstring();
}

std::wstring CCatalog::CurrentVersionLabel(const std::wstring& strLibrary, LONG lNumber)
{
    RefreshCache();
    std::wstring strCurrent;
    for (const VersionRecord& v : Versions(strLibrary, lNumber))
        if (!IsAttachmentLabel(v.strLabel) && (strCurrent.empty() || LabelLess(strCurrent, v.strLabel)))
            strCurrent = v.strLabel;
    return strCurrent;
}

std::wstring CCatalog::LockOwner(const std::wstring& strLibrary, LONG lNumber, std::wstring* pstrTime)
{
    RefreshCache();
    const std::wstring strKey = ProfileKey(strLibrary, lNumber);
    if (pstrTime)
        *pstrTime = ReadString(strKey, L"LockTime");
    return ReadString(strKey, L"LockOwner");
}

bool CCatalog::TryLock(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strUser,
                       std::wstring* pstrOwner)
{
    CCatalogLock lock;
    const std::wstring strOwner = LockOwner(strLibrary, lNumber);
    if (pstrOwner)
        *pstrOwner = strOwner;
    if (!strOwner.empty() && !EqualsNoCase(strOwner, strUser))
        return false;
    if (strOwner.empty())
    {
        const std::wstring strKey = ProfileKey(strLibrary, lNumber);
        WriteString(strKey, L"LockOwner", strUser);
        WriteString(strKey, L"LockTime", NowText());
    }
    return true;
}

bool CCatalog::Unlock(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strUser)
{
    CCatalogLock lock;
    const std::wstring strOwner = LockOwner(strLibrary, lNumber);
    if (strOwner.empty() || (!strUser.empty() && !EqualsNoCase(strOwner, strUser)))
        return false;
    const std::wstring strKey = ProfileKey(strLibrary, lNumber);
    DeleteValue(strKey, L"LockOwner");
    DeleteValue(strKey, L"LockTime");
    return true;
}

void CCatalog::AddHistory(const std::wstring& strLibrary, LONG lNumber, const HistoryRecord& record)
{
    CCatalogLock lock;
    const std::wstring strHistory = ProfileKey(strLibrary, lNumber) + L"\\History";
    wchar_t szName[16];
    swprintf(szName, 16, L"%04u", static_cast<unsigned>(SubKeys(strHistory).size() + 1));
    const std::wstring strKey = strHistory + L"\\" + szName;
    WriteString(strKey, L"Description", record.strDescription);
    WriteString(strKey, L"Text", record.strText);
    WriteDword(strKey, L"Number1", static_cast<DWORD>(record.lNumber1));
    WriteDword(strKey, L"Number2", static_cast<DWORD>(record.lNumber2));
    WriteString(strKey, L"User", record.strUser);
    WriteString(strKey, L"Time", NowText());
}

std::vector<HistoryRecord> CCatalog::History(const std::wstring& strLibrary, LONG lNumber)
{
    RefreshCache();
    std::vector<HistoryRecord> entries;
    const std::wstring strHistory = ProfileKey(strLibrary, lNumber) + L"\\History";
    std::vector<std::wstring> names = SubKeys(strHistory);
    std::sort(names.begin(), names.end());
    for (const std::wstring& strName : names)
    {
        const std::wstring strKey = strHistory + L"\\" + strName;
        HistoryRecord h;
        h.strDescription = ReadString(strKey, L"Description");
        h.strText = ReadString(strKey, L"Text");
        h.lNumber1 = static_cast<LONG>(ReadDword(strKey, L"Number1", 0));
        h.lNumber2 = static_cast<LONG>(ReadDword(strKey, L"Number2", 0));
        h.strUser = ReadString(strKey, L"User");
        entries.push_back(h);
    }
    return entries;
}

std::wstring CCatalog::DefaultUser()
{
    RefreshCache();
    return ReadString(Key(L""), L"DefaultUser", kDefaultUser);
}

void CCatalog::SetDefaultUser(const std::wstring& strUser)
{
    AddUser(strUser);
    WriteString(Key(L""), L"DefaultUser", strUser);
}

void CCatalog::AddUser(const std::wstring& strUser)
{
    if (!strUser.empty())
        CreateKey(Key(L"Users\\") + strUser);
}

std::wstring CCatalog::CurrentUser()
{
    RefreshCache();
    wchar_t sz[128] = {};
    DWORD n = GetEnvironmentVariableW(L"DMS_STANDIN_USER", sz, 128);
    if (n && n < 128)
        return sz;
    return DefaultUser();
}

void CCatalog::AddApplication(const std::wstring& strAppID, const std::wstring& strExtension)
{
    WriteString(Key(L"Applications\\") + strAppID, L"Extension", strExtension);
}

bool CCatalog::ApplicationExtension(const std::wstring& strAppID, std::wstring* pstrExtension)
{
    RefreshCache();
    if (strAppID.empty() || !KeyExists(Key(L"Applications\\") + strAppID))
        return false;
    *pstrExtension = ReadString(Key(L"Applications\\") + strAppID, L"Extension");
    return true;
}

bool CCatalog::ApplicationForExtension(const std::wstring& strExtension, std::wstring* pstrAppID)
{
    RefreshCache();
    for (const std::wstring& strAppID : SubKeys(Key(L"Applications")))
        if (EqualsNoCase(ReadString(Key(L"Applications\\") + strAppID, L"Extension"), strExtension))
        {
            *pstrAppID = strAppID;
            return true;
        }
    return false;
}

std::vector<std::pair<std::wstring, std::wstring>> CCatalog::Applications()
{
    RefreshCache();
    std::vector<std::pair<std::wstring, std::wstring>> apps;
    for (const std::wstring& strAppID : SubKeys(Key(L"Applications")))
        apps.emplace_back(strAppID, ReadString(Key(L"Applications\\") + strAppID, L"Extension"));
    std::sort(apps.begin(), apps.end());
    return apps;
}

void CCatalog::AddForm(const std::wstring& strLibrary, const std::wstring& strForm, LONG lType)
{
    WriteDword(Key(L"Forms\\") + strLibrary + L"\\" + strForm, L"Type", static_cast<DWORD>(lType));
}

std::vector<FormRecord> CCatalog::Forms(const std::wstring& strLibrary)
{
    RefreshCache();
    const std::wstring strKey = Key(L"Forms\\") + strLibrary;
    std::vector<FormRecord> forms;
    for (const std::wstring& strForm : SubKeys(strKey))
        forms.push_back({strForm, static_cast<LONG>(ReadDword(strKey + L"\\" + strForm, L"Type", 0))});
    std::sort(forms.begin(), forms.end(), [](const FormRecord& a, const FormRecord& b) { return a.strName < b.strName; });
    return forms;
}

LONG CCatalog::ConnectionState()
{
    RefreshCache();
    return static_cast<LONG>(ReadDword(Key(L""), L"ConnectionState", 0));
}

void CCatalog::SetConnectionState(LONG lState)
{
    WriteDword(Key(L""), L"ConnectionState", static_cast<DWORD>(lState));
}

void CCatalog::SetCallLatency(LONG lMicroseconds)
{
    WriteDword(Key(L""), kLatencyValue, static_cast<DWORD>(std::max(0L, lMicroseconds)));
}

void CCatalog::SetFormScript(const std::vector<std::wstring>& lines)
{
    std::wstring strMulti;
    for (const std::wstring& strLine : lines)
        if (!strLine.empty())
            strMulti += strLine + L'\0';
    strMulti += L'\0';
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kRootKey, L"FormScript", REG_MULTI_SZ, strMulti.c_str(),
                    static_cast<DWORD>(strMulti.size() * sizeof(wchar_t)));
}

namespace {

std::vector<std::wstring> ReadFormScript()
{
    std::vector<std::wstring> lines;
    DWORD cb = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, CCatalog::kRootKey, L"FormScript", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                     &cb) != ERROR_SUCCESS)
        return lines;
    std::wstring strMulti(cb / sizeof(wchar_t) + 2, L'\0');
    cb = static_cast<DWORD>(strMulti.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, CCatalog::kRootKey, L"FormScript", RRF_RT_REG_MULTI_SZ, nullptr,
                     &strMulti[0], &cb) != ERROR_SUCCESS)
        return lines;
    for (const wchar_t* p = strMulti.c_str(); *p; p += wcslen(p) + 1)
        lines.emplace_back(p);
    return lines;
}

}  // namespace

bool CCatalog::NextFormAnswer(std::wstring* pstrLine)
{
    CCatalogLock lock;
    std::vector<std::wstring> lines = ReadFormScript();
    if (lines.empty())
        return false;
    *pstrLine = lines.front();
    lines.erase(lines.begin());
    SetFormScript(lines);
    return true;
}

LONG CCatalog::PendingFormAnswers()
{
    return static_cast<LONG>(ReadFormScript().size());
}

std::wstring CCatalog::ServerFile(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    RefreshCache();
    std::wstring strPath =
        CClientSetup::ServerRoot() + L"\\" + strLibrary + L"\\" + std::to_wstring(lNumber) + L"\\" + strLabel;
    const std::wstring strExtension = ReadString(VersionKey(strLibrary, lNumber, strLabel), L"Extension");
    return strExtension.empty() ? strPath : strPath + L"." + strExtension;
}

std::wstring CCatalog::CacheFile(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel)
{
    RefreshCache();
    const std::wstring strNumber = std::to_wstring(lNumber);
    const std::wstring strExtension = ReadString(VersionKey(strLibrary, lNumber, strLabel), L"Extension");
    const std::wstring strDot = strExtension.empty() ? std::wstring() : L"." + strExtension;
    std::wstring strName = SafeFileName(ProfileValue(strLibrary, lNumber, L"DOCNAME"));
    if (CClientSetup::IsDM6())
        return CClientSetup::CacheRoot() + L"\\DMNFSL1\\" + strLibrary + L"\\" + strNumber + L"\\" + strLabel + L"\\" +
               strName + strDot;
    // DM 5 keeps every cached file in one folder, named library-#number-vlabel-name with the
    // name's spaces turned into underscores.
    std::replace(strName.begin(), strName.end(), L' ', L'_');
    return CClientSetup::CacheRoot() + L"\\" + strLibrary + L"-#" + strNumber + L"-v" + strLabel + L"-" + strName +
           strDot;
}

std::wstring CCatalog::Listing()
{
    RefreshCache();
    std::wstring strText = L"Default user: " + DefaultUser() + L"    Current library: " + CurrentLibrary() +
                           L"    Connection state: " + std::to_wstring(ConnectionState()) + L"\n";
    for (const std::wstring& strLibrary : Libraries())
    {
        strText += L"Library " + strLibrary + L"\n";
        for (LONG lNumber : Profiles(strLibrary))
        {
            const std::wstring strOwner = LockOwner(strLibrary, lNumber);
            strText += L"  " + std::to_wstring(lNumber) + L"  \"" + ProfileValue(strLibrary, lNumber, L"DOCNAME") +
                       L"\"  " + ProfileValue(strLibrary, lNumber, L"APP_ID") +
                       (strOwner.empty() ? std::wstring() : L"  locked by " + strOwner) + L"\n";
            for (const VersionRecord& v : Versions(strLibrary, lNumber))
                strText += L"      " + v.strLabel + (IsAttachmentLabel(v.strLabel) ? L" (attachment)" : L"") + L"  ." +
                           v.strExtension + L"  " + v.strAuthor + L"  " + v.strComment + L"\n";
        }
    }
    return strText;
}

}  // namespace dms_standin

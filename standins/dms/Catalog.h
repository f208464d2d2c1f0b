#pragma once
// The stand-in DMS's catalog: libraries, profiles, versions, locks, history, users and
// applications, kept in the registry (HKLM "SOFTWARE\Quendrel\DmsStandIn") so that it survives
// the process and is shared by every process of the prefix; content files in a server store
// and a client cache. Multi-step updates hold a named mutex.
#include <windows.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

namespace dms_standin {

using ColumnMap = std::map<std::wstring, std::wstring>;

// One version (or attachment) of a profile as the catalog holds it.
struct VersionRecord
{
    std::wstring strLabel;
    DWORD dwOrder = 0;  // creation order: the order of the versions collection
    std::wstring strComment;
    std::wstring strAuthor;
    std::wstring strTypist;
    std::wstring strExtension;
    DATE dtDate = 0;
    bool bCanNewVersion = true;
    bool bCanNewSubversion = true;
    bool bShown = false;  // IVersion::Label reports strShown instead of the label
    std::wstring strShown;
};

// One history event of a profile.
struct HistoryRecord
{
    std::wstring strDescription;
    std::wstring strText;
    LONG lNumber1 = 0;
    LONG lNumber2 = 0;
    std::wstring strUser;
};

// One profile form of a library: its name and its type bits.
struct FormRecord
{
    std::wstring strName;
    LONG lType = 0;
};

// Registry-backed catalog; every member is static and safe to call from several processes.
class CCatalog
{
public:
    static const wchar_t kRootKey[];
    // The prefix's time per DMS call in microseconds (a DWORD beside the connection state); it
    // survives Reset, like the installation.
    static const wchar_t kLatencyValue[];
    static const wchar_t* const kColumns[7];  // the stored profile columns, in display order

    // Empties the catalog (defaults: applications, user, online, no script) and the content folders.
    static HRESULT Reset();

    static std::vector<std::wstring> Libraries();
    // Finds a library ignoring letter case; gives its stored spelling.
    static bool FindLibrary(const std::wstring& strName, std::wstring* pstrExact);
    static HRESULT AddLibrary(const std::wstring& strName);
    static std::wstring CurrentLibrary();  // the stored choice, else the first library, else ""
    static void SetCurrentLibrary(const std::wstring& strName);
    static bool LibraryRight(const std::wstring& strLibrary, const std::wstring& strRight);
    static void SetLibraryRight(const std::wstring& strLibrary, const std::wstring& strRight, bool bGranted);

    static std::vector<LONG> Profiles(const std::wstring& strLibrary);
    static bool ProfileExists(const std::wstring& strLibrary, LONG lNumber);
    // Stores a new profile with version 1 (empty content unless given); returns its number.
    static LONG CreateProfile(const std::wstring& strLibrary, const ColumnMap& values, const std::wstring& strExtension,
                              const std::string& content = std::string());
    static void DeleteProfile(const std::wstring& strLibrary, LONG lNumber);
    // A profile value: a column, "FormName", "WorkingFolder" or "Folder".
    static std::wstring ProfileValue(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strName);
    static void SetProfileValue(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strName,
                                const std::wstring& strValue);

    static std::vector<VersionRecord> Versions(const std::wstring& strLibrary, LONG lNumber);
    static bool FindVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                            VersionRecord* pRecord);
    // Adds a version with the given content; fails with HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)
    // when the label is taken.
    static HRESULT AddVersion(const std::wstring& strLibrary, LONG lNumber, const VersionRecord& record,
                              const std::string& content);
    // Adds a version whose content is a copy of another file.
    static HRESULT AddVersionFromFile(const std::wstring& strLibrary, LONG lNumber, const VersionRecord& record,
                                      const std::wstring& strSourceFile);
    static void SetVersionValue(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                                const wchar_t* pszName, const std::wstring& strValue);
    static void SetVersionRights(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                                 bool bCanNewVersion, bool bCanNewSubversion);
    // The label IVersion::Label reports when it differs from the one the version is kept
    // under (an empty one among them); false when none was set.
    static bool ShownLabel(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                           std::wstring* pstrShown);
    // The entries of a profile's versions collection are its versions in order, then the version
    // set to be listed twice (SetRepeatedVersion), if any: their number and one of them by its
    // 0-based position, without copying the list, so that handing out a version costs the same
    // however many a profile holds.
    static size_t VersionEntryCount(const std::wstring& strLibrary, LONG lNumber);
    static bool VersionEntry(const std::wstring& strLibrary, LONG lNumber, size_t nIndex, VersionRecord* pRecord);
    static void SetRepeatedVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel);
    // Gives a version's stored file another extension (the server file moves with it; the
    // cache copy is dropped).
    static HRESULT SetVersionExtension(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                                       const std::wstring& strExtension);
    static void TouchVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel);
    // Last-write time of the cache copy when it was last fetched or uploaded (0: never).
    static ULONGLONG SyncTime(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel);
    static void SetSyncTime(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel,
                            ULONGLONG ullTime);
    static void DeleteVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel);
    // The next free version label ("3") and the next sub-version label under a version ("2A").
    static std::wstring NextVersionLabel(const std::wstring& strLibrary, LONG lNumber);
    static std::wstring NextSubversionLabel(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strOf);
    // The highest numbered version (sub-versions after their version); "" when there is none.
    static std::wstring CurrentVersionLabel(const std::wstring& strLibrary, LONG lNumber);

    // Lock owner of a document, "" when it is not locked.
    static std::wstring LockOwner(const std::wstring& strLibrary, LONG lNumber, std::wstring* pstrTime = nullptr);
    // Locks for strUser unless another user holds the lock (then gives that owner).
    static bool TryLock(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strUser,
                        std::wstring* pstrOwner);
    // Unlocks when strUser holds the lock (an empty user unlocks whoever holds it).
    static bool Unlock(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strUser);

    static void AddHistory(const std::wstring& strLibrary, LONG lNumber, const HistoryRecord& record);
    static std::vector<HistoryRecord> History(const std::wstring& strLibrary, LONG lNumber);

    static std::wstring DefaultUser();
    static void SetDefaultUser(const std::wstring& strUser);
    static void AddUser(const std::wstring& strUser);
    // This process's user: DMS_STANDIN_USER when set, else the default user.
    static std::wstring CurrentUser();

    static void AddApplication(const std::wstring& strAppID, const std::wstring& strExtension);
    static bool ApplicationExtension(const std::wstring& strAppID, std::wstring* pstrExtension);
    static bool ApplicationForExtension(const std::wstring& strExtension, std::wstring* pstrAppID);
    // Every application with its extension, ordered by application ID.
    static std::vector<std::pair<std::wstring, std::wstring>> Applications();

    // The profile forms of a library (none unless added), ordered by name.
    static void AddForm(const std::wstring& strLibrary, const std::wstring& strForm, LONG lType);
    static std::vector<FormRecord> Forms(const std::wstring& strLibrary);

    static LONG ConnectionState();
    static void SetConnectionState(LONG lState);
    static void SetCallLatency(LONG lMicroseconds);

    // The scripted form answers, first in first out.
    static void SetFormScript(const std::vector<std::wstring>& lines);
    static bool NextFormAnswer(std::wstring* pstrLine);
    static LONG PendingFormAnswers();

    // Content files: the server store and the client cache in the installed client's form.
    static std::wstring ServerFile(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel);
    static std::wstring CacheFile(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel);

    static std::wstring Listing();
};

// Holds the catalog's named mutex for the lifetime of the object (re-entrant in one thread).
class CCatalogLock
{
public:
    CCatalogLock();
    ~CCatalogLock();
    CCatalogLock(const CCatalogLock&) = delete;
    CCatalogLock& operator=(const CCatalogLock&) = delete;
};

// Small file helpers shared by the catalog and the client setup.
bool EnsureFolder(const std::wstring& strFolder);  // creates the folder and its parents
void DeleteTree(const std::wstring& strFolder);
bool FileExists(const std::wstring& strPath);
bool WriteFileBytes(const std::wstring& strPath, const std::string& content);
std::wstring FolderOf(const std::wstring& strPath);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

}  // namespace dms_standin

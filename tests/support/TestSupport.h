#pragma once
// Shared equipment for tests under Wine: registry values put back after a test, paths, files, and
// an allocation spy for BSTRs and CoTaskMemAlloc blocks (OANOCACHE=1 keeps BSTRs uncached).
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace testing_support {

// Folder of the running test program, without the trailing backslash.
std::wstring ProgramFolder();
// The user's application-data folder (CSIDL_APPDATA).
std::wstring AppDataFolder();

// Sets or deletes one registry value and restores the previous state on destruction.
class ScopedRegValue
{
public:
    ScopedRegValue(HKEY hRoot, const std::wstring& strKey, const std::wstring& strName);
    ~ScopedRegValue();
    ScopedRegValue(const ScopedRegValue&) = delete;
    ScopedRegValue& operator=(const ScopedRegValue&) = delete;

    void SetString(const std::wstring& strValue) { Set(REG_SZ, strValue.c_str(), (strValue.size() + 1) * sizeof(wchar_t)); }
    void SetDword(DWORD dwValue) { Set(REG_DWORD, &dwValue, sizeof(dwValue)); }
    void Delete() { RegDeleteKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str()); }

private:
    void Set(DWORD dwType, const void* pData, size_t cb)
    {
        RegSetKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str(), dwType, pData, static_cast<DWORD>(cb));
    }
    HKEY m_hRoot;
    std::wstring m_strKey, m_strName;
    bool m_bExisted = false;
    DWORD m_dwType = 0;
    std::basic_string<BYTE> m_data;
};

// Counts the task-allocator blocks allocated and not yet freed while it is registered.
class AllocationSpy
{
public:
    AllocationSpy();
    ~AllocationSpy();
    AllocationSpy(const AllocationSpy&) = delete;
    AllocationSpy& operator=(const AllocationSpy&) = delete;

    // Blocks allocated since registration that are still live; -1 when the spy could not register.
    long Outstanding() const;

private:
    class Spy;
    Spy* m_pSpy;
    bool m_bRegistered = false;
};

// What the process holds, for checks that it does not grow: kernel handles and committed private
// memory. Where the system does not count them (Wine answers 0), the handle values that name a
// handle are counted and the committed private regions of the address space summed.
DWORD KernelHandles();
SIZE_T PrivateBytes();
// TLS indices in use in the process (a module that gives none back runs the process out of them).
DWORD TlsIndicesInUse();

// The above at one moment, for checks that repeating some work leaves nothing behind.
struct ProcessFootprint
{
    DWORD dwHandles = KernelHandles();
    SIZE_T cbPrivate = PrivateBytes();
    DWORD dwTlsIndices = TlsIndicesInUse();
};
// What grew since `from` beyond 2 handles, 256 KB of private memory or 2 TLS indices, described;
// empty when nothing did.
std::string GrowthSince(const ProcessFootprint& from);

// A file's whole content ("<missing>" when it cannot be opened), and a file written anew.
std::string ReadFileBytes(const std::wstring& strPath);
bool WriteFileBytes(const std::wstring& strPath, const std::string& content);

// Starts a program and waits for it (up to the timeout); returns its exit code, or -1.
int RunProgram(const std::wstring& strCommandLine, DWORD dwTimeoutMs = 60000);
// Runs this test program again with the arguments (a filter and a switch naming the test's
// second process's part); returns its exit code, or -1.
int RunThisProgram(const std::wstring& strArguments);

// A wide text cut to its low bytes, for messages of tests whose texts are ASCII.
inline std::string Narrow(const std::wstring& str) { return std::string(str.begin(), str.end()); }

// The text of a BSTR handed over to the caller, who frees it here ("" for null).
std::wstring TakeText(BSTR bstr);
// The error information on this thread as "<source>: <description>"; "<none>" without any.
std::wstring ThreadErrorDescription();

// The document ID "<scheme>://<library>/<number>/<label>".
std::wstring DocId(LONG lNumber, const wchar_t* pszLabel, const wchar_t* pszLibrary = L"LIB",
                   const wchar_t* pszScheme = L"PowerDocs");

// A UTF-16LE log file's records, each record's ten columns without padding. A record ends in
// U+00A0 CR LF (a message may hold CR LF, never U+00A0); unended trailing text is a last record.
std::vector<std::vector<std::wstring>> ReadLogRecords(const std::wstring& strPath, size_t cchSkip = 0);
// A log file's text (UTF-16LE, without byte-order mark); empty when it cannot be read.
std::wstring ReadLogText(const std::wstring& strPath);

// The current user's logging switched on for the object's lifetime: the file sink only, INFO
// and up, into the path given (as stored: "%APPDATA%" resolves); the values are put back after.
class ScopedFileLog
{
public:
    explicit ScopedFileLog(const std::wstring& strPath);

private:
    static constexpr wchar_t kKey[] = L"SOFTWARE\\Corvane\\Framework\\Settings";
    ScopedRegValue m_enabled{HKEY_CURRENT_USER, kKey, L"Logging.Enabled"};
    ScopedRegValue m_file{HKEY_CURRENT_USER, kKey, L"Logging.FileLogEnabled"};
    ScopedRegValue m_debug{HKEY_CURRENT_USER, kKey, L"Logging.DebugLogEnabled"};
    ScopedRegValue m_severity{HKEY_CURRENT_USER, kKey, L"Logging.Severity"};
    ScopedRegValue m_path{HKEY_CURRENT_USER, kKey, L"Logging.Path"};
};

}  // namespace testing_support

#pragma once
// Shared equipment for tests that run under Wine: registry values set for one test and put
// back afterwards, paths beside the test program, and an allocation spy that counts BSTRs and
// CoTaskMemAlloc blocks (run with OANOCACHE=1 so that freed BSTRs are not cached).
#include <windows.h>
#include <objbase.h>

#include <string>

namespace testing_support {

// Folder of the running test program, without the trailing backslash.
std::wstring ProgramFolder();

// Sets or deletes one registry value and restores the previous state on destruction.
class ScopedRegValue
{
public:
    ScopedRegValue(HKEY hRoot, const std::wstring& strKey, const std::wstring& strName);
    ~ScopedRegValue();
    ScopedRegValue(const ScopedRegValue&) = delete;
    ScopedRegValue& operator=(const ScopedRegValue&) = delete;

    void SetString(const std::wstring& strValue);
    void SetDword(DWORD dwValue);
    void Delete();

private:
    HKEY m_hRoot;
    std::wstring m_strKey;
    std::wstring m_strName;
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

    // Blocks allocated since registration that are still live; -1 when the spy could not
    // register.
    long Outstanding() const;

private:
    class Spy;
    Spy* m_pSpy;
    bool m_bRegistered = false;
};

// A file's whole content ("<missing>" when it cannot be opened), and a file written anew.
std::string ReadFileBytes(const std::wstring& strPath);
bool WriteFileBytes(const std::wstring& strPath, const std::string& content);

// Starts a program and waits for it (up to the timeout); returns its exit code, or -1.
int RunProgram(const std::wstring& strCommandLine, DWORD dwTimeoutMs = 60000);

}  // namespace testing_support

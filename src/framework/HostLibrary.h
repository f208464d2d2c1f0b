#pragma once
// CHostLibrary: one of the host suite's libraries, loaded by file name on first use and kept
// loaded for the rest of the process. Never freed on purpose: the only moment to free it would
// be process detach, when FreeLibrary is not safe; the host keeps these libraries loaded anyway.
// Safe to use from several threads; a missing library is looked for again on the next use.
#include <windows.h>

#include <atomic>

class CHostLibrary
{
public:
    explicit constexpr CHostLibrary(const wchar_t* pszFileName) : m_pszFileName(pszFileName) {}
    CHostLibrary(const CHostLibrary&) = delete;
    CHostLibrary& operator=(const CHostLibrary&) = delete;

    // The export's address as a function pointer of type Pfn, or null when the library or the
    // export is missing.
    template <class Pfn>
    Pfn Resolve(const char* pszExport)
    {
        return reinterpret_cast<Pfn>(reinterpret_cast<void*>(ResolveAddress(pszExport)));
    }

private:
    FARPROC ResolveAddress(const char* pszExport);

    const wchar_t* m_pszFileName;
    std::atomic<HMODULE> m_hModule{nullptr};
};

#include "framework/HostLibrary.h"

#include "framework/Handles.h"

FARPROC CHostLibrary::ResolveAddress(const char* pszExport)
{
    HMODULE hModule = m_hModule.load();
    if (!hModule)
    {
        CLibrary library(LoadLibraryW(m_pszFileName));
        if (!library)
            return nullptr;
        HMODULE hExpected = nullptr;
        // The first thread to load it keeps its reference; a racing thread's extra one is freed.
        if (m_hModule.compare_exchange_strong(hExpected, library.Get()))
            hModule = library.Detach();
        else
            hModule = hExpected;
    }
    return GetProcAddress(hModule, pszExport);
}

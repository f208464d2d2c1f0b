#include "framework/ActivationContextLoader.h"

#include <stdexcept>
#include <string>

#include "framework/OptionApi.h"

namespace {

const wchar_t LOADER_FILE[] = L"CVActivationContextLoader.dll";
const wchar_t MANIFEST_FILE[] = L"Corvane.RegFreeCom.manifest";

CStdStr JoinPath(const CStdStr& strFolder, const wchar_t* pszFile)
{
    if (strFolder.empty() || strFolder.back() == L'\\' || strFolder.back() == L'/')
        return strFolder + pszFile;
    return strFolder + L"\\" + pszFile;
}

// Exception texts are narrow: the path goes through the ANSI code page, as the logger reads them.
[[noreturn]] void Raise(const CStdStr& strMessage)
{
    int cb = WideCharToMultiByte(CP_ACP, 0, strMessage.c_str(), static_cast<int>(strMessage.size()), nullptr, 0,
                                 nullptr, nullptr);
    std::string text(cb > 0 ? static_cast<size_t>(cb) : 0, '\0');
    if (cb > 0)
        WideCharToMultiByte(CP_ACP, 0, strMessage.c_str(), static_cast<int>(strMessage.size()), &text[0], cb,
                            nullptr, nullptr);
    throw std::runtime_error(text);
}

[[noreturn]] void RaiseLoadLibraryFailed(const CStdStr& strPath, DWORD dwError)
{
    Raise(CStdStr::Format(L"LoadLibrary on '%ls'failed. Error code: %d.", strPath.c_str(), static_cast<int>(dwError)));
}

template <class Pfn>
Pfn ResolveExport(HMODULE hModule, const char* pszExport, const CStdStr& strPath)
{
    FARPROC p = GetProcAddress(hModule, pszExport);
    // A library without the loader's entry points is as unusable as a missing one.
    if (!p)
        RaiseLoadLibraryFailed(strPath, GetLastError());
    return reinterpret_cast<Pfn>(reinterpret_cast<void*>(p));
}

}  // namespace

CActivationContextLoader::CActivationContextLoader()
{
    CStdStr strFolder = Corvane::OptionApi::GetString(L"ProgramLocation");
    m_strLibraryPath = JoinPath(strFolder, LOADER_FILE);
    CStdStr strManifest = JoinPath(strFolder, MANIFEST_FILE);

    m_library.Reset(LoadLibraryW(m_strLibraryPath.c_str()));
    if (!m_library)
        RaiseLoadLibraryFailed(m_strLibraryPath, GetLastError());

    auto pfnIsActive = ResolveExport<HostSuite::PfnIsAlreadyActiveForManifest>(
        m_library.Get(), "IsAlreadyActiveForManifest", m_strLibraryPath);
    auto pfnLoad =
        ResolveExport<HostSuite::PfnLoadActivationContext>(m_library.Get(), "LoadActivationContext", m_strLibraryPath);
    m_pfnUnload = ResolveExport<HostSuite::PfnUnloadActivationContext>(m_library.Get(), "UnloadActivationContext",
                                                                       m_strLibraryPath);

    if (pfnIsActive(strManifest.c_str()))
        return;
    ULONG_PTR ulCookie = 0;
    DWORD dwError = pfnLoad(strManifest.c_str(), &ulCookie);
    if (dwError != 0)
        Raise(CStdStr::Format(L"Loading Activation Context with manifest '%ls' failed. Error code: %d",
                              strManifest.c_str(), static_cast<int>(dwError)));
    m_ulCookie = ulCookie;
    m_bActivated = true;
}

CActivationContextLoader::~CActivationContextLoader()
{
    try
    {
        Unload();
    }
    catch (...)
    {
        // A destructor must not throw; callers that care call Unload() themselves.
    }
}

void CActivationContextLoader::Unload()
{
    if (m_bActivated)
    {
        // Not retried: a failed deactivation would fail again, and the library is still freed later.
        m_bActivated = false;
        DWORD dwError = m_pfnUnload(m_ulCookie);
        if (dwError != 0)
            Raise(CStdStr::Format(L"Unloading Activation Context failed. Error code: %d", static_cast<int>(dwError)));
    }
    HMODULE hLibrary = m_library.Detach();
    if (hLibrary && !FreeLibrary(hLibrary))
        Raise(CStdStr::Format(L"FreeLibrary on '%ls'failed. Error code: %d.", m_strLibraryPath.c_str(),
                              static_cast<int>(GetLastError())));
}

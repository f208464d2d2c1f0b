// Stand-in for the host's activation-context loader (CVActivationContextLoader.dll): creates
// and activates the activation context of a manifest on the calling thread, and deactivates it
// again by cookie. Only cookies this library handed out, on the thread that got them, are
// accepted (deactivating anything else would raise an exception inside the system). A manifest
// counts as already active when it is the root manifest of the thread's active context, whoever
// activated it.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "framework/HostSuiteExports.h"

namespace {

struct CActivation
{
    ULONG_PTR ulCookie;
    DWORD dwThreadId;
};

SRWLOCK g_lock = SRWLOCK_INIT;
std::vector<CActivation> g_activations;  // guarded by g_lock

// The manifest path in the form the system reports it: full, for a case-insensitive compare.
std::vector<wchar_t> FullPath(const wchar_t* pszPath)
{
    DWORD cch = GetFullPathNameW(pszPath, 0, nullptr, nullptr);
    std::vector<wchar_t> path(cch ? cch : 1, L'\0');
    if (!cch || GetFullPathNameW(pszPath, cch, path.data(), nullptr) >= cch)
        path.assign(1, L'\0');
    return path;
}

// Owns the reference GetCurrentActCtx hands out.
class CCurrentContext
{
public:
    CCurrentContext()
    {
        if (!GetCurrentActCtx(&m_h))
            m_h = nullptr;
    }
    ~CCurrentContext()
    {
        if (m_h)
            ReleaseActCtx(m_h);
    }
    CCurrentContext(const CCurrentContext&) = delete;
    CCurrentContext& operator=(const CCurrentContext&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h = nullptr;
};

}  // namespace

namespace HostSuite {

BOOL __cdecl IsAlreadyActiveForManifest(const wchar_t* pszManifestPath)
{
    if (!pszManifestPath || !*pszManifestPath)
        return FALSE;
    CCurrentContext current;
    if (!current.Get())
        return FALSE;
    SIZE_T cb = 0;
    QueryActCtxW(0, current.Get(), nullptr, ActivationContextDetailedInformation, nullptr, 0, &cb);
    if (cb < sizeof(ACTIVATION_CONTEXT_DETAILED_INFORMATION))
        return FALSE;
    std::vector<BYTE> buffer(cb);
    if (!QueryActCtxW(0, current.Get(), nullptr, ActivationContextDetailedInformation, buffer.data(), cb, &cb))
        return FALSE;
    auto* pInfo = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
    if (!pInfo->lpRootManifestPath)
        return FALSE;
    std::vector<wchar_t> wanted = FullPath(pszManifestPath);
    return CompareStringOrdinal(pInfo->lpRootManifestPath, -1, wanted.data(), -1, TRUE) == CSTR_EQUAL;
}

DWORD __cdecl LoadActivationContext(const wchar_t* pszManifestPath, ULONG_PTR* pulCookie)
{
    if (!pszManifestPath || !pulCookie)
        return ERROR_INVALID_PARAMETER;
    *pulCookie = 0;
    ACTCTXW actctx = {};
    actctx.cbSize = sizeof(actctx);
    actctx.lpSource = pszManifestPath;
    HANDLE hContext = CreateActCtxW(&actctx);
    if (hContext == INVALID_HANDLE_VALUE)
        return GetLastError();
    ULONG_PTR ulCookie = 0;
    BOOL bActivated = ActivateActCtx(hContext, &ulCookie);
    DWORD dwError = bActivated ? 0 : GetLastError();
    // The activation holds its own reference to the context until it is deactivated.
    ReleaseActCtx(hContext);
    if (!bActivated)
        return dwError ? dwError : ERROR_GEN_FAILURE;
    AcquireSRWLockExclusive(&g_lock);
    g_activations.push_back({ulCookie, GetCurrentThreadId()});
    ReleaseSRWLockExclusive(&g_lock);
    *pulCookie = ulCookie;
    return 0;
}

DWORD __cdecl UnloadActivationContext(ULONG_PTR ulCookie)
{
    AcquireSRWLockExclusive(&g_lock);
    auto it = std::find_if(g_activations.begin(), g_activations.end(), [&](const CActivation& a) {
        return a.ulCookie == ulCookie && a.dwThreadId == GetCurrentThreadId();
    });
    bool bKnown = it != g_activations.end();
    if (bKnown)
        g_activations.erase(it);
    ReleaseSRWLockExclusive(&g_lock);
    if (!bKnown)
        return ERROR_INVALID_PARAMETER;
    return DeactivateActCtx(0, ulCookie) ? 0 : GetLastError();
}

}  // namespace HostSuite

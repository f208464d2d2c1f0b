#include "ui/AxHost.h"

namespace AxHost {

namespace {

using PfnAtlAxWinInit = BOOL(WINAPI*)();
using PfnAtlAxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

struct CRuntime
{
    PfnAtlAxWinInit pfnInit = nullptr;
    PfnAtlAxGetControl pfnGetControl = nullptr;
};

// Deliberately never freed: host windows of this class may live anywhere in the process.
const CRuntime& Runtime()
{
    static const CRuntime s_runtime = [] {
        CRuntime runtime;
        if (HMODULE hModule = LoadLibraryW(L"atl100.dll"))
        {
            runtime.pfnInit =
                reinterpret_cast<PfnAtlAxWinInit>(reinterpret_cast<void*>(GetProcAddress(hModule, "AtlAxWinInit")));
            runtime.pfnGetControl = reinterpret_cast<PfnAtlAxGetControl>(
                reinterpret_cast<void*>(GetProcAddress(hModule, "AtlAxGetControl")));
        }
        return runtime;
    }();
    return s_runtime;
}

}  // namespace

bool Init()
{
    // Registered once per process: a second registration of the class fails.
    static const bool s_bReady = [] {
        const CRuntime& runtime = Runtime();
        return runtime.pfnInit && runtime.pfnGetControl && runtime.pfnInit();
    }();
    return s_bReady;
}

HRESULT GetControl(HWND hHost, IUnknown** ppUnknown)
{
    if (!ppUnknown)
        return E_POINTER;
    *ppUnknown = nullptr;
    const CRuntime& runtime = Runtime();
    if (!runtime.pfnGetControl)
        return E_NOTIMPL;
    return runtime.pfnGetControl(hHost, ppUnknown);
}

}  // namespace AxHost

// The module's entry points: class object, unload test, class registration and the list of
// classes. Everything here answers with an HRESULT; nothing throws out of the DLL.
#include <windows.h>
#include <objbase.h>

#include <corvane/CorvaneHost.h>

#include "dms/AppWrapper.h"
#include "framework/Handles.h"
#include "provider/ClassRegistration.h"
#include "framework/ComModule.h"
#include "framework/ComObject.h"
#include "framework/RuntimeRelease.h"
#include "provider/PDDocProvider.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        DisableThreadLibraryCalls(hInstance);
    }
    else if (dwReason == DLL_PROCESS_DETACH)
    {
        // No CoFreeUnusedLibraries here: COM may be unloading this very module, and freeing
        // other servers from inside the loader lock brings the process down.
        CAppWrapper::Instance().ReleaseDispatch();
        // Unloaded while the process goes on: the runtime's own leftovers would pile up over
        // repeated loads. At process exit there is nothing to give back.
        if (!pvReserved)
            ReleaseRuntimeOnUnload(hInstance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_DocProvider))
        return CLASS_E_CLASSNOTAVAILABLE;
    return GetClassFactory<CDocProvider>(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    if (ComModule::LockCount() != 0)
        return S_FALSE;
    CAppWrapper::Instance().ReleaseDispatch();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    return RegisterDocProviderClass(ComModule::ModulePath());
}

STDAPI DllUnregisterServer()
{
    return UnregisterDocProviderClass();
}

// Lists the classes this module registers; the caller frees the array with CoTaskMemFree.
STDAPI DllGetClassID(CLSID** ppClassIDs, ULONG* pcClassIDs)
{
    if (!ppClassIDs || !pcClassIDs)
        return E_POINTER;
    auto* pIDs = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
    if (!pIDs)
        return E_OUTOFMEMORY;
    pIDs[0] = CLSID_DocProvider;
    *ppClassIDs = pIDs;
    *pcClassIDs = 1;
    return S_OK;
}

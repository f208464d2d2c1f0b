// The entry point of a stand-in library that is loaded and freed again and again while the
// process goes on: what the runtime keeps for the module is given back at each unload.
#include <windows.h>

#include "framework/RuntimeRelease.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved)
{
    if (dwReason == DLL_PROCESS_DETACH && !pvReserved)
        ReleaseRuntimeOnUnload(hInstance);
    return TRUE;
}

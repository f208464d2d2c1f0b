#pragma once
// Gives back what the static C++ runtime keeps for the life of a module when the module is
// unloaded while the process goes on (FreeLibrary): its thread support's per-thread record of
// the unloading thread (an event and a duplicated thread handle), the TLS index it allocated,
// and the C++ runtime's emergency exception buffer (about 18 KB). The runtime only gives these
// back when a thread ends, or never; a host that frees and loads the module again would gather
// them, and after about a thousand loads the runtime aborts the process for want of a TLS index.
#include <windows.h>

// Call from DllMain on DLL_PROCESS_DETACH when lpReserved is null (FreeLibrary, not process
// exit), as the module's last use of the runtime's threads: nothing of the module may run on
// this thread afterwards except static destructors that start no thread-support work.
void ReleaseRuntimeOnUnload(HMODULE hModule);

#pragma once
// The lock count that a COM server module's DllCanUnloadNow reads: one lock per live COM object
// and per IClassFactory::LockServer. Each module (DLL or program) that includes this has its own.
#include <windows.h>

namespace ComModule {

inline LONG g_lModuleLocks = 0;

inline void Lock() { InterlockedIncrement(&g_lModuleLocks); }
inline void Unlock() { InterlockedDecrement(&g_lModuleLocks); }
inline LONG LockCount() { return g_lModuleLocks; }

}  // namespace ComModule

#pragma once
// Process-wide module state: the lock count that DllCanUnloadNow reads, and the module handle
// that resources load from.
#include <windows.h>

#include "framework/ModuleLock.h"
#include "framework/StdStr.h"

namespace ComModule {

// The instance handle of the module that holds this code (the DLL, or a test program).
HINSTANCE Instance();

}  // namespace ComModule

namespace ComModule {

// Full path of this module's file (up to MAX_PATH characters), and its folder without the
// trailing backslash.
CStdStr ModulePath();
CStdStr ModuleFolder();

// A string resource of this module, or the fallback when it cannot be loaded.
CStdStr LoadResourceString(UINT nID, const wchar_t* pszFallback);

}  // namespace ComModule

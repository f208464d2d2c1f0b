#pragma once
// The module's COM registration, shared by DllRegisterServer and the installation export.
#include <windows.h>

#include <string>

namespace dms_standin {

std::wstring ModulePath();
// The four creatable classes under HKEY_CLASSES_ROOT and the embedded type library.
HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace dms_standin

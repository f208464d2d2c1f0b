#pragma once
// Equipment for tests that drive the built CmQuendrel.dll through COM: the module's path,
// its registration in the prefix (done once per test program by the global environment),
// and smart pointers for the host interfaces.
#include <windows.h>
#include <comdef.h>

#include <string>

#include <corvane/CorvaneHost.h>
#include <corvane/QuendrelResults.h>

#include "TestSupport.h"

_COM_SMARTPTR_TYPEDEF(IDocProvider, __uuidof(IDocProvider));
_COM_SMARTPTR_TYPEDEF(ICVComponent, __uuidof(ICVComponent));
_COM_SMARTPTR_TYPEDEF(ICVErrorInfo, __uuidof(ICVErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICVDiagnostics, __uuidof(ICVDiagnostics));
_COM_SMARTPTR_TYPEDEF(ICVQueryInfo, __uuidof(ICVQueryInfo));
_COM_SMARTPTR_TYPEDEF(ICVRegistration, __uuidof(ICVRegistration));
_COM_SMARTPTR_TYPEDEF(ICVCustomCommand2, __uuidof(ICVCustomCommand2));
_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));
_COM_SMARTPTR_TYPEDEF(ICVHelpDefinition, __uuidof(ICVHelpDefinition));

using UnknownPtr = _com_ptr_t<_com_IIID<IUnknown, &IID_IUnknown>>;

// Full path of the CmQuendrel.dll built beside the tests.
std::wstring ProviderModulePath();

// Calls one of the module's exported entry points directly.
HRESULT CallDllCanUnloadNow();

// Registry place of the DMS client's installation value that the provider checks.
constexpr wchar_t kDmsClientKey[] = L"SOFTWARE\\Hummingbird\\Powerdocs";

// Makes the DMS client look installed (or not) for the lifetime of the object.
class ScopedDmsClient
{
public:
    explicit ScopedDmsClient(bool bInstalled);

private:
    testing_support::ScopedRegValue m_installPath;
};

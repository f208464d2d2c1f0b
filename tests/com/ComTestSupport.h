#pragma once
// Equipment for tests that drive the built CmQuendrel.dll through COM: its registration (once per
// program), host interface pointers and records, and the DMS stand-in prepared for one test.
#include <windows.h>
#include <comdef.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

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
// Registers the provider, the host's component manager and the type library, or fails the test.
void RegisterProviderForTests();
// An entry point the loaded CmQuendrel.dll exports (null when it is not loaded or has none).
template <typename Fn> Fn* ModuleExport(const char* pszName)
{
    const HMODULE hModule = GetModuleHandleW(L"CmQuendrel.dll");
    return hModule ? reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(hModule, pszName))) : nullptr;
}
// Calls the module's exported DllCanUnloadNow directly.
HRESULT CallDllCanUnloadNow();

// Registry place of the DMS client's installation value that the provider checks.
constexpr wchar_t kDmsClientKey[] = L"SOFTWARE\\Hummingbird\\Powerdocs";

// Frees the strings of a host record the way a host does, and zeroes it.
void FreeHostDocument(CVDOCUMENT& doc);

// A host record that owns its strings.
struct HostDocument
{
    CVDOCUMENT doc = {};
    HostDocument() = default;
    ~HostDocument() { FreeHostDocument(doc); }
    HostDocument(const HostDocument&) = delete;
    HostDocument& operator=(const HostDocument&) = delete;
    std::wstring LocalFile() const { return doc.bstrLocalFile ? doc.bstrLocalFile : L""; }
};

// GetDocument of the ID: *pContent receives the handed-out file's bytes, and the file is deleted.
HRESULT FetchContent(ICVDocumentProvider7* pProvider, const _bstr_t& id, long lFlags, std::string* pContent);
// Reproducible pseudo-random bytes, for content of every size.
std::string RandomBytes(size_t cb, unsigned seed);
// The provider's private folder for copies it hands out, with the trailing backslash.
std::wstring ProviderTempFolder();

// The DMS stand-in for one test: a client of the given version, an empty catalog with library
// "LIB", users "alice" (this process's) and "bob"; faults, connection and user put back after.
class DmsStandInScope
{
public:
    DmsStandInScope() = default;
    ~DmsStandInScope();
    DmsStandInScope(const DmsStandInScope&) = delete;
    DmsStandInScope& operator=(const DmsStandInScope&) = delete;

    ::testing::AssertionResult Prepare(const wchar_t* pszVersion = L"5.3");
    // Empties the catalog again to the state Prepare leaves (the client kept); document numbers
    // start again from the first.
    static ::testing::AssertionResult Reseed();
    // Adds a document to "LIB" whose version 1 holds content; answers its number (0 on failure).
    LONG AddDocument(const wchar_t* pszName, const std::string& content);
    // The document ID "PowerDocs://LIB/<number>/<label>".
    static _bstr_t Id(LONG lNumber, const wchar_t* pszLabel);
};

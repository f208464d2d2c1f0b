#pragma once
// Equipment for tests that drive the built CmQuendrel.dll through COM: the module's path,
// its registration in the prefix (done once per test program by the global environment),
// smart pointers for the host interfaces, host records that own their strings, and the DMS
// stand-in prepared for one test.
#include <windows.h>
#include <comdef.h>

#include <string>

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

// Registers the provider (regsvr32), the host's component manager and the type library, as
// every program that drives the DLL needs them; fails the calling test when a step fails.
void RegisterProviderForTests();

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

// A host record that owns its strings.
struct HostDocument
{
    CVDOCUMENT doc = {};
    HostDocument() = default;
    ~HostDocument() { Clear(); }
    HostDocument(const HostDocument&) = delete;
    HostDocument& operator=(const HostDocument&) = delete;
    void Clear();
    std::wstring LocalFile() const { return doc.bstrLocalFile ? doc.bstrLocalFile : L""; }
};

// Frees the strings of a host record the way a host does, and zeroes it.
void FreeHostDocument(CVDOCUMENT& doc);

// The provider's private folder for copies it hands out, with the trailing backslash.
std::wstring ProviderTempFolder();

// The DMS stand-in for one test: installed as a client of the given version, with an empty
// catalog holding library "LIB" and the users "alice" (this process's DMS user) and "bob", and
// no faults. On destruction faults, connection state and the process's user are put back.
class DmsStandInScope
{
public:
    DmsStandInScope() = default;
    ~DmsStandInScope();
    DmsStandInScope(const DmsStandInScope&) = delete;
    DmsStandInScope& operator=(const DmsStandInScope&) = delete;

    ::testing::AssertionResult Prepare(const wchar_t* pszVersion = L"5.3");
    // Empties the catalog again (keeping the installed client) to the state Prepare leaves;
    // document numbers start again from the first.
    static ::testing::AssertionResult Reseed();
    // Adds a document to "LIB" whose version 1 holds content; answers its number (0 on failure).
    LONG AddDocument(const wchar_t* pszName, const std::string& content);
    // The document ID "PowerDocs://LIB/<number>/<label>".
    static _bstr_t Id(LONG lNumber, const wchar_t* pszLabel);
};

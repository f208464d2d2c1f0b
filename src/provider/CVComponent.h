#pragma once
// The shared component behaviour of the provider object: its version from the module's
// version resource, and the error and diagnostics questions that the host's component
// manager answers for codes the provider does not describe itself.
#include <windows.h>

#include <corvane/CorvaneHost.h>

struct CCVComponent
{
    // S_FALSE and untouched outputs when the module has no readable version resource.
    static HRESULT GetVersion(long* plMajor, long* plMinor, long* plBuild, long* plRevision);
};

struct CCVErrorInfo
{
    static HRESULT GetErrorDescription(HRESULT hrError, GUID guidSource, BSTR* pbstrDescription);
    static HRESULT GetHelpFile(HRESULT hrError, GUID guidSource, BSTR* pbstrHelpFile);
    static HRESULT CanDiagnose(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan);
    static HRESULT CanAutofix(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan);
};

struct CCVDiagnostics
{
    static HRESULT ExamineError(HRESULT hrError, GUID guidSource, BSTR* pbstrReport);
    static HRESULT FixError(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbFixed);
};

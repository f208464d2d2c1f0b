#pragma once
// Activates the host's registration-free COM manifest ("Corvane.RegFreeCom.manifest") for the
// lifetime of the object, through CVActivationContextLoader.dll in the folder of the option
// "ProgramLocation". Failures raise std::runtime_error with the loader's texts.
// Activation contexts belong to a thread: create and destroy the object on the same thread.
#include <windows.h>

#include "framework/Handles.h"
#include "framework/HostSuiteExports.h"
#include "framework/StdStr.h"

class CActivationContextLoader
{
public:
    CActivationContextLoader();   // loads the library and activates the manifest unless already active
    ~CActivationContextLoader();  // Unload(), with its failures swallowed
    CActivationContextLoader(const CActivationContextLoader&) = delete;
    CActivationContextLoader& operator=(const CActivationContextLoader&) = delete;

    // Deactivates (when this object activated) and frees the library; raises std::runtime_error
    // when either fails. Does nothing the second time.
    void Unload();

private:
    CLibrary m_library;
    HostSuite::PfnUnloadActivationContext m_pfnUnload = nullptr;
    ULONG_PTR m_ulCookie = 0;
    bool m_bActivated = false;
    CStdStr m_strLibraryPath;
};

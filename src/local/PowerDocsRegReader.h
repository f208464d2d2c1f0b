#pragma once
// PowerDocsRegReader: answers every question the component asks the registry about the
// installed DMS client (generation, program, shadow cache and local path, word-processor
// integration). Holds no state: make one on the stack per question. A missing key or value,
// a value of the wrong type or one longer than the read buffer gives "" or false, never an error.
// The operations call one another through the virtual interface, so a derived reader that
// answers one question differently (for example the installed generation) changes every answer
// built on it. The virtual operations keep their slot order.
#include <windows.h>

#include "framework/StdStr.h"

// How the DMS integrates with the word processor.
enum DMIntegrationMethod
{
    DMIntegrationNone = 0,
    DMIntegrationActiveMacro = 1,
    DMIntegrationActiveAutomation = 2,
    DMIntegrationPassiveMacro = 3,
    DMIntegrationPassiveAutomation = 4,
};

class PowerDocsRegReader
{
public:
    // "CurrentVersion" begins with "5" (and the install path is recorded).
    virtual bool IsPowerDocs50Installed() const;
    // "CurrentVersion" begins with "6".
    virtual bool IsDM6Installed() const;
    // major 0: any version from "5" on; otherwise the first character must equal major and,
    // when minor is not 0, the third (the digit after "5.") must equal minor.
    virtual bool IsPowerDocsGreaterThan50Installed(wchar_t chMajor, wchar_t chMinor) const;
    // The client's local path ("LocalPath" of the user's Fusion settings), or "".
    virtual CStdStr GetLocalPath() const;
    // The shadow cache root, with "%APPLICATION_DATA%" expanded and a bare drive made "X:\SHADOW".
    virtual CStdStr GetShadowPathStructureRootFolder() const;
    // The settings root of the installed generation (5.x, else 4.0, else 3.9), or "".
    virtual CStdStr GetRegRoot() const;
    virtual CStdStr GetShadowPathRegKeyName() const;
    virtual CStdStr GetPowerDocsRegistryRoot() const;
    virtual CStdStr GetPowerDocs4RegistryRoot() const;
    virtual CStdStr GetPowerDocs39RegistryRoot() const;
    virtual CStdStr GetPowerDocs31RegistryRoot() const;
    // Reads a string value (the empty name is the key's default value) of at most 260 bytes.
    virtual bool GetRegistryStringValue(HKEY hRoot, const CStdStr& strSubKey, const CStdStr& strValueName,
                                        CStdStr& strValue) const;

    // The client's program: "FsPlugin.dll" in the install path for 5.x and later, otherwise
    // "PowerDocs.exe" of the newest older root that records one; "" (and one log line) if none.
    CStdStr GetExeName() const;
    DMIntegrationMethod GetIntegrationMethod() const;

private:
    // On success sets strPath to the root's "Path" + "\PowerDocs.exe"; otherwise leaves it.
    bool CanGetExecutableName(const CStdStr& strRoot, CStdStr& strPath) const;
};

#pragma once
// Administration surface of DmsStandIn.dll, the DMS client stand-in: install it as a DMS client
// would be installed, fill and reset its catalog, and steer it from tests (current user,
// connection state, scripted form answers, injected faults, live objects).
//
// Catalog, connection state and form script live in the registry and are seen by every
// process of the prefix; the current user, faults, call counts, the live-object count and the
// last parent window belong to the calling process.
#include <windows.h>
#include <oleauto.h>

#ifdef __cplusplus
extern "C" {
#endif

// Installs the client: its registry values (install folder, "CurrentVersion" = pszVersion,
// "5.3" when null; cache folder keys), FsPlugin.dll in the install folder, the content folders
// and the COM registration of this module. Calling it again switches the client version.
HRESULT __cdecl StandIn_Install(const wchar_t* pszVersion);
// Removes the client's registry values, FsPlugin.dll and the COM registration.
HRESULT __cdecl StandIn_Uninstall(void);

// Empties the catalog and the content folders; keeps the default applications and user,
// sets the connection online and drops any form script.
HRESULT __cdecl StandIn_Reset(void);
// Replaces the catalog with the demo data set: libraries DEMO and ARCHIVE, several documents
// with versions, a sub-version and an attachment (see dmsadmin.cpp).
HRESULT __cdecl StandIn_SeedDemo(void);
// Text listing of libraries, documents, versions and locks; free it with SysFreeString.
BSTR __cdecl StandIn_ListCatalog(void);

HRESULT __cdecl StandIn_AddLibrary(const wchar_t* pszLibrary);
HRESULT __cdecl StandIn_AddApplication(const wchar_t* pszAppID, const wchar_t* pszExtension);
// Adds a profile form with its type bits to a library; a library has no forms until one is added.
HRESULT __cdecl StandIn_AddForm(const wchar_t* pszLibrary, const wchar_t* pszForm, LONG lType);
HRESULT __cdecl StandIn_AddUser(const wchar_t* pszUser);
// Adds a profile with version 1 holding the given bytes; the extension is the application's.
HRESULT __cdecl StandIn_AddDocument(const wchar_t* pszLibrary, const wchar_t* pszName, const wchar_t* pszAppID,
                                    const void* pContent, DWORD cbContent, LONG* plDocNumber);
// Adds a version under a label (empty: the next version number): "3" a version, "2A" a sub-version, "PDF" an
// attachment (a label that does not begin with a digit). The extension of an attachment is its
// label in lower case, that of a version the document's.
HRESULT __cdecl StandIn_AddVersion(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                   const void* pContent, DWORD cbContent, const wchar_t* pszComment);
// Sets a profile column ("DOCNAME", "APP_ID", "TYPE_ID", "AUTHOR_ID", "TYPIST_ID", "CLIENT_ID",
// "MATTER_ID") or "FormName" / "WorkingFolder".
HRESULT __cdecl StandIn_SetProfileValue(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszName,
                                        const wchar_t* pszValue);
HRESULT __cdecl StandIn_SetVersionRights(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                         BOOL bCanNewVersion, BOOL bCanNewSubversion);
// Locks a document for a user, or unlocks it when pszUser is null or empty.
HRESULT __cdecl StandIn_SetLock(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszUser);
// Full path of a version's content in the server store (the file that UploadFile writes).
HRESULT __cdecl StandIn_ServerFilePath(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                       wchar_t* pszPath, DWORD cchPath);
// Full path of a version's copy in the client's local store (the file that Fetch writes).
HRESULT __cdecl StandIn_CacheFilePath(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                      wchar_t* pszPath, DWORD cchPath);

// The catalog's default user, used by processes without their own user.
HRESULT __cdecl StandIn_SetDefaultUser(const wchar_t* pszUser);
// This process's DMS user (the environment variable DMS_STANDIN_USER, so child processes
// inherit it); null returns the process to the default user.
HRESULT __cdecl StandIn_SetProcessUser(const wchar_t* pszUser);
// Connection state as IApplicationState reports it: 0 online, 1 or 2 offline.
HRESULT __cdecl StandIn_SetConnectionState(LONG lState);
// Makes every DMS call (each counted call: methods, creations, error reads) take this many
// microseconds more, spent inside the call and counted in StandIn_DmsSeconds, as a round trip
// to a server would. A setting of the prefix that survives StandIn_Reset, read once by each
// process; it applies to the calling process at once. The environment variable
// DMS_STANDIN_LATENCY_US overrides it for a process (and the processes it starts).
HRESULT __cdecl StandIn_SetCallLatency(LONG lMicroseconds);
// The microseconds each DMS call of this process takes on top of its work.
LONG __cdecl StandIn_CallLatency(void);

// Replaces the form script with the given lines (separated by line breaks), answered first in,
// first out by the DMS's forms:
//   select PowerDocs://LIB/num[/label]  selection form: status 1, that profile chosen
//   status <n>                          selection form: status n, nothing chosen
//   version <label>                     version chooser: that version
//   ok [<folder>]                       profile forms: confirmed (the DM 6 form also returns
//                                       a folder of that name)
//   stored [<folder>]                   the DM 6 profile form: as "ok", but the profile is
//                                       stored at once, before the form's last step
//   cancel                              any form: cancelled
// A form with no line left, or with a line meant for another form, answers cancelled.
HRESULT __cdecl StandIn_ScriptForms(const wchar_t* pszLines);
LONG __cdecl StandIn_PendingFormAnswers(void);

// Makes the named method ("IVersion::Fetch", "ILibraries::Item", property names without get/put)
// fail in this process. At its lAtCall-th call from now (1 = the next call), and at every later
// call when bAlways is set, the method returns hrFailure; with a non-zero lErrorNumber it instead
// records that DMS error number and answers success with empty results (status 0, no object).
HRESULT __cdecl StandIn_InjectFault(const wchar_t* pszMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall,
                                    BOOL bAlways);
// The ways a fault injected by StandIn_InjectFaultForm shows.
enum StandInFaultForm
{
    STANDIN_FAULT_NONE = 0,          // withdraws the method's fault, its call count kept
    STANDIN_FAULT_RAISED = 1,        // the method returns E_FAIL with error information
    STANDIN_FAULT_ERROR_NUMBER = 2,  // success with empty results and DMS error number 11 recorded
    STANDIN_FAULT_SILENT = 3,        // success with empty results (status 0) and no error number
    STANDIN_FAULT_END_PROCESS = 4,   // the process ends (exit code 99) before the call does anything
};
// Makes the named method fail in this process in the given form, at its lAtCall-th call from now
// and, with bAlways, at every later call. With STANDIN_FAULT_END_PROCESS a null or empty method
// means the lAtCall-th call of any method (as StandIn_TotalCalls counts them).
// A process started with the environment variable DMS_STANDIN_END_AT set to "<n>" or
// "<method>#<n>" ends the same way at that call, counted from its start.
HRESULT __cdecl StandIn_InjectFaultForm(const wchar_t* pszMethod, LONG lForm, LONG lAtCall, BOOL bAlways);
// The calls since the last StandIn_ClearFaults, one line per method: its name, a tab, its calls,
// a tab and the forms a fault of it can take: "R" raised, "E" error number, "S" silent (only
// methods with an out value can fail silently); nothing for the calls no fault can reach
// (creations, error reads). Free it with SysFreeString.
BSTR __cdecl StandIn_FaultPoints(void);
// Clears every fault, the call counts and times, the parent-window record, the form record and
// the selections for editing of this process.
void __cdecl StandIn_ClearFaults(void);
// Calls of the named method in this process since the last StandIn_ClearFaults. Creating one
// of the stand-in's classes counts as a call named "CoCreateInstance(<class>)", e.g.
// "CoCreateInstance(Application)"; reading an object's error state counts as
// "IDMError::ErrorNumber" and "IDMError::ErrorDescription".
LONG __cdecl StandIn_CallCount(const wchar_t* pszMethod);
// Calls of all DMS methods in this process since the last StandIn_ClearFaults.
LONG __cdecl StandIn_TotalCalls(void);
// Seconds spent inside the stand-in's methods (from a method's entry to its return, the
// counted creations included) in this process since the last StandIn_ClearFaults. A method
// that another method of the stand-in calls is inside its caller's time, never added twice.
double __cdecl StandIn_DmsSeconds(void);
// The calls since the last StandIn_ClearFaults, one line per method: its name, a tab, its
// calls, a tab and the seconds spent inside it. Free it with SysFreeString.
BSTR __cdecl StandIn_CallStatistics(void);
// Stand-in COM objects alive in this process.
LONG __cdecl StandIn_LiveObjects(void);
// Last value written to an application's ParentWindow in this process, -1 when none was
// written since the last StandIn_ClearFaults.
LONG __cdecl StandIn_LastParentWindow(void);
// Whether this process has taken the document for editing (IProfile::SelectForEdit answered 1)
// and not given it back (IProfile::ReleaseDoc) since the last StandIn_ClearFaults.
BOOL __cdecl StandIn_IsSelectedForEdit(const wchar_t* pszLibrary, LONG lDocNumber);
// The forms shown in this process since the last StandIn_ClearFaults, one line each, in order:
//   select <parent window>       the selection form, with the parent window written before it
//   choose-version <title>       the version chooser and its title
//   dm5-field <name>=<value>     one field given to the DM 5 profile form
// Free it with SysFreeString.
BSTR __cdecl StandIn_FormRecord(void);

// Grants or withholds a library right of every user ("User.DeleteVersions",
// "User.DeleteDocuments", "User.EditProfiles"; all granted by default). Without
// "User.DeleteVersions" deleting a version fails with E_ACCESSDENIED; without
// "User.DeleteDocuments" deleting a document answers status 0 without an error number.
HRESULT __cdecl StandIn_SetLibraryRight(const wchar_t* pszLibrary, const wchar_t* pszRight, BOOL bGranted);
// A profile's history, one line per event, oldest first: description, text, the two numbers
// and the user, separated by tabs. Free it with SysFreeString; null for an unknown profile.
BSTR __cdecl StandIn_ListHistory(const wchar_t* pszLibrary, LONG lDocNumber);

// Odd catalog contents for tests of the product's reading of them:
// The label IVersion::Label reports for a version (pszShown may be empty); the version stays
// reachable under its own label.
HRESULT __cdecl StandIn_SetVersionLabel(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                        const wchar_t* pszShown);
// Lists the version a second time at the end of the document's versions collection (Count and
// Item by index); null or empty ends the repetition.
HRESULT __cdecl StandIn_RepeatVersion(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel);
// Gives the stored file of a version or attachment another extension (without the dot); its
// content moves along, its cached copy is dropped.
HRESULT __cdecl StandIn_SetVersionExtension(const wchar_t* pszLibrary, LONG lDocNumber, const wchar_t* pszLabel,
                                            const wchar_t* pszExtension);

#ifdef __cplusplus
}

#include <sstream>
#include <string>
#include <utility>
#include <vector>

// One call the stand-in counted: the method, which of its calls (1 = its first since the
// faults were cleared) and the fault forms it can take, as StandIn_FaultPoints gives them.
struct StandInCall
{
    std::wstring strMethod;
    LONG lCall;
    std::wstring strForms;
};

// Every call the stand-in counted since the faults were last cleared: the points at which a
// test injects a fault, one run at a time.
inline std::vector<StandInCall> StandIn_EachCountedCall()
{
    std::vector<StandInCall> calls;
    BSTR bstr = StandIn_FaultPoints();
    std::wistringstream lines(bstr ? bstr : L"");
    SysFreeString(bstr);
    for (std::wstring line; std::getline(lines, line);)
    {
        const size_t nTab = line.find(L'\t');
        const size_t nForms = line.find(L'\t', nTab + 1);
        if (nTab == std::wstring::npos || nForms == std::wstring::npos)
            continue;
        const LONG lCount = std::stol(line.substr(nTab + 1));
        for (LONG n = 1; n <= lCount; ++n)
            calls.push_back({line.substr(0, nTab), n, line.substr(nForms + 1)});
    }
    return calls;
}
#endif

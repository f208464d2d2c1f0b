#pragma once
// Smart pointers for the DMS client's automation interfaces. Calling through an empty pointer
// raises _com_error(E_POINTER); DmsCheck turns a failed call's HRESULT into a raised
// _com_error, so that every DMS failure reaches the operation's boundary as an exception.
#include <windows.h>
#include <comdef.h>

#include <dms/DOCSObjects.h>

_COM_SMARTPTR_TYPEDEF(IDMError, __uuidof(IDMError));
_COM_SMARTPTR_TYPEDEF(IApplication, __uuidof(IApplication));
_COM_SMARTPTR_TYPEDEF(IApplicationState, __uuidof(IApplicationState));
_COM_SMARTPTR_TYPEDEF(ILibraries, __uuidof(ILibraries));
_COM_SMARTPTR_TYPEDEF(ILibrary, __uuidof(ILibrary));
_COM_SMARTPTR_TYPEDEF(IProfile, __uuidof(IProfile));
_COM_SMARTPTR_TYPEDEF(IVersions, __uuidof(IVersions));
_COM_SMARTPTR_TYPEDEF(IVersion, __uuidof(IVersion));
_COM_SMARTPTR_TYPEDEF(IColumns, __uuidof(IColumns));
_COM_SMARTPTR_TYPEDEF(IColumn, __uuidof(IColumn));
_COM_SMARTPTR_TYPEDEF(IProject, __uuidof(IProject));
_COM_SMARTPTR_TYPEDEF(IFolderLink, __uuidof(IFolderLink));
_COM_SMARTPTR_TYPEDEF(IRights, __uuidof(IRights));
_COM_SMARTPTR_TYPEDEF(IRight, __uuidof(IRight));
_COM_SMARTPTR_TYPEDEF(ISelectForm, __uuidof(ISelectForm));
_COM_SMARTPTR_TYPEDEF(IChosenProfiles, __uuidof(IChosenProfiles));
_COM_SMARTPTR_TYPEDEF(IDM6LibraryForms, __uuidof(IDM6LibraryForms));
_COM_SMARTPTR_TYPEDEF(IDM5LibraryForms, __uuidof(IDM5LibraryForms));
_COM_SMARTPTR_TYPEDEF(IDM5ProfileForm, __uuidof(IDM5ProfileForm));
_COM_SMARTPTR_TYPEDEF(IHistoryEvent, __uuidof(IHistoryEvent));
_COM_SMARTPTR_TYPEDEF(IDMSession, __uuidof(IDMSession));
_COM_SMARTPTR_TYPEDEF(IForms, __uuidof(IForms));
_COM_SMARTPTR_TYPEDEF(IForm, __uuidof(IForm));
_COM_SMARTPTR_TYPEDEF(IApplications, __uuidof(IApplications));
_COM_SMARTPTR_TYPEDEF(IApplicationEntry, __uuidof(IApplicationEntry));

// Raises the HRESULT of a failed DMS call as a _com_error; passes success codes through.
inline HRESULT DmsCheck(HRESULT hr)
{
    if (FAILED(hr))
        _com_issue_error(hr);
    return hr;
}

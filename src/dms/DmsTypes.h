#pragma once
// Smart pointers for the DMS client's automation interfaces. Calling through an empty pointer
// raises _com_error(E_POINTER); DmsCheck turns a failed call's HRESULT into a raised
// CDmsFailure (a _com_error that knows the call's file and line), so that every DMS failure
// reaches the operation's boundary as an exception. The other two ways the DMS reports a
// failure are checked in dms/DmsCall.h.
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

// Where a DMS call stands in the source: the file (without folder) and the line.
struct DmsCallSite
{
    const wchar_t* pszFile;
    int nLine;
};
#define DMS_CALL_WIDEN_(text) L##text
#define DMS_CALL_WIDEN(text) DMS_CALL_WIDEN_(text)
#define DMS_CALL_SITE (::DmsCallSite{::DmsFileNameOf(DMS_CALL_WIDEN(__FILE__)), __LINE__})

constexpr const wchar_t* DmsFileNameOf(const wchar_t* pszPath)
{
    const wchar_t* pszName = pszPath;
    for (const wchar_t* p = pszPath; *p; ++p)
        if (*p == L'/' || *p == L'\\')
            pszName = p + 1;
    return pszName;
}

// A DMS call that failed: the code to answer, the DMS's error number (0 when it gave none) and
// the site of the call.
class CDmsFailure : public _com_error
{
public:
    // bRaised: the call itself answered the failure (rather than an error number or a status).
    CDmsFailure(HRESULT hr, long lDmsError, const DmsCallSite& site, bool bRaised)
        : _com_error(hr), m_lDmsError(lDmsError), m_site(site), m_bRaised(bRaised)
    {
    }
    long DmsError() const { return m_lDmsError; }
    const DmsCallSite& Site() const { return m_site; }
    bool Raised() const { return m_bRaised; }

private:
    long m_lDmsError;
    DmsCallSite m_site;
    bool m_bRaised;
};

// Raises the HRESULT of a failed DMS call as a CDmsFailure at the call's site; passes success
// codes through.
inline HRESULT DmsRaise(HRESULT hr, const DmsCallSite& site)
{
    if (FAILED(hr))
        throw CDmsFailure(hr, 0, site, true);
    return hr;
}
#define DmsCheck(hr) ::DmsRaise((hr), DMS_CALL_SITE)

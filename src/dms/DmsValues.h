#pragma once
// Reading values out of DMS objects: texts, named profile columns, a version's profile, label
// and file, a profile's library name. Each raises _com_error on a DMS failure or a missing object.
#include <corvane/QuendrelResults.h>

#include "dms/DmsCall.h"
#include "dms/DmsTypes.h"
#include "framework/StdStr.h"

// The text of a BSTR that a DMS call returned ("" for a null BSTR).
inline CStdStr DmsText(const _bstr_t& bstr)
{
    const wchar_t* psz = bstr;
    return CStdStr(psz ? psz : L"");
}

// The value of one column of a columns collection; raises when the collection or the
// column is missing or the DMS fails.
inline _variant_t ReadColumn(IColumnsPtr pColumns, const wchar_t* pszName)
{
    IColumnPtr pColumn;
    DmsCheck(pColumns->get_Item(_variant_t(pszName), &pColumn));
    if (!pColumn)
        _com_issue_error(E_POINTER);
    _variant_t vValue;
    DmsCheck(pColumn->get_Value(&vValue));
    return vValue;
}

// One named column's value, read with every step checked for an error number as well: for
// values that must not be guessed.
inline _variant_t CheckedColumn(IColumnsPtr pColumns, const wchar_t* pszName)
{
    if (!pColumns)
        _com_issue_error(E_POINTER);
    IColumnPtr pColumn;
    DmsCheckNumber(pColumns, pColumns->get_Item(_variant_t(pszName), &pColumn));
    _variant_t vValue;
    DmsCheckNumber(pColumn, pColumn->get_Value(&vValue));
    return vValue;
}

// The profile's columns collection; raises when it is missing.
inline IColumnsPtr ColumnsOf(IProfilePtr pProfile)
{
    IColumnsPtr pColumns;
    DmsCheck(pProfile->get_Columns(&pColumns));
    if (!pColumns)
        _com_issue_error(E_POINTER);
    return pColumns;
}

// A profile and its columns collection, each read from the DMS at most once in an operation and
// handed along to every step of it that reads them: each read is a round trip to the DMS.
struct CProfileReads
{
    IProfilePtr pProfile;
    IColumnsPtr pColumns;
    // The columns collection, read at its first use; raises when it is missing.
    IColumnsPtr Columns()
    {
        if (!pColumns)
            pColumns = ColumnsOf(pProfile);
        return pColumns;
    }
};

// The profile a version belongs to.
inline IProfilePtr ProfileOf(IVersionPtr pVersion)
{
    IProfilePtr pProfile;
    DmsCheck(pVersion->GetProfile(&pProfile));
    if (!pProfile)
        _com_issue_error(E_POINTER);
    return pProfile;
}

// A text property of a DMS object, read through its getter; an error number the object records
// with it is a failure.
template <class Ptr, class Interface>
CStdStr TextOf(const Ptr& pObject, HRESULT (STDMETHODCALLTYPE Interface::*get)(BSTR*))
{
    if (!pObject)
        _com_issue_error(E_POINTER);
    _bstr_t bstr;
    DmsCheckNumber(pObject, (pObject->*get)(bstr.GetAddress()));
    return DmsText(bstr);
}

// The versions collection of a profile.
inline IVersionsPtr VersionsOfProfile(IProfilePtr pProfile)
{
    if (!pProfile)
        _com_issue_error(E_POINTER);
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    if (!pVersions)
        _com_issue_error(E_POINTER);
    return pVersions;
}

// The number of versions in a profile's collection, raising when the DMS does not tell: a
// profile that a version was found in has at least one.
inline long CheckedVersionCount(IVersionsPtr pVersions)
{
    long lCount = 0;
    DmsCheckNumber(pVersions, pVersions->get_Count(&lCount));
    if (lCount < 1)
        DmsCheck(E_PD_INVALID_STATE);
    return lCount;
}

// Whether a label names an attachment: not empty and not beginning with a decimal digit.
inline bool IsAttachmentLabel(const CStdStr& strLabel)
{
    return !strLabel.empty() && !(strLabel[0] >= L'0' && strLabel[0] <= L'9');
}

inline CStdStr VersionLabelOf(IVersionPtr pVersion)
{
    return TextOf(pVersion, &IVersion::get_Label);
}

// The path of the version's file in the DMS's local cache; raises when the DMS names none.
inline CStdStr VersionFilePathOf(IVersionPtr pVersion)
{
    CStdStr strPath = TextOf(pVersion, &IVersion::get_FilePath);
    if (strPath.empty())
        DmsCheck(E_PD_CANNOT_RETRIEVE_FILE);
    return strPath;
}

// The name of the library that holds the profile.
inline CStdStr LibraryNameOf(IProfilePtr pProfile)
{
    ILibraryPtr pLibrary;
    DmsCheck(pProfile->get_Library(&pLibrary));
    return TextOf(pLibrary, &ILibrary::get_Name);
}

// Sets the parent window of the application that owns the profile's library to 0, so that the
// DMS does not show its forms over the host during a fetch or an upload.
inline void ClearParentWindow(IProfilePtr pProfile)
{
    ILibraryPtr pLibrary;
    DmsCheck(pProfile->get_Library(&pLibrary));
    if (!pLibrary)
        _com_issue_error(E_POINTER);
    IApplicationPtr pApp;
    DmsCheck(pLibrary->get_Application(&pApp));
    if (!pApp)
        _com_issue_error(E_POINTER);
    DmsCheck(pApp->put_ParentWindow(0));
}

// CPDDocProviderHelper: putting a local file into the DMS as a new document without a dialog,
// and the DMS application that a library registers for a file extension.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <cwchar>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "framework/Logging.h"
#include "framework/TakeGuard.h"
#include "local/DocID.h"
#include "local/FileReplace.h"

namespace {

const wchar_t kImportDocument[] = L"CPDDocProviderHelper::ImportDocument";

bool EqualsNoCase(const CStdStr& a, const wchar_t* b)
{
    return _wcsicmp(a.c_str(), b) == 0;
}

// The first form of the library whose type allows an import, else the import's own form.
CStdStr ImportFormOf(ILibraryPtr pLibrary)
{
    IFormsPtr pForms;
    DmsCheck(pLibrary->get_Forms(&pForms));
    if (!pForms)
        _com_issue_error(E_POINTER);
    long lCount = 0;
    DmsCheck(pForms->get_Count(&lCount));
    for (long i = 1; i <= lCount; ++i)
    {
        IFormPtr pForm;
        DmsCheck(pForms->get_Item(_variant_t(i, VT_I4), &pForm));
        if (!pForm)
            _com_issue_error(E_POINTER);
        long lType = 0;
        DmsCheck(pForm->get_Type(&lType));
        if (lType & DMS_FORM_TYPE_IMPORT)
            return TextOf(pForm, &IForm::get_Name);
    }
    return DMS_IMPORT_FORM;
}

}  // namespace

CStdStr CPDDocProviderHelper::GetAppIDForExtension(ILibraryPtr pLibrary, const CStdStr& strExtension)
{
    if (!pLibrary)
        _com_issue_error(E_POINTER);
    IApplicationsPtr pApps;
    DmsCheck(pLibrary->get_Applications(&pApps));
    if (!pApps)
        _com_issue_error(E_POINTER);
    long lCount = 0;
    DmsCheck(pApps->get_Count(&lCount));
    CStdStr strAppID;
    for (long i = 1; i <= lCount; ++i)
    {
        IApplicationEntryPtr pEntry;
        DmsCheck(pApps->get_Item(_variant_t(i, VT_I4), &pEntry));
        if (EqualsNoCase(TextOf(pEntry, &IApplicationEntry::get_Extension), strExtension.c_str()))
        {
            strAppID = TextOf(pEntry, &IApplicationEntry::get_ApplicationID);
            break;
        }
    }
    // The viewer formats always open in the viewer, whatever the library registers for them.
    if (EqualsNoCase(strExtension, L"XDF") || EqualsNoCase(strExtension, L"RDF"))
        strAppID = DMS_APP_ID_VIEWER;
    if (strAppID.empty())
        strAppID = DMS_APP_ID_DEFAULT;
    return strAppID;
}

// Makes a new document of the current library from doc.LocalFile, with fixed profile values,
// and answers the record GetDocument fills for it (fetched and checked out when nFlags is not
// 0). The DMS's own errors are raised to the provider object. A failure code or a raised error
// means that no document was made: whatever the import made is deleted before it leaves, so a
// retry never makes a duplicate.
HRESULT CPDDocProviderHelper::ImportDocument(CVDocNonCom& doc, short nFlags)
{
    // Nothing is made in the DMS for a file that cannot be read.
    const CStdStr strLocalFile = doc.GetLocalFile();
    const DWORD dwAttributes = GetFileAttributesW(strLocalFile.c_str());
    if (strLocalFile.empty() || dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        const HRESULT hr = dwAttributes == INVALID_FILE_ATTRIBUTES && !strLocalFile.empty()
                               ? LastErrorAsHResult()
                               : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        LOG_ERROR(kImportDocument, L"ImportDocument - no local file: " + strLocalFile);
        return hr;
    }
    CTakeGuard guard(kImportDocument);
    IApplicationPtr pApp = OpenDmsApplication();
    DmsCheck(pApp->put_ParentWindow(DMS_NO_PARENT_WINDOW));
    ILibraryPtr pLibrary;
    DmsCheckNumber(pApp, pApp->get_CurrentLibrary(&pLibrary));
    const CStdStr strLibrary = TextOf(pLibrary, &ILibrary::get_Name);
    if (strLibrary.empty())
        DmsCheck(E_PD_NO_DOCUMENT_FOR_ID);
    IProfilePtr pProfile = MakeImportProfile(pLibrary, doc.GetName(), guard);
    const CTakeGuard::Take selection =
        TookSelection(guard, pProfile, L"the new document's profile");
    long lDocNumber = 0;
    DmsCheckNumber(pProfile, pProfile->get_DocNumber(&lDocNumber));
    if (lDocNumber <= 0)
        DmsCheck(E_PD_SAVE_FAILED);

    IVersionPtr pVersion;
    DmsCheckNumber(pProfile, pProfile->get_CurrentVersion(&pVersion));
    const HRESULT hrCopy = ReplaceFileContent(strLocalFile, VersionFilePathOf(pVersion));
    if (FAILED(hrCopy))
    {
        LOG_ERROR(kImportDocument, L"ImportDocument - copy failed: " + FormatHResult(hrCopy));
        return E_FAIL;
    }
    DmsCheckNumber(pVersion, pVersion->UploadFile(DMS_UPLOAD_NORMAL));
    const CTakeGuard::Take lock = guard.Took(L"the version's lock", [=] {
        short nStatus = 0;
        return DmsCheck(pVersion->UnlockVersion(DMS_OF_NORMAL, &nStatus));
    });
    guard.GiveBack(lock);
    guard.GiveBack(selection);

    // The record describes the new document: the file it came from is not the document's.
    doc.SetLocalFile(CStdStr());
    const HRESULT hr = GetDocument(FormatDocID(DOCID_SCHEME, strLibrary, lDocNumber, DMS_FIRST_VERSION_LABEL),
                                   nFlags ? GET_DOCUMENT_LOCK : GET_DOCUMENT_NO_FILE, doc);
    if (FAILED(hr))
        return hr;
    // The content is stored and the document complete; a profile that could not be given back
    // is still checked out, and the record says so.
    if (guard.Holds(selection))
        doc.SetFlags(doc.GetFlags() | RECORD_CHECKED_OUT);
    guard.Commit();
    return hr;
}

// The import's new profile, stored with its fixed values and registered with the guard, which
// deletes it unless the import completes.
IProfilePtr CPDDocProviderHelper::MakeImportProfile(ILibraryPtr pLibrary, const CStdStr& strName, CTakeGuard& guard)
{
    IProfilePtr pProfile;
    DmsCheckNumber(pLibrary,
                   pLibrary->NewProfile(DMS_NEW_PROFILE_FROM_FORM, _variant_t(ImportFormOf(pLibrary).c_str()), &pProfile));
    IColumnsPtr pColumns = ColumnsOf(pProfile);
    const struct
    {
        const wchar_t* pszColumn;
        CStdStr strValue;
    } values[] = {{L"APP_ID", DMS_APP_ID_DEFAULT}, {L"DOCNAME", strName},  {L"TYPE_ID", L"MEMO"},
                  {L"AUTHOR_ID", L"PAIR"},         {L"TYPIST_ID", L"PAIR"}, {L"CLIENT_ID", L"TEST"},
                  {L"MATTER_ID", L"TEST"}};
    for (const auto& value : values)
    {
        IColumnPtr pColumn;
        DmsCheck(pColumns->get_Item(_variant_t(value.pszColumn), &pColumn));
        if (!pColumn)
            DmsCheck(E_POINTER);
        DmsCheckNumber(pColumn, pColumn->put_Value(_variant_t(value.strValue.c_str())));
    }
    VARIANT_BOOL bSaved = VARIANT_FALSE;
    const HRESULT hrSave = pProfile->Save(DMS_PROFILE_SAVE_IMPORT, &bSaved);
    // Whatever the answer, the DMS may have stored the profile: the guard deletes it if so.
    TookNewProfile(guard, pProfile);
    DmsCheckNumber(pProfile, hrSave);
    if (bSaved == VARIANT_FALSE)
        DmsCheck(E_PD_SAVE_FAILED);
    return pProfile;
}

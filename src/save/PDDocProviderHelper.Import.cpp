// CPDDocProviderHelper: putting a local file into the DMS as a new document without a dialog,
// and the DMS application that a library registers for a file extension.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <cwchar>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "framework/GiveBack.h"
#include "framework/Logging.h"
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
// 0). The DMS's own errors are raised to the provider object; before they leave, a document
// that the import made but could not fill is released and deleted, so that no empty document
// stays behind.
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

    IProfilePtr pProfile;
    bool bMade = false;  // the DMS stored the new profile, and it is not complete yet
    // Gives the new document back the way a finished import does (ReleaseDoc), then deletes it.
    auto discard = [&] {
        if (!bMade)
            return;
        GiveBackStep(LOG_SITE, kImportDocument, [&] { return pProfile->ReleaseDoc(); });
        GiveBackStep(LOG_SITE, kImportDocument, [&] {
            short nStatus = 0;
            DmsCheck(pProfile->DeleteDocument(DMS_DELETE_DOCUMENT, &nStatus));
            return nStatus ? S_OK : GetReturnCode(pProfile, L"ImportDocument - DeleteDocument failed:", E_FAIL);
        });
        bMade = false;
    };

    CStdStr strDocID;
    try
    {
        IApplicationPtr pApp = OpenDmsApplication();
        DmsCheck(pApp->put_ParentWindow(DMS_NO_PARENT_WINDOW));
        ILibraryPtr pLibrary;
        DmsCheck(pApp->get_CurrentLibrary(&pLibrary));
        if (!pLibrary)
            _com_issue_error(E_POINTER);

        DmsCheck(pLibrary->NewProfile(DMS_NEW_PROFILE_FROM_FORM, _variant_t(ImportFormOf(pLibrary).c_str()), &pProfile));
        if (!pProfile)
            _com_issue_error(E_POINTER);
        {
            IColumnsPtr pColumns = ColumnsOf(pProfile);
            const struct
            {
                const wchar_t* pszColumn;
                CStdStr strValue;
            } values[] = {{L"APP_ID", DMS_APP_ID_DEFAULT}, {L"DOCNAME", doc.GetName()},  {L"TYPE_ID", L"MEMO"},
                          {L"AUTHOR_ID", L"PAIR"},         {L"TYPIST_ID", L"PAIR"},      {L"CLIENT_ID", L"TEST"},
                          {L"MATTER_ID", L"TEST"}};
            for (const auto& value : values)
            {
                IColumnPtr pColumn;
                DmsCheck(pColumns->get_Item(_variant_t(value.pszColumn), &pColumn));
                if (!pColumn)
                    _com_issue_error(E_POINTER);
                DmsCheck(pColumn->put_Value(_variant_t(value.strValue.c_str())));
            }
        }

        VARIANT_BOOL bSaved = VARIANT_FALSE;
        DmsCheck(pProfile->Save(DMS_PROFILE_SAVE_IMPORT, &bSaved));
        bMade = true;
        long lDocNumber = 0;
        DmsCheck(pProfile->get_DocNumber(&lDocNumber));
        const HRESULT hrSave = GetReturnCode(pProfile, L"ImportDocument - Save failed:", S_OK);
        if (FAILED(hrSave) || lDocNumber == 0 || bSaved == VARIANT_FALSE)
        {
            discard();
            return FAILED(hrSave) ? hrSave : E_PD_SAVE_FAILED;
        }

        IVersionPtr pVersion;
        DmsCheck(pProfile->get_CurrentVersion(&pVersion));
        if (!pVersion)
            _com_issue_error(E_POINTER);
        const HRESULT hrCopy = ReplaceFileContent(strLocalFile, VersionFilePathOf(pVersion));
        if (FAILED(hrCopy))
        {
            LOG_ERROR(kImportDocument, L"ImportDocument - copy failed: " + FormatHResult(hrCopy));
            discard();
            return E_FAIL;
        }
        strDocID = CStdStr::Format(L"PowerDocs://%ls/%ld/1", TextOf(pLibrary, &ILibrary::get_Name).c_str(), lDocNumber);

        DmsCheck(pVersion->UploadFile(DMS_UPLOAD_NORMAL));
        const HRESULT hrUpload = GetReturnCode(pVersion, L"ImportDocument - UploadFile failed:", S_OK);
        if (FAILED(hrUpload))
        {
            discard();
            return hrUpload;
        }

        // The content is stored and the document complete: a failure to give it back is logged
        // and does not undo the import.
        bMade = false;
        GiveBackStep(LOG_SITE, kImportDocument, [&] {
            short nStatus = 0;
            return pVersion->UnlockVersion(DMS_OF_NORMAL, &nStatus);
        });
        GiveBackStep(LOG_SITE, kImportDocument, [&] { return pProfile->ReleaseDoc(); });
    }
    catch (...)
    {
        discard();
        throw;
    }
    // The record describes the new document: the file it came from is not the document's.
    doc.SetLocalFile(CStdStr());
    return GetDocument(strDocID, nFlags ? GET_DOCUMENT_LOCK : GET_DOCUMENT_NO_FILE, doc);
}

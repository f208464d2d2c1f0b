// CPDDocProviderHelper: the creating routines of a save (a new document, a new version or
// subversion) and the profile routines they share.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsConstants.h"
#include "dms/DmsErrors.h"
#include "dms/DmsValues.h"
#include "dms/PowerDocsDocInfo.h"
#include "framework/GiveBack.h"
#include "framework/Logging.h"
#include "save/SaveAsDlg.h"

namespace {

const wchar_t kSaveAsVersion[] = L"CPDDocProviderHelper::SaveAsVersion";
const wchar_t kSaveAsNewDocument[] = L"CPDDocProviderHelper::SaveAsNewDocument";

}  // namespace

// A profile save that the DMS answers with VARIANT_FALSE stored nothing: raised, so that the
// save stops instead of handing the host a document that does not exist.
void CPDDocProviderHelper::SaveProfile(IProfilePtr pProfile)
{
    if (!pProfile)
        _com_issue_error(E_POINTER);
    VARIANT_BOOL bSaved = VARIANT_FALSE;
    DmsCheck(pProfile->Save(DMS_PROFILE_SAVE, &bSaved));
    if (bSaved == VARIANT_FALSE)
    {
        LOG_ERROR(L"CPDDocProviderHelper::SaveProfile", L"SaveProfile failed returned VARIANT_FALSE");
        _com_issue_error(GetReturnCode(pProfile, L"SaveProfile", E_FAIL));
    }
}

void CPDDocProviderHelper::AddComment(const CSaveAsDlg& dlg, IVersionPtr pVersion)
{
    if (!pVersion)
        _com_issue_error(E_POINTER);
    DmsCheck(pVersion->put_Comment(_bstr_t(dlg.GetComment().c_str())));
}

// Makes a new version (choice New Version) or subversion (New Subversion) of pVersion with the
// dialog's comment. The existing version is checked out around the creation unless its user
// already holds it; everything this call took is given back on every failure, and a DMS error
// is raised again to the caller after that. No placeholder file is made: nothing reads one.
HRESULT CPDDocProviderHelper::SaveAsVersion(CVDocNonCom& doc, IProfilePtr, IVersionPtr pVersion, const CSaveAsDlg& dlg)
{
    if (WorkingOffLine())
        return E_NOT_AVAILABLE_OFFLINE;
    if (!pVersion)
        _com_issue_error(E_POINTER);

    const bool bSubversion = dlg.GetUserChoice() == SAVE_CHOICE_NEW_SUBVERSION;
    IProfilePtr pProfile;
    IVersionPtr pNew;
    bool bLocked = false;    // DM 6: the existing version checked out by this call
    bool bSelected = false;  // DM 5: the profile selected for editing by this call

    // Gives back what this call took, the way the success path gives back the DM 6 lock; the
    // DM 5 selection, which a success keeps, goes back with the profile's release.
    auto giveBack = [&] {
        if (bLocked)
            GiveBackStep(LOG_SITE, kSaveAsVersion, [&] { return UnlockVersion(pVersion); });
        if (bSelected)
            GiveBackStep(LOG_SITE, kSaveAsVersion, [&] { return pProfile->ReleaseDoc(); });
        bLocked = bSelected = false;
    };
    // A version made by this call that the host cannot be told about is removed again.
    auto discardNew = [&] {
        if (pNew)
            GiveBackStep(LOG_SITE, kSaveAsVersion, [&] { return pNew->Delete(); });
        pNew = nullptr;
    };

    try
    {
        const CStdStr strAuthor = TextOf(pVersion, &IVersion::get_Author);
        const CStdStr strTypist = TextOf(pVersion, &IVersion::get_Typist);
        pProfile = ProfileOf(pVersion);
        const bool bDM6 = IsDM6Installed();

        CStdStr strOwner;
        const long lState = GetProfileLockStatus(pProfile, strOwner);
        if (lState == LOCK_STATE_OTHER_USER)
        {
            LOG_ERROR(kSaveAsVersion, L"The document is checked out by " + strOwner);
            return E_DOCUMENT_LOCKED_BY_OTHER;
        }
        if (lState == LOCK_STATE_NONE)
        {
            if (bDM6)
            {
                const HRESULT hr = LockVersion(pVersion);
                if (FAILED(hr))
                    return hr;
                bLocked = true;
            }
            else
            {
                short nStatus = 0;
                DmsCheck(pProfile->SelectForEdit(DMS_SELECT_FOR_CHECK_OUT, &nStatus));
                if (nStatus == 0)
                    return GetReturnCode(pProfile, L"SaveAsVersion - pProf->SelectForEdit()", E_PD_SAVE_FAILED);
                bSelected = true;
            }
        }

        VARIANT_BOOL bCanNewVersion = VARIANT_FALSE;
        VARIANT_BOOL bCanNewSubversion = VARIANT_FALSE;
        DmsCheck(pVersion->get_CanNewVersion(&bCanNewVersion));
        DmsCheck(pVersion->get_CanNewSubversion(&bCanNewSubversion));
        if (!bSubversion && bCanNewVersion == VARIANT_FALSE)
        {
            LOG_ERROR(kSaveAsVersion, L"GetSaveInfo() : E_PD_CANNOT_SAVE_AS_NEW_VERSION");
            giveBack();
            return E_PD_CANNOT_SAVE_AS_NEW_VERSION;
        }
        if (bSubversion && bCanNewSubversion == VARIANT_FALSE)
        {
            LOG_ERROR(kSaveAsVersion, L"GetSaveInfo() : E_PD_CANNOT_SAVE_AS_NEW_SUBVERSION");
            giveBack();
            return E_PD_CANNOT_SAVE_AS_NEW_SUBVERSION;
        }

        const _bstr_t bstrComment(dlg.GetComment().c_str());
        const _variant_t vAuthor(strAuthor.c_str());
        const _variant_t vTypist(strTypist.c_str());
        if (bSubversion)
            DmsCheck(pVersion->NewSubversion(DMS_NEW_VERSION, bstrComment, vAuthor, vTypist, DMS_NEW_VERSION_RESERVED,
                                             DMS_NEW_VERSION_RESERVED, &pNew));
        else
            DmsCheck(pVersion->NewVersion(DMS_NEW_VERSION, bstrComment, vAuthor, vTypist, DMS_NEW_VERSION_RESERVED,
                                          DMS_NEW_VERSION_RESERVED, &pNew));

        // A record that does not name the new version would let the host's following save
        // write over the original: without one the save fails.
        CPowerDocsDocInfo info;
        if (!pNew || !info.Populate(pNew) || !info.IsComplete())
        {
            LOG_ERROR(kSaveAsVersion, L"The new version could not be read back");
            discardNew();
            giveBack();
            return E_FAIL;
        }

        long lFlags = RECORD_CHECKED_OUT;
        if (bDM6 && bLocked)
        {
            // The existing version goes back; the new one is checked out in its place, and the
            // record says checked out only when that worked.
            giveBack();
            if (FAILED(LockVersion(pNew)))
                lFlags = 0;
        }
        CVDocNonCom result = doc;
        // The properties are read again from the DMS; the ID stays the one checked above.
        PopulateDocumentProperties(result, pNew);
        result.SetDocID(info.AsDocID());
        result.SetFlags(lFlags);
        doc = result;
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kSaveAsVersion, e);
        discardNew();
        giveBack();
        throw;
    }
}

// Makes a new document in the library the dialog names, through the DMS's profile form, files it
// in the folder chosen there and checks it out for the host's following save. A profile the
// DMS made for a save that then fails is released and deleted again. A form the user cancelled
// answers S_FALSE, one the DMS failed its failure code. No placeholder file is made: nothing
// here reads one, and the host's following save writes the real content.
HRESULT CPDDocProviderHelper::SaveAsNewDocument(CVDocNonCom& doc, IApplicationPtr, IProfilePtr& pProfile,
                                                IVersionPtr& pVersion, CSaveAsDlg& dlg)
{
    auto discardProfile = [&] {
        if (pProfile)
        {
            GiveBackStep(LOG_SITE, kSaveAsNewDocument, [&] { return pProfile->ReleaseDoc(); });
            GiveBackStep(LOG_SITE, kSaveAsNewDocument, [&] {
                long lNumber = 0;
                DmsCheck(pProfile->get_DocNumber(&lNumber));
                if (lNumber == 0)
                    return S_OK;  // never stored
                short nStatus = 0;
                DmsCheck(pProfile->DeleteDocument(0, &nStatus));
                return nStatus != 0 ? S_OK : E_FAIL;
            });
        }
        pVersion = nullptr;
        pProfile = nullptr;
    };

    try
    {
        ILibraryPtr pLibrary = dlg.GetSelectedLibrary();
        if (!pLibrary)
            return FAILED(dlg.GetLibraryLookupResult()) ? dlg.GetLibraryLookupResult() : S_FALSE;
        IProjectPtr pProject;
        HRESULT hrForm = S_FALSE;
        pProfile = GetProfileUsingProfileSelectForm(pLibrary, pProject, doc, hrForm);
        if (!pProfile)
            return FAILED(hrForm) ? hrForm : S_FALSE;  // a failed form is not a cancel

        if (pProject)
        {
            short nStatus = 0;
            DmsCheck(pProject->AddDocument(_variant_t(static_cast<IDispatch*>(pProfile.GetInterfacePtr())), &nStatus));
        }
        SaveProfile(pProfile);
        if (pProject)
        {
            IFolderLinkPtr pLink;
            DmsCheck(pProfile->get_FolderLink(&pLink));
            if (!pLink)
                _com_issue_error(E_POINTER);
            DmsCheck(pLink->LinkToProject(pProject));
            VARIANT_BOOL bSaved = VARIANT_FALSE;
            DmsCheck(pProfile->Save(DMS_PROFILE_SAVE_AGAIN, &bSaved));
        }
        DmsCheck(pProfile->get_CurrentVersion(&pVersion));
        if (!pVersion)
            _com_issue_error(E_POINTER);
        AddComment(dlg, pVersion);

        CPowerDocsDocInfo info;
        if (!info.Populate(pVersion) || !info.IsComplete())
        {
            LOG_ERROR(kSaveAsNewDocument, L"The new document could not be read back");
            discardProfile();
            return E_FAIL;
        }
        CVDocNonCom result = doc;
        // The properties are read again from the DMS; the ID stays the one checked above.
        PopulateDocumentProperties(result, pVersion);
        result.SetDocID(info.AsDocID());
        DmsCheck(pProfile->ReleaseDoc());

        // The new document is checked out for the host's following save; the record says so
        // only when the lock was really taken.
        if (!IsDM6Installed())
        {
            const HRESULT hr = LockDocument(result.GetDocID(), LOCK_ACTION_UNLOCK);
            if (FAILED(hr))
                LOG_ERROR(kSaveAsNewDocument, hr);
        }
        const HRESULT hrLock = LockDocument(result.GetDocID(), LOCK_ACTION_LOCK);
        if (FAILED(hrLock))
            LOG_ERROR(kSaveAsNewDocument, hrLock);
        result.SetFlags(SUCCEEDED(hrLock) ? RECORD_CHECKED_OUT : 0);
        doc = result;
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kSaveAsNewDocument, e);
        discardProfile();
        throw;
    }
}

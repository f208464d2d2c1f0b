// CPDDocProviderHelper: the creating routines of a save (a new document, a new version or
// subversion) and the profile routines they share.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsConstants.h"
#include "dms/DmsErrors.h"
#include "dms/DmsValues.h"
#include "dms/PowerDocsDocInfo.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "framework/TakeGuard.h"
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

// Takes the document for a creating routine of a save unless the user holds it already: DM 6
// checks the version out, DM 5 selects the profile for editing. Another user's lock answers
// E_DOCUMENT_LOCKED_BY_OTHER with nothing taken.
HRESULT CPDDocProviderHelper::TakeForSave(CProfileReads& profile, IVersionPtr pVersion, CTakeGuard& guard,
                                          CTakeGuard::Take& took, bool& bHeld)
{
    const IProfilePtr pProfile = profile.pProfile;
    const long lState = CheckedLockState(profile);
    if (lState == LOCK_STATE_OTHER_USER)
    {
        LOG_ERROR(kSaveAsVersion, L"The document is checked out by " + GetProfileLockOwner(pProfile));
        return E_DOCUMENT_LOCKED_BY_OTHER;
    }
    bHeld = lState == LOCK_STATE_CURRENT_USER;
    took = CTakeGuard::kNothing;
    if (bHeld)
        return S_OK;
    if (IsDM6Installed())
    {
        const HRESULT hr = LockVersion(pVersion, pProfile);
        if (FAILED(hr))
            return hr;
        took = guard.Took(L"the check-out", [=] { return UnlockVersion(pVersion); });
        return S_OK;
    }
    took = SelectForEdit(guard, pProfile, DMS_SELECT_FOR_CHECK_OUT, E_PD_SAVE_FAILED);
    return S_OK;
}

// Checks out the target that a save made or chose, for the host's following SaveDocument, in
// place of what TakeForSave took; the user's own check-out covers it. A give-back that fails
// fails the call, so that its guard undoes it. Answers the record's Flags: bit 0 only when the
// check-out is really held.
long CPDDocProviderHelper::CheckOutForSave(IVersionPtr pTarget, CTakeGuard& guard, CTakeGuard::Take took, bool bHeld)
{
    if (bHeld)
        return RECORD_CHECKED_OUT;
    DmsCheck(guard.GiveBack(took));
    if (FAILED(LockVersion(pTarget)))
        return 0;
    guard.Took(L"the check-out for the save", [=] { return UnlockVersion(pTarget); });
    return RECORD_CHECKED_OUT;
}

// Makes a new version (choice New Version) or subversion (New Subversion) of pVersion with the
// dialog's comment, checked out for the host's following save. Everything this call took is
// given back and what it made deleted on every failure, and a DMS error is raised again to the
// caller after that. No placeholder file is made: nothing reads one.
HRESULT CPDDocProviderHelper::SaveAsVersion(CVDocNonCom& doc, IProfilePtr pKnownProfile, IVersionPtr pVersion,
                                            const CSaveAsDlg& dlg)
{
    if (WorkingOffLine())
        return E_NOT_AVAILABLE_OFFLINE;
    if (!pVersion)
        DmsCheck(E_POINTER);
    CTakeGuard guard(kSaveAsVersion);
    try
    {
        const CStdStr strAuthor = TextOf(pVersion, &IVersion::get_Author);
        const CStdStr strTypist = TextOf(pVersion, &IVersion::get_Typist);
        // The new version is the same document's: its profile and columns are the ones read here.
        CProfileReads profile{pKnownProfile ? pKnownProfile : ProfileOf(pVersion), nullptr};
        CTakeGuard::Take took = CTakeGuard::kNothing;
        bool bHeld = false;
        HRESULT hr = TakeForSave(profile, pVersion, guard, took, bHeld);
        if (FAILED(hr))
            return hr;
        const bool bSubversion = dlg.GetUserChoice() == SAVE_CHOICE_NEW_SUBVERSION;
        hr = CheckVersionRights(pVersion, bSubversion);
        if (FAILED(hr))
            return hr;
        const _bstr_t bstrComment(dlg.GetComment().c_str());
        const _variant_t vAuthor(strAuthor.c_str());
        const _variant_t vTypist(strTypist.c_str());
        IVersionPtr pNew;
        if (bSubversion)
            DmsCheckNumber(pVersion, pVersion->NewSubversion(DMS_NEW_VERSION, bstrComment, vAuthor, vTypist,
                                                             DMS_NEW_VERSION_RESERVED, DMS_NEW_VERSION_RESERVED, &pNew));
        else
            DmsCheckNumber(pVersion, pVersion->NewVersion(DMS_NEW_VERSION, bstrComment, vAuthor, vTypist,
                                                          DMS_NEW_VERSION_RESERVED, DMS_NEW_VERSION_RESERVED, &pNew));
        if (!pNew)
            DmsCheck(E_POINTER);
        guard.Took(L"the new version", [=] { return DmsCheckNumber(pNew, pNew->Delete()); });
        hr = FillMadeRecord(doc, pNew, CheckOutForSave(pNew, guard, took, bHeld), MadeForSave::Version, bHeld,
                            &profile);
        if (SUCCEEDED(hr))
            guard.Commit();
        return hr;
    }
    catch (...)
    {
        LOG_ERROR(kSaveAsVersion, L"SaveAsVersion failed");
        throw;
    }
}

// Whether the DMS lets a new version (or subversion) be made of pVersion; the failure code
// when it does not.
HRESULT CPDDocProviderHelper::CheckVersionRights(IVersionPtr pVersion, bool bSubversion)
{
    VARIANT_BOOL bCan = VARIANT_FALSE;
    if (bSubversion)
        DmsCheckNumber(pVersion, pVersion->get_CanNewSubversion(&bCan));
    else
        DmsCheckNumber(pVersion, pVersion->get_CanNewVersion(&bCan));
    if (bCan != VARIANT_FALSE)
        return S_OK;
    LOG_ERROR(kSaveAsVersion, bSubversion ? L"GetSaveInfo() : E_PD_CANNOT_SAVE_AS_NEW_SUBVERSION"
                                          : L"GetSaveInfo() : E_PD_CANNOT_SAVE_AS_NEW_VERSION");
    return bSubversion ? E_PD_CANNOT_SAVE_AS_NEW_SUBVERSION : E_PD_CANNOT_SAVE_AS_NEW_VERSION;
}

// Fills the record of what a save made or chose: its properties read again from the DMS, its
// ID, and lFlags. E_FAIL when the DMS cannot name it: a record that does not name the new
// object would let the host's following save write over the original. What was made is
// remembered until the host's save writes it (bHeld: the check-out is the user's own).
HRESULT CPDDocProviderHelper::FillMadeRecord(CVDocNonCom& doc, IVersionPtr pMade, long lFlags, MadeForSave made,
                                             bool bHeld, CProfileReads* pProfile)
{
    CPowerDocsDocInfo info;
    CVDocNonCom result = doc;
    if (pProfile)
    {
        // Online (the caller made a version), with the profile at hand: library, number and
        // label are read once, for the record and for its ID.
        try
        {
            info.m_strVersionLabel = VersionLabelOf(pMade);
            const CProfileFields fields = PopulateProfileFields(result, *pProfile, false);
            info.m_strLibraryName = fields.strLibrary;
            info.m_lDocNumber = fields.lNumber;
            PopulateVersionFields(result, pMade, info.m_strVersionLabel, fields);
        }
        catch (const _com_error& e)
        {
            LOG_ERROR(kSaveAsVersion, FormatHResult(e.Error()));
            info = CPowerDocsDocInfo();
        }
    }
    else if (info.Populate(pMade))
    {
        PopulateDocumentProperties(result, pMade);
    }
    if (!info.IsComplete())
    {
        LOG_ERROR(kSaveAsVersion, L"The new version could not be read back");
        return E_FAIL;
    }
    result.SetDocID(info.AsDocID());
    result.SetFlags(lFlags);
    doc = result;
    if (made != MadeForSave::Nothing)
        RememberMade(info.AsDocID(), made, !bHeld && (lFlags & RECORD_CHECKED_OUT) != 0);
    return S_OK;
}

// Makes a new document in the library the dialog names, through the DMS's profile form, files it
// in the folder chosen there and checks it out for the host's following save. A profile the
// DMS made for a save that then fails is released and deleted again. A form the user cancelled
// answers S_FALSE, one the DMS failed its failure code. No placeholder file is made: nothing
// here reads one, and the host's following save writes the real content.
HRESULT CPDDocProviderHelper::SaveAsNewDocument(CVDocNonCom& doc, IApplicationPtr, IProfilePtr& pProfile,
                                                IVersionPtr& pVersion, CSaveAsDlg& dlg)
{
    CTakeGuard guard(kSaveAsNewDocument);
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
        const IProfilePtr pMade = pProfile;
        TookNewProfile(guard, pMade);
        const CTakeGuard::Take selection =
            TookSelection(guard, pMade, L"the new document's profile");
        FileNewProfile(pProfile, pProject);
        DmsCheckNumber(pProfile, pProfile->get_CurrentVersion(&pVersion));
        if (!pVersion)
            DmsCheck(E_POINTER);
        AddComment(dlg, pVersion);
        CPowerDocsDocInfo info;
        if (!info.Populate(pVersion) || !info.IsComplete())
        {
            LOG_ERROR(kSaveAsNewDocument, L"The new document could not be read back");
            pVersion = nullptr;
            pProfile = nullptr;
            return E_FAIL;
        }
        // The new document is checked out for the host's following save; the record says so
        // only when the lock was really taken.
        DmsCheck(guard.GiveBack(selection));
        if (!IsDM6Installed())
        {
            const HRESULT hr = LockDocument(info.AsDocID(), LOCK_ACTION_UNLOCK);
            if (FAILED(hr))
                LOG_ERROR(kSaveAsNewDocument, hr);
        }
        const HRESULT hrLock = LockDocument(info.AsDocID(), LOCK_ACTION_LOCK);
        if (FAILED(hrLock))
            LOG_ERROR(kSaveAsNewDocument, hrLock);
        const HRESULT hrFill =
            FillMadeRecord(doc, pVersion, SUCCEEDED(hrLock) ? RECORD_CHECKED_OUT : 0, MadeForSave::Document, false);
        if (SUCCEEDED(hrFill))
            guard.Commit();
        return hrFill;
    }
    catch (...)
    {
        LOG_ERROR(kSaveAsNewDocument, L"SaveAsNewDocument failed");
        pVersion = nullptr;
        pProfile = nullptr;
        throw;
    }
}

// Stores a new profile and files it in the folder the form chose, if any.
void CPDDocProviderHelper::FileNewProfile(IProfilePtr pProfile, IProjectPtr pProject)
{
    if (pProject)
    {
        short nStatus = 0;
        DmsCheck(pProject->AddDocument(_variant_t(static_cast<IDispatch*>(pProfile.GetInterfacePtr())), &nStatus));
    }
    SaveProfile(pProfile);
    if (!pProject)
        return;
    IFolderLinkPtr pLink;
    DmsCheckNumber(pProfile, pProfile->get_FolderLink(&pLink));
    if (!pLink)
        DmsCheck(E_POINTER);
    DmsCheckNumber(pLink, pLink->LinkToProject(pProject));
    VARIANT_BOOL bSaved = VARIANT_FALSE;
    DmsCheckNumber(pProfile, pProfile->Save(DMS_PROFILE_SAVE_AGAIN, &bSaved));
}

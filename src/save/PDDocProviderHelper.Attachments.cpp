// CPDDocProviderHelper: attachment labels and the forced replacement of a version's content.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <utility>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "dms/DocID.h"
#include "dms/PowerDocsDocInfo.h"
#include "framework/GiveBack.h"
#include "framework/Logging.h"
#include "framework/TakeGuard.h"
#include "dms/DmsCall.h"
#include "local/FileReplace.h"
#include "local/TempFiles.h"
#include "save/SaveAsDlg.h"

namespace {

const wchar_t kForceReplace[] = L"CPDDocProviderHelper::ForceReplaceFileInProfileWithNewFile";
const wchar_t kSaveAsAttachment[] = L"CPDDocProviderHelper::SaveDocumentAsAttachment";

}  // namespace

CStdStr CPDDocProviderHelper::CreateAttachmentLabelFromExtension(const CStdStr& strExtension) const
{
    // Short labels keep three characters: the first, the third and the fourth (docx: dcx).
    if (!m_bUseExtendedAttachmentLabels && strExtension.size() > 3)
        return CStdStr(1, strExtension[0]) + strExtension.substr(2, 2);
    return strExtension;
}

// Writes doc.LocalFile into the version: locked around the copy (and on DM 5 the upload). A copy
// or upload that fails leaves the stored content and the DMS's cache as they were and answers
// the failure; a lock that cannot be given back after a good write is reported in doc.Flags.
HRESULT CPDDocProviderHelper::ForceReplaceFileInProfileWithNewFile(IVersionPtr pVersion, CVDocNonCom& doc)
{
    CTakeGuard guard(kForceReplace);
    try
    {
        if (!pVersion)
            DmsCheck(E_POINTER);
        short nStatus = 0;
        DmsCheckStatus(pVersion, pVersion->LockVersionForEdit(DMS_OF_NORMAL, &nStatus), nStatus, E_PD_SAVE_FAILED);
        const CTakeGuard::Take lock = guard.Took(L"the version's lock", [=] {
            short nUnlocked = 0;
            return DmsCheck(pVersion->UnlockVersion(DMS_OF_NORMAL, &nUnlocked));
        });
        const bool bDM6 = IsDM6Installed();
        if (!bDM6)
            DmsCheckNumber(pVersion, pVersion->Prepare(DMS_PREPARE_NORMAL, &nStatus));
        const CStdStr strCache = VersionFilePathOf(pVersion);
        CStdStr strKept;
        const HRESULT hrCopy = ReplaceFileKeepingOld(doc.GetLocalFile(), strCache, strKept);
        if (FAILED(hrCopy))
        {
            LOG_ERROR(kForceReplace, FormatHResult(hrCopy));
            return hrCopy;
        }
        if (!bDM6)
        {
            const CTakeGuard::Take cache = hrCopy == S_OK ? guard.Took(L"the cache's old file", [=] {
                return PutBackKeptFile(strKept, strCache);
            }) : CTakeGuard::kNothing;
            DmsCheckNumber(pVersion, pVersion->UploadFile(DMS_UPLOAD_NORMAL));
            guard.Keep(cache);
        }
        if (!strKept.empty())
            DeleteFileW(strKept.c_str());
        guard.GiveBackAll();
        if (guard.Holds(lock))
            doc.SetFlags(doc.GetFlags() | RECORD_CHECKED_OUT);
        guard.Commit();
        return S_OK;
    }
    catch (...)
    {
        const HRESULT hr = CaughtFailure(kForceReplace);
        LOG_ERROR(kForceReplace, L"Failed to upload new document");
        return hr;
    }
}

// Saves the document as an attachment of the version it came from, labelled after the save's
// extension: a new attachment is made from a placeholder file, an existing one with the same
// label and extension is checked out and given the comment. Either way the content is left to
// the host's following SaveDocument, so nothing real is ever overwritten here. What the call took
// is given back on every failure, and a DMS error is raised again to the caller after that.
HRESULT CPDDocProviderHelper::SaveDocumentAsAttachment(IProfilePtr pProfile, IVersionPtr pVersion,
                                                       const CSaveAsDlg& dlg, CVDocNonCom& doc)
{
    if (WorkingOffLine())
        return E_NOT_AVAILABLE_OFFLINE;

    // A label that is empty or begins with a digit would name the version itself, whose content
    // the host's following save would then overwrite.
    const CStdStr strLabel = CreateAttachmentLabelFromExtension(m_strExtension);
    if (strLabel.empty() || (strLabel[0] >= L'0' && strLabel[0] <= L'9'))
    {
        LOG_ERROR(kSaveAsAttachment, L"No attachment label for the extension \"" + m_strExtension + L"\"");
        return E_FAIL;
    }
    const CStdStr strAttachmentID = FormatAttachmentDocID(doc.GetDocID(), strLabel);

    IVersionPtr pAttachment;
    bool bCreated = false;   // the attachment was made by this call
    bool bSelected = false;  // the profile was selected for editing by this call
    bool bLocked = false;    // the attachment was checked out by this call
    const bool bDM6 = IsDM6Installed();

    // Gives back what this call took: a check-out the way a check-in ends it, a selection with
    // the profile's release; an attachment made here is deleted again.
    auto giveBack = [&] {
        if (bLocked)
            GiveBackStep(LOG_SITE, kSaveAsAttachment, [&] { return UnlockVersion(pAttachment); });
        else if (bSelected)
            GiveBackStep(LOG_SITE, kSaveAsAttachment, [&] { return pProfile->ReleaseDoc(); });
        if (bCreated)
            GiveBackStep(LOG_SITE, kSaveAsAttachment, [&] { return pAttachment->Delete(); });
        bCreated = bSelected = bLocked = false;
    };
    // Ends the call with hr after giving back.
    auto fail = [&](HRESULT hr) {
        giveBack();
        return hr;
    };

    try
    {
        if (!pProfile)
            _com_issue_error(E_POINTER);
        ILibraryPtr pLibrary;
        DmsCheck(pProfile->get_Library(&pLibrary));
        const CStdStr strUser = TextOf(pLibrary, &ILibrary::get_UserID);
        const _bstr_t bstrComment(dlg.GetComment().c_str());

        // The user's own check-out of the document covers its attachments: nothing is taken
        // then, so nothing of the user's is given back on a failure.
        CStdStr strOwner;
        const long lState = GetProfileLockStatus(pProfile, strOwner);
        if (lState == LOCK_STATE_OTHER_USER)
        {
            LOG_ERROR(kSaveAsAttachment, L"The document is checked out by " + strOwner);
            return E_DOCUMENT_LOCKED_BY_OTHER;
        }
        const bool bHeld = lState == LOCK_STATE_CURRENT_USER;

        pAttachment = GetVersion(strAttachmentID);
        if (!pAttachment)
        {
            const CStdStr strAuthor = TextOf(pVersion, &IVersion::get_Author);
            CAppWrapper::Instance().EnsureAppIsMarshalled();
            ILibraryPtr pCurrent;
            DmsCheck(OpenDmsApplication()->get_CurrentLibrary(&pCurrent));
            const CStdStr strCurrentLibrary = TextOf(pCurrent, &ILibrary::get_Name);
            DmsCheck(pProfile->AddFileForAttachment(_variant_t(strCurrentLibrary.c_str()),
                                                    _variant_t(doc.GetLocalFile().c_str())));

            if (!bHeld)
            {
                short nStatus = 0;
                DmsCheck(pProfile->SelectForEdit(DMS_SELECT_FOR_CHECK_OUT, &nStatus));
                if (nStatus == 0)
                    return GetReturnCode(pProfile, L"SaveDocumentAsAttachment - pBaseProf->SelectForEdit() 1",
                                         E_PD_SAVE_FAILED);
                bSelected = true;
            }

            // The attachment starts as a placeholder of a unique name with the save's extension;
            // it is deleted once the DMS has taken it.
            const CScopedFileDeletion placeholder(CreatePlaceholderFile(L"", m_strExtension));
            if (placeholder.Path().empty())
                return fail(E_FAIL);
            DmsCheck(pProfile->NewAttachment(0, _bstr_t(placeholder.Path().c_str()), _variant_t(strAuthor.c_str()),
                                             _variant_t(strUser.c_str()), _variant_t(strLabel.c_str()),
                                             _variant_t(dlg.GetComment().c_str()), &pAttachment));
            if (!pAttachment)
                return fail(GetReturnCode(pProfile, L"SaveDocumentAsAttachment - pBaseProf->NewAttachment()", E_FAIL));
            bCreated = true;
            if (bDM6 && !bHeld)
            {
                // DM 6 checks versions out one by one: the new attachment is checked out in
                // place of the profile's selection.
                GiveBackStep(LOG_SITE, kSaveAsAttachment, [&] { return pProfile->ReleaseDoc(); });
                bSelected = false;
                const HRESULT hr = LockVersion(pAttachment);
                if (FAILED(hr))
                    return fail(hr);
                bLocked = true;
            }
        }
        else
        {
            // Only an attachment saved from a file of the same extension is replaced: pptx and
            // potx share a short label.
            if (!IsAttachment(pAttachment) ||
                ToLowerClassic(FileExtensionOf(VersionFilePathOf(pAttachment))) != ToLowerClassic(m_strExtension))
            {
                LOG_ERROR(kSaveAsAttachment, L"The attachment " + strAttachmentID + L" holds another kind of file");
                return E_FAIL;
            }
            if (!bHeld && bDM6)
            {
                const HRESULT hr = LockVersion(pAttachment);
                if (FAILED(hr))
                    return hr;
                bLocked = true;
            }
            else if (!bHeld)
            {
                short nStatus = 0;
                DmsCheck(pProfile->SelectForEdit(DMS_SELECT_FOR_CHECK_OUT, &nStatus));
                if (nStatus == 0)
                    return GetReturnCode(pProfile, L"SaveDocumentAsAttachment - pBaseProf->SelectForEdit() 2",
                                         E_PD_SAVE_FAILED);
                bSelected = true;
                nStatus = 0;
                DmsCheck(pAttachment->LockVersionForEdit(DMS_VERSION_CHECK_OUT, &nStatus));
                const HRESULT hrLock =
                    GetReturnCode(pAttachment, L"SaveDocumentAsAttachment - pAttachment->LockVersionForEdit()", S_OK);
                if (nStatus == 0)
                    return fail(FAILED(hrLock) ? hrLock : E_PD_SAVE_FAILED);
                bLocked = true;
            }
            DmsCheck(pAttachment->put_Comment(bstrComment));
        }

        // A record that does not name the attachment would let the host's following save
        // write over the version the document came from.
        CPowerDocsDocInfo info;
        if (!info.Populate(pAttachment) || !info.IsComplete())
        {
            LOG_ERROR(kSaveAsAttachment, L"The attachment could not be read back");
            return fail(E_FAIL);
        }
        CVDocNonCom result = doc;
        // The properties are read again from the DMS; the ID stays the one checked above.
        PopulateDocumentProperties(result, pAttachment);
        result.SetDocID(info.AsDocID());
        result.SetFlags(RECORD_CHECKED_OUT);
        doc = result;
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kSaveAsAttachment, e);
        giveBack();
        throw;
    }
}

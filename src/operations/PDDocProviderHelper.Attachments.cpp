// CPDDocProviderHelper: attachment labels and the forced replacement of a version's content.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <utility>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "local/DocID.h"
#include "dms/PowerDocsDocInfo.h"
#include "framework/Logging.h"
#include "framework/OptionApi.h"
#include "framework/TakeGuard.h"
#include "dms/DmsCall.h"
#include "local/FileReplace.h"
#include "local/TempFiles.h"
#include "save/SaveAsDlg.h"

namespace {

const wchar_t kForceReplace[] = L"CPDDocProviderHelper::ForceReplaceFileInProfileWithNewFile";
const wchar_t kSaveAsAttachment[] = L"CPDDocProviderHelper::SaveDocumentAsAttachment";

}  // namespace

bool CPDDocProviderHelper::UseExtendedAttachmentLabels() const
{
    return Corvane::OptionApi::GetBool(L"UseExtendedAttachmentLabels");
}

CStdStr CPDDocProviderHelper::CreateAttachmentLabelFromExtension(const CStdStr& strExtension) const
{
    // Short labels keep three characters: the first, the third and the fourth (docx: dcx).
    if (strExtension.size() > 3 && !UseExtendedAttachmentLabels())
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
    CTakeGuard guard(kSaveAsAttachment);
    try
    {
        if (!pProfile)
            DmsCheck(E_POINTER);
        // The user's own check-out of the document covers its attachments: nothing is taken
        // then, so nothing of the user's is given back on a failure.
        CTakeGuard::Take took = CTakeGuard::kNothing;
        bool bHeld = false;
        CProfileReads profile{pProfile, nullptr};
        const HRESULT hr = TakeForSave(profile, pVersion, guard, took, bHeld);
        if (FAILED(hr))
            return hr;
        const CStdStr strAttachmentID = FormatAttachmentDocID(doc.GetDocID(), strLabel);
        IVersionPtr pAttachment = GetVersion(strAttachmentID);
        MadeForSave made = MadeForSave::Nothing;
        if (pAttachment)
        {
            // Only an attachment saved from a file of the same extension is replaced: pptx and
            // potx share a short label.
            if (!IsAttachment(pAttachment) ||
                LowerCase(FileExtensionOf(VersionFilePathOf(pAttachment))) != LowerCase(m_strExtension))
            {
                LOG_ERROR(kSaveAsAttachment, L"The attachment " + strAttachmentID + L" holds another kind of file");
                return E_FAIL;
            }
            DmsCheckNumber(pAttachment, pAttachment->put_Comment(_bstr_t(dlg.GetComment().c_str())));
        }
        else
        {
            pAttachment = MakeAttachment(pProfile, pVersion, strLabel, dlg, doc);
            guard.Took(L"the new attachment", [=] { return DmsCheckNumber(pAttachment, pAttachment->Delete()); });
            made = MadeForSave::Version;
        }
        const HRESULT hrFill = FillMadeRecord(doc, pAttachment, CheckOutForSave(pAttachment, guard, took, bHeld), made, bHeld);
        if (SUCCEEDED(hrFill))
            guard.Commit();
        return hrFill;
    }
    catch (...)
    {
        LOG_ERROR(kSaveAsAttachment, L"SaveDocumentAsAttachment failed");
        throw;
    }
}

// A new attachment of the profile, labelled strLabel, made from a placeholder of a unique name
// with the save's extension (deleted once the DMS has taken it); its content is left to the
// host's following save.
IVersionPtr CPDDocProviderHelper::MakeAttachment(IProfilePtr pProfile, IVersionPtr pVersion, const CStdStr& strLabel,
                                                 const CSaveAsDlg& dlg, const CVDocNonCom& doc)
{
    ILibraryPtr pLibrary;
    DmsCheckNumber(pProfile, pProfile->get_Library(&pLibrary));
    const CStdStr strUser = TextOf(pLibrary, &ILibrary::get_UserID);
    const CStdStr strAuthor = TextOf(pVersion, &IVersion::get_Author);
    CAppWrapper::Instance().EnsureAppIsMarshalled();
    ILibraryPtr pCurrent;
    DmsCheck(OpenDmsApplication()->get_CurrentLibrary(&pCurrent));
    const CStdStr strCurrentLibrary = TextOf(pCurrent, &ILibrary::get_Name);
    DmsCheckNumber(pProfile, pProfile->AddFileForAttachment(_variant_t(strCurrentLibrary.c_str()),
                                                            _variant_t(doc.GetLocalFile().c_str())));
    CTakeGuard guard(kSaveAsAttachment);
    const CStdStr strPlaceholder = CreatePlaceholderFile(L"", m_strExtension);
    if (strPlaceholder.empty())
        DmsCheck(E_FAIL);
    guard.Took(L"the placeholder file", [=] { return DeleteFileW(strPlaceholder.c_str()) ? S_OK : LastErrorAsHResult(); });
    IVersionPtr pAttachment;
    DmsCheckNumber(pProfile, pProfile->NewAttachment(0, _bstr_t(strPlaceholder.c_str()), _variant_t(strAuthor.c_str()),
                                                     _variant_t(strUser.c_str()), _variant_t(strLabel.c_str()),
                                                     _variant_t(dlg.GetComment().c_str()), &pAttachment));
    if (!pAttachment)
        DmsCheck(E_POINTER);
    return pAttachment;
}

// CPDDocProviderHelper: a document's related documents (its attachments), relating a local
// file to a document as an attachment, and deleting attachments and documents.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <functional>
#include <utility>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "local/DocID.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "framework/TakeGuard.h"
#include "framework/Logging.h"
#include "local/FileReplace.h"
#include "local/TempFiles.h"

namespace {

const wchar_t kRelateDocument[] = L"CPDDocProviderHelper::RelateDocument";

// Copies a version's current content out of the DMS into a temporary file; raises on failure.
CStdStr BackUpContent(IVersionPtr pVersion)
{
    DmsCheck(pVersion->Fetch(DMS_FETCH_NORMAL));
    const CStdStr strBackup = CreateUniqueTempFile(L"bak");
    if (strBackup.empty() || !CopyFileW(VersionFilePathOf(pVersion).c_str(), strBackup.c_str(), FALSE))
    {
        if (!strBackup.empty())
            DeleteFileW(strBackup.c_str());
        _com_issue_error(E_FAIL);
    }
    return strBackup;
}

// An S_FALSE where success was expected counts as a failure.
HRESULT AsFailure(HRESULT hr)
{
    return hr == S_FALSE ? E_FAIL : hr;
}

}  // namespace

HRESULT CPDDocProviderHelper::GetRelatedDocuments(CStdStr strDocID, long* plCount, std::vector<CVDocNonCom>& docs)
{
    if (plCount)
        *plCount = 0;
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    try
    {
        CProfileReads owner;
        IVersionPtr pVersion = GetVersion(strDocID, owner.pProfile);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        IVersionsPtr pVersions = VersionsOfProfile(owner.pProfile);
        long lCount = 0;
        DmsCheck(pVersions->get_Count(&lCount));
        const bool bOffline = WorkingOffLine();
        long lAppended = 0;
        // What the attachments share is the profile's, read once, when the first is found.
        CVDocNonCom shared;
        CProfileFields fields;
        bool bShared = false;
        // Only attachments are related documents: a version with an empty label would give an
        // ID that names the document's current version.
        CVDocNonCom doc;
        for (long i = 1; i <= lCount; ++i)
        {
            IVersionPtr pEntry;
            DmsCheck(pVersions->get_Item(_variant_t(i, VT_I4), &pEntry));
            const CStdStr strLabel = VersionLabelOf(pEntry);
            if (!IsAttachmentLabel(strLabel))
                continue;
            if (!bShared)
            {
                fields = PopulateProfileFields(shared, owner, bOffline);
                bShared = true;
            }
            doc = shared;
            if (!PopulateVersion(doc, pEntry, strLabel, fields))
                continue;
            docs.push_back(doc);
            ++lAppended;
        }
        if (plCount)
            *plCount = lAppended;
        return S_OK;
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetRelatedDocuments", L"Caught unknown error");
        return E_FAIL;
    }
}

bool CPDDocProviderHelper::SetExtensionFromLocalFile(CVDocNonCom& doc)
{
    CStdStr strExtension = FileExtensionOf(doc.GetLocalFile());
    if (strExtension.empty())
        return false;
    if (strExtension.size() > 3)
        strExtension.resize(3);
    doc.SetExtension(LowerCase(strExtension));
    return true;
}

HRESULT CPDDocProviderHelper::CheckRelateDocumentParameters(CVDocNonCom& doc, IVersionPtr pTarget)
{
    if (doc.GetLocalFile().empty())
        return E_INVALIDARG;
    if (!FileExists(doc.GetLocalFile()))
        return E_LOCAL_FILE_NOT_FOUND;
    if (doc.GetExtension().empty() && !SetExtensionFromLocalFile(doc))
        return E_INVALIDARG;
    // An extension that begins with a digit would label a version of the document.
    if (iswdigit(doc.GetExtension()[0]))
        return E_FAIL;
    CVDocNonCom scratch;
    return PopulateDocumentProperties(scratch, pTarget) ? S_OK : E_INVALIDARG;
}

IVersionPtr CPDDocProviderHelper::GetRelatedItemWithExtensionFromProfile(IProfilePtr pProfile,
                                                                         const CStdStr& strExtension)
{
    try
    {
        IVersionsPtr pVersions;
        DmsCheck(pProfile->get_Versions(&pVersions));
        if (!pVersions)
            _com_issue_error(E_POINTER);
        IVersionPtr pItem;
        DmsCheck(pVersions->get_Item(_variant_t(strExtension.c_str()), &pItem));
        return pItem;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetRelatedItemWithExtensionFromProfile", e);
        LOG_ERROR(L"CPDDocProviderHelper::GetRelatedItemWithExtensionFromProfile",
                  CStdStr::Format(L"Failed to get related document with extension %ls from the profile.",
                                  strExtension.c_str()));
        return nullptr;
    }
}

// Relates a local file to the document strParentID names as an attachment labelled with the
// file's extension: a new attachment, or the content of the one of the same kind replaced. Every
// failure deletes what the call made and puts back the content it replaced.
HRESULT CPDDocProviderHelper::RelateDocument(CVDocNonCom& doc, CStdStr strParentID)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    CTakeGuard guard(kRelateDocument);
    try
    {
        IVersionPtr pTarget = GetVersion(strParentID);
        if (!pTarget)
        {
            LOG_ERROR(kRelateDocument, L"Unable to get version for doc id " + strParentID);
            return E_DOCUMENT_NOT_FOUND;
        }
        HRESULT hr = CheckRelateDocumentParameters(doc, pTarget);
        if (hr != S_OK)
        {
            LOG_ERROR(kRelateDocument, L"Invalid parameters for RelateDocument " + strParentID);
            return AsFailure(hr);
        }
        IProfilePtr pProfile;
        hr = pTarget->GetProfile(&pProfile);
        if (hr != S_OK || !pProfile)
        {
            LOG_ERROR(kRelateDocument, L"Unable to get profile for doc id " + strParentID);
            return SUCCEEDED(hr) ? E_FAIL : hr;
        }
        ILibraryPtr pLibrary;
        IApplicationPtr pApp = OpenDmsApplication();
        DmsCheckNumber(pApp, pApp->get_CurrentLibrary(&pLibrary));
        DmsCheckNumber(pProfile, pProfile->AddFileForAttachment(_variant_t(TextOf(pLibrary, &ILibrary::get_Name).c_str()),
                                                                _variant_t(doc.GetLocalFile().c_str())));
        // A document the user holds already is the user's check-out: the call works inside it
        // and leaves it held. Otherwise the call takes the document, or does not go on.
        const CTakeGuard::Take selection = CheckedLockState(pProfile) == LOCK_STATE_CURRENT_USER
                                               ? CTakeGuard::kNothing
                                               : SelectForEdit(guard, pProfile, DMS_SELECT_FOR_CHECK_OUT, E_FAIL);
        IVersionPtr pAttachment = AttachFile(pProfile, pTarget, doc, guard);
        // The record is read while the document is still taken, so that a failure can still
        // undo the change under the same check-out.
        CVDocNonCom result;
        if (!PopulateDocumentProperties(result, pAttachment))
        {
            LOG_ERROR(kRelateDocument, L"PopulateDocumentProperties failed");
            return E_FAIL;
        }
        const HRESULT hrRelease = guard.GiveBack(selection);
        if (hrRelease != S_OK)
        {
            LOG_ERROR(kRelateDocument, L"Unable to release document " + strParentID);
            return AsFailure(hrRelease);
        }
        guard.Commit();
        doc = result;
        return S_OK;
    }
    catch (...)
    {
        return CaughtFailure(kRelateDocument);
    }
}

// The attachment that relating doc.LocalFile gives: a new one made from the file, or the
// profile's attachment of the same extension with its content replaced by a file of the same
// kind (Report.docx does not overwrite the Word 97 file kept under "doc"). The guard deletes a
// new one, or puts the old content back, unless the call completes.
IVersionPtr CPDDocProviderHelper::AttachFile(IProfilePtr pProfile, IVersionPtr pTarget, CVDocNonCom& doc,
                                             CTakeGuard& guard)
{
    const CStdStr strLocalFile = doc.GetLocalFile();
    const CStdStr strAuthor = TextOf(pTarget, &IVersion::get_Author);
    const CStdStr strTypist = TextOf(pTarget, &IVersion::get_Typist);
    IVersionPtr pAttachment;
    const HRESULT hr = DmsCheckNumber(
        pProfile, pProfile->NewAttachment(DMS_NEW_ATTACHMENT, _bstr_t(strLocalFile.c_str()), _variant_t(strAuthor.c_str()),
                                          _variant_t(strTypist.c_str()), _variant_t(doc.GetExtension().c_str()),
                                          _variant_t(DMS_NEW_ATTACHMENT_RESERVED), &pAttachment));
    if (hr == S_OK && pAttachment)
    {
        guard.Took(L"the new attachment", [=] { return DmsCheckNumber(pAttachment, pAttachment->Delete()); });
        return pAttachment;
    }
    // S_FALSE: the profile keeps an attachment for this extension already. Only an attachment is
    // ever replaced, never a numbered version.
    IVersionPtr pExisting = hr == S_FALSE ? GetRelatedItemWithExtensionFromProfile(pProfile, doc.GetExtension()) : nullptr;
    if (!pExisting || !IsAttachment(pExisting) ||
        LowerCase(FileExtensionOf(VersionFilePathOf(pExisting))) != LowerCase(FileExtensionOf(strLocalFile)))
    {
        LOG_ERROR(kRelateDocument, L"Unable to create attachment from file " + strLocalFile);
        DmsCheck(E_FAIL);
    }
    // The old content is kept aside until the call has succeeded, so that a later failure can
    // put it back; a replacement that fails has stored nothing.
    CVDocNonCom backup;
    backup.SetLocalFile(BackUpContent(pExisting));
    guard.Took(L"the copy of the old content", [=] {
        return DeleteFileW(backup.GetLocalFile().c_str()) ? S_OK : LastErrorAsHResult();
    });
    const HRESULT hrReplace = ForceReplaceFileInProfileWithNewFile(pExisting, doc);
    if (hrReplace != S_OK)
    {
        LOG_ERROR(kRelateDocument, L"Unable to replace attachment from file " + strLocalFile);
        DmsCheck(AsFailure(hrReplace));
    }
    guard.Took(L"the attachment's old content", [this, pExisting, backup]() mutable {
        return ForceReplaceFileInProfileWithNewFile(pExisting, backup);
    });
    return pExisting;
}

HRESULT CPDDocProviderHelper::DeleteDocument(CStdStr strDocID)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    // An ID without a version label names the current version: deleting through it would
    // delete the whole document whatever the host meant.
    DocIDFields fields;
    if (ParseDocID(strDocID, fields) == DocIDForm::Scheme && fields.strVersion.empty())
        return E_INVALIDARG;
    const CStdStr strContext = L"Delete " + strDocID + L" failed: ";
    IVersionPtr pVersion;
    IProfilePtr pProfile;
    try
    {
        pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        // What is deleted is decided by the version the DMS found, and only when it is the one
        // the ID names: a label the DMS does not tell could turn an attachment into the document.
        const CStdStr strFound = VersionLabelOf(pVersion);
        if (_wcsicmp(strFound.c_str(), fields.strVersion.c_str()) != 0)
        {
            LOG_ERROR(L"CPDDocProviderHelper::DeleteDocument", strContext + L"the DMS names version " + strFound);
            return E_FAIL;
        }
        if (IsAttachmentLabel(strFound))
        {
            if (DmsCheckNumber(pVersion, pVersion->Delete()) != S_OK)
                return GetReturnCode(pVersion, strContext, E_ACCESSDENIED);
            return S_OK;
        }
        pProfile = ProfileOf(pVersion);
        short nStatus = 0;
        DmsCheck(pProfile->DeleteDocument(DMS_DELETE_DOCUMENT, &nStatus));
        return nStatus ? S_OK : GetReturnCode(pProfile, strContext, E_ACCESSDENIED);
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::DeleteDocument", e);
        try
        {
            if (pProfile)
                return GetReturnCode(pProfile, strContext, E_ACCESSDENIED);
            if (pVersion)
                return GetReturnCode(pVersion, strContext, E_ACCESSDENIED);
            return e.Error();
        }
        catch (...)
        {
            return E_ACCESSDENIED;
        }
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::DeleteDocument", L"Caught unknown error");
        return E_FAIL;
    }
}

bool CPDDocProviderHelper::CanDeleteVersions(ILibraryPtr pLibrary)
{
    try
    {
        if (!pLibrary)
            _com_issue_error(E_POINTER);
        IRightsPtr pRights;
        DmsCheck(pLibrary->get_Rights(&pRights));
        if (!pRights)
            _com_issue_error(E_POINTER);
        IRightPtr pRight;
        DmsCheck(pRights->get_Item(_variant_t(DMS_RIGHT_DELETE_VERSIONS), &pRight));
        if (!pRight)
            _com_issue_error(E_POINTER);
        _variant_t vValue;
        DmsCheck(pRight->get_Value(&vValue));
        vValue.ChangeType(VT_BOOL);
        return vValue.boolVal != VARIANT_FALSE;
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::CanDeleteVersions", L"Caught unknown error");
        return false;
    }
}

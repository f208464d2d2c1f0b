// CPDDocProviderHelper: listing a document's versions, finding its latest version and making a
// new version from the current content.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <cwctype>
#include <set>

#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "dms/PowerDocsDocInfo.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "framework/TakeGuard.h"
#include "framework/Logging.h"
#include "local/FileReplace.h"


namespace {

const wchar_t kVersionDocument[] = L"CPDDocProviderHelper::VersionDocument";

// The "PowerDOCS://" ID of a version; raises when the DMS cannot name all of library, number
// and label.
CStdStr DocIDOf(IVersionPtr pVersion)
{
    CPowerDocsDocInfo info;
    if (!info.Populate(pVersion) || !info.IsComplete())
        _com_issue_error(E_FAIL);
    return info.AsDocID();
}

}  // namespace

bool CPDDocProviderHelper::IsAttachment(IVersionPtr pVersion)
{
    if (!pVersion)
        _com_issue_error(E_POINTER);
    return IsAttachmentLabel(VersionLabelOf(pVersion));
}

HRESULT CPDDocProviderHelper::GetVersions(CStdStr strDocID, long* plCount,
                                          std::vector<CVDocumentVersionNoCom>& versions)
{
    if (plCount)
        *plCount = 0;
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    try
    {
        CProfileReads profile;
        IVersionPtr pVersion = GetVersion(strDocID, profile.pProfile);
        if (!pVersion)
            return E_FAIL;
        IVersionsPtr pVersions = VersionsOfProfile(profile.pProfile);
        const long lCount = CheckedVersionCount(pVersions);

        // What the versions share is the profile's, read once; a list without it is no list.
        CVDocNonCom shared;
        const CProfileFields fields = PopulateProfileFields(shared, profile, WorkingOffLine());
        // The same version may be reached twice; the first in the DMS's order is kept. A
        // version the DMS gives no label is left out: its ID would name the current version.
        std::set<CStdStr> listed;
        for (long i = 1; i <= lCount; ++i)
        {
            IVersionPtr pItem;
            DmsCheck(pVersions->get_Item(_variant_t(i, VT_I4), &pItem));
            const CStdStr strLabel = VersionLabelOf(pItem);
            CVDocNonCom doc = shared;
            if (strLabel.empty() || IsAttachmentLabel(strLabel) || !PopulateVersion(doc, pItem, strLabel, fields))
                continue;
            if (!listed.insert(doc.GetDocID()).second)
                continue;
            CVDocumentVersionNoCom record;
            record.SetDocument(doc);
            record.SetVersionLabel(strLabel);
            versions.push_back(record);
        }
        if (plCount)
            *plCount = static_cast<long>(versions.size());
        return S_OK;
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetVersions", L"Caught unknown error");
        if (plCount)
            *plCount = 0;
        return E_FAIL;
    }
}

HRESULT CPDDocProviderHelper::GetLatestVersion(CStdStr& strDocID)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
        return E_PD_NO_DOCUMENT_FOR_ID;
    if (IsAttachment(pVersion))
        return S_OK;
    // Which version is the latest, and how ties are broken, is the DMS's decision.
    IVersionPtr pLatest;
    DmsCheck(ProfileOf(pVersion)->get_LatestVersion(&pLatest));
    if (!pLatest)
        _com_issue_error(E_POINTER);
    strDocID = DocIDOf(pLatest);
    return S_OK;
}

// Makes a new version of the document from the version the ID names, with that version's
// content, and answers its ID. A new version is whole or not made: every failure deletes what
// the call made and gives back what it took.
HRESULT CPDDocProviderHelper::VersionDocument(CStdStr& strDocID, CStdStr strComment)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    CTakeGuard guard(kVersionDocument);
    try
    {
        IVersionPtr pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        if (IsAttachment(pVersion))
            return E_PD_CANNOT_SAVE_AS_NEW_VERSION;
        IProfilePtr pProfile = ProfileOf(pVersion);
        const long lState = CheckedLockState(pProfile);
        if (lState == LOCK_STATE_OTHER_USER)
            return E_DOCUMENT_LOCKED_BY_OTHER;
        // A document that the user holds already is the host's check-out: the call works inside
        // it and leaves it as it was.
        const bool bHeld = lState == LOCK_STATE_CURRENT_USER;
        const CTakeGuard::Take selection =
            bHeld ? CTakeGuard::kNothing
                  : SelectForEdit(guard, pProfile, DMS_SELECT_FOR_CHECK_OUT, E_PD_CANNOT_SAVE_AS_NEW_VERSION);
        IVersionPtr pNewVersion = MakeVersionFrom(pVersion, strComment, guard, bHeld);
        const CStdStr strNewID = DocIDOf(pNewVersion);
        // A profile that cannot be given back undoes the call: the guard deletes the new version
        // and tries the release once more.
        const HRESULT hrGiveBack = guard.GiveBack(selection);
        if (FAILED(hrGiveBack))
            return hrGiveBack;
        guard.Commit();
        strDocID = strNewID;
        return S_OK;
    }
    catch (...)
    {
        return CaughtFailure(kVersionDocument);
    }
}

// VersionDocument's new version of pVersion, holding pVersion's content, registered with the
// guard so that a later failure deletes it.
IVersionPtr CPDDocProviderHelper::MakeVersionFrom(IVersionPtr pVersion, const CStdStr& strComment, CTakeGuard& guard,
                                                  bool bHeld)
{
    short nPrepared = 0;
    DmsCheckNumber(pVersion, pVersion->Prepare(DMS_PREPARE_NEW_VERSION, &nPrepared));
    // The current content must be in the local cache before it can be copied.
    CStdStr strSource = VersionFilePathOf(pVersion);
    if (!FileExists(strSource))
    {
        DmsCheckNumber(pVersion, pVersion->Fetch(DMS_FETCH_NORMAL));
        strSource = VersionFilePathOf(pVersion);
    }
    const CStdStr strAuthor = TextOf(pVersion, &IVersion::get_Author);
    const CStdStr strTypist = TextOf(pVersion, &IVersion::get_Typist);
    IVersionPtr pNewVersion;
    DmsCheckNumber(pVersion, pVersion->NewVersion(DMS_NEW_VERSION, _bstr_t(strComment.c_str()),
                                                  _variant_t(strAuthor.c_str()), _variant_t(strTypist.c_str()),
                                                  DMS_NEW_VERSION_FROM_CURRENT_RESERVED,
                                                  DMS_NEW_VERSION_FROM_CURRENT_RESERVED, &pNewVersion));
    if (!pNewVersion)
        DmsCheck(E_POINTER);
    guard.Took(L"the new version", [=] { return DmsCheckNumber(pNewVersion, pNewVersion->Delete()); });

    const CStdStr strTarget = VersionFilePathOf(pNewVersion);
    if (!CopyFileW(strSource.c_str(), strTarget.c_str(), FALSE))
    {
        LOG_ERROR(kVersionDocument, CStdStr::Format(L"Could not copy %ls to %ls", strSource.c_str(), strTarget.c_str()));
        _com_issue_error(LastErrorAsHResult());
    }
    DmsCheckNumber(pNewVersion, pNewVersion->UploadFile(DMS_UPLOAD_NORMAL));
    if (!bHeld)
    {
        // Only a raised error counts: the DMS answers "not checked out" for a version that
        // nothing locked.
        short nStatus = 0;
        DmsCheck(pNewVersion->UnlockVersion(DMS_VERSION_CHECK_OUT, &nStatus));
    }
    return pNewVersion;
}

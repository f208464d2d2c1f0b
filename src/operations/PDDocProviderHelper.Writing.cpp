// CPDDocProviderHelper: writing a local file's content into its DMS version.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <algorithm>
#include <cwchar>

#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "framework/Logging.h"
#include "framework/TakeGuard.h"
#include "local/FileReplace.h"

namespace {

const wchar_t kSaveDocument[] = L"CPDDocProviderHelper::SaveDocument";

}  // namespace

// Writes doc.LocalFile into the version doc.DocID names. What a save decision made for the
// host and the host's save could not fill is deleted, and a later save into it fails.
HRESULT CPDDocProviderHelper::SaveDocument(CVDocNonCom& doc, long)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    if (IsDiscarded(doc.GetDocID()))
    {
        LOG_ERROR(kSaveDocument, L"The save's target was deleted after a failed save: " + doc.GetDocID());
        return E_PD_SAVE_FAILED;
    }
    const HRESULT hr = WriteDocument(doc);
    if (IsMade(doc.GetDocID()))
    {
        if (FAILED(hr))
            DiscardMade(doc);
        else
            RememberMade(doc.GetDocID(), MadeForSave::Nothing, false);
    }
    return hr;
}

// SaveDocument's write. On DM 6 the copy into the DMS's local store is the save; on DM 5 the
// version is locked around an upload. Whatever the call takes it gives back before it returns,
// on every path; a check-out that the record reports or that the user held before the call
// stays held, and one that could not be given back after a good save is reported in Flags.
HRESULT CPDDocProviderHelper::WriteDocument(CVDocNonCom& doc)
{
    try
    {
        IProfilePtr pProfile;
        IVersionPtr pVersion = GetVersion(doc.GetDocID(), pProfile);
        if (!pVersion)
            return E_PD_NO_DOCUMENT_FOR_ID;
        if (!pProfile)
            _com_issue_error(E_POINTER);
        const bool bHeld =
            (doc.GetFlags() & RECORD_CHECKED_OUT) != 0 || CheckedLockState(pProfile) == LOCK_STATE_CURRENT_USER;
        return IsDM6Installed() ? SaveIntoDm6(doc, pVersion, bHeld) : SaveIntoDm5(doc, pVersion, pProfile, bHeld);
    }
    catch (...)
    {
        return CaughtFailure(kSaveDocument, E_PD_SAVE_FAILED, E_PD_SAVE_FAILED);
    }
}

// DM 6: the copy into the DMS's local store is the save, made under a check-out that the save
// takes unless one is held already.
HRESULT CPDDocProviderHelper::SaveIntoDm6(CVDocNonCom& doc, IVersionPtr pVersion, bool bHeld)
{
    CTakeGuard guard(kSaveDocument);
    CTakeGuard::Take checkOut = CTakeGuard::kNothing;
    if (!bHeld)
    {
        const HRESULT hrLock = LockVersion(pVersion);
        if (FAILED(hrLock))
            return hrLock;
        checkOut = guard.Took(L"the check-out", [=] { return UnlockVersion(pVersion); });
    }
    const HRESULT hrCopy = ReplaceFileContent(doc.GetLocalFile(), VersionFilePathOf(pVersion));
    if (FAILED(hrCopy))
        return hrCopy;
    guard.GiveBackAll();
    if (guard.Holds(checkOut))
        doc.SetFlags(doc.GetFlags() | RECORD_CHECKED_OUT);
    guard.Commit();
    return S_OK;
}

// DM 5: the profile is taken and the version locked before the edit goes into the DMS's cache,
// so that a process that dies in the middle leaves the document checked out to the user whose
// working copy the cache then is. Until the upload has stored the edit, the cache's old file is
// kept aside and a failure puts it back: a later fetch hands out what the DMS stores.
HRESULT CPDDocProviderHelper::SaveIntoDm5(CVDocNonCom& doc, IVersionPtr pVersion, IProfilePtr pProfile, bool bHeld)
{
    CTakeGuard guard(kSaveDocument);
    // Giving the profile back ends a check-out, so one held before the call is never given back.
    CTakeGuard::Take selection = SelectForEdit(guard, pProfile, bHeld ? DMS_SELECT_CHECKED_OUT : DMS_SELECT_FOR_SAVE,
                                               E_PD_SAVE_FAILED);
    if (bHeld)
        guard.Keep(selection);
    short nStatus = 0;
    DmsCheckStatus(pVersion, pVersion->LockVersionForEdit(DMS_OF_NORMAL, &nStatus), nStatus, E_PD_SAVE_FAILED);
    guard.Took(L"the version's lock", [=] {
        short nUnlocked = 0;
        DmsCheckStatus(pVersion, pVersion->UnlockVersion(DMS_OF_NORMAL, &nUnlocked), nUnlocked, E_PD_SAVE_FAILED);
        return S_OK;
    });

    const CStdStr strCache = VersionFilePathOf(pVersion);
    CStdStr strKept;
    const HRESULT hrCopy = ReplaceFileKeepingOld(doc.GetLocalFile(), strCache, strKept);
    if (FAILED(hrCopy))
        return hrCopy;
    const CTakeGuard::Take cache = hrCopy == S_OK ? guard.Took(L"the cache's old file", [=] {
        return PutBackKeptFile(strKept, strCache);
    }) : CTakeGuard::kNothing;

    ClearParentWindow(pProfile);
    DmsCheckNumber(pVersion, pVersion->UploadFile(DMS_UPLOAD_NORMAL));
    guard.Keep(cache);
    if (!strKept.empty())
        DeleteFileW(strKept.c_str());

    // The content is stored: what follows only gives back, and its failures do not fail the save.
    try
    {
        DmsCheckNumber(pVersion, pVersion->put_Typist(_bstr_t(GetCurrentUser().c_str())));
    }
    catch (...)
    {
        CaughtFailure(kSaveDocument);
    }
    guard.GiveBackAll();
    if (!bHeld && guard.Holds(selection))
        doc.SetFlags(doc.GetFlags() | RECORD_CHECKED_OUT);
    guard.Commit();
    return S_OK;
}

namespace {

bool SameDocID(const CStdStr& strFirst, const CStdStr& strSecond)
{
    return _wcsicmp(strFirst.c_str(), strSecond.c_str()) == 0;
}

}  // namespace

// MadeForSave::Nothing forgets the ID: it was written, or it is made again.
void CPDDocProviderHelper::RememberMade(const CStdStr& strDocID, MadeForSave made, bool bTookCheckOut)
{
    auto same = [&](const CStdStr& strID) { return SameDocID(strID, strDocID); };
    m_made.erase(std::remove_if(m_made.begin(), m_made.end(), [&](const CMadeForSave& m) { return same(m.strDocID); }),
                 m_made.end());
    m_discarded.erase(std::remove_if(m_discarded.begin(), m_discarded.end(), same), m_discarded.end());
    if (made != MadeForSave::Nothing)
        m_made.push_back(CMadeForSave{strDocID, made, bTookCheckOut});
}

bool CPDDocProviderHelper::IsMade(const CStdStr& strDocID) const
{
    return std::any_of(m_made.begin(), m_made.end(), [&](const CMadeForSave& m) { return SameDocID(m.strDocID, strDocID); });
}

bool CPDDocProviderHelper::IsDiscarded(const CStdStr& strDocID) const
{
    return std::any_of(m_discarded.begin(), m_discarded.end(),
                       [&](const CStdStr& strID) { return SameDocID(strID, strDocID); });
}

// Deletes what a save decision made for doc and gives back the check-out it took for it; the
// record keeps naming it, without bit 0 once the check-out went back, so that a retried save
// fails and the host asks for a new target.
HRESULT CPDDocProviderHelper::DiscardMade(CVDocNonCom& doc)
{
    const auto it = std::find_if(m_made.begin(), m_made.end(),
                                 [&](const CMadeForSave& m) { return SameDocID(m.strDocID, doc.GetDocID()); });
    if (it == m_made.end())
        return S_OK;
    const CMadeForSave made = *it;
    m_made.erase(it);
    m_discarded.push_back(made.strDocID);
    try
    {
        IVersionPtr pVersion = GetVersion(made.strDocID);
        if (!pVersion)
            return S_OK;
        IProfilePtr pProfile = ProfileOf(pVersion);
        if (made.made == MadeForSave::Version)
            DmsCheckNumber(pVersion, pVersion->Delete());
        if (made.bTookCheckOut)
        {
            DmsCheckNumber(pProfile, pProfile->ReleaseDoc());
            doc.SetFlags(doc.GetFlags() & ~RECORD_CHECKED_OUT);
        }
        if (made.made == MadeForSave::Document)
        {
            short nStatus = 0;
            DmsCheckStatus(pProfile, pProfile->DeleteDocument(DMS_DELETE_DOCUMENT, &nStatus), nStatus, E_FAIL);
        }
        return S_OK;
    }
    catch (...)
    {
        return CaughtFailure(L"CPDDocProviderHelper::DiscardMade");
    }
}

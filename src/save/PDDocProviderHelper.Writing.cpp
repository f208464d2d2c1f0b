// CPDDocProviderHelper: writing a local file's content into its DMS version.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsCall.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "framework/Logging.h"
#include "framework/TakeGuard.h"
#include "local/FileReplace.h"

namespace {

const wchar_t kSaveDocument[] = L"CPDDocProviderHelper::SaveDocument";

}  // namespace

// Writes doc.LocalFile into the version doc.DocID names. On DM 6 the copy into the DMS's local
// store is the save; on DM 5 the version is locked around an upload. Whatever the call takes it
// gives back before it returns, on every path; a check-out that the record reports or that the
// user held before the call stays held, and one that could not be given back after a good save
// is reported in the record's Flags.
HRESULT CPDDocProviderHelper::SaveDocument(CVDocNonCom& doc, long)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    try
    {
        IVersionPtr pVersion = GetVersion(doc.GetDocID());
        if (!pVersion)
            return E_PD_NO_DOCUMENT_FOR_ID;
        IProfilePtr pProfile = ProfileOf(pVersion);
        GetReturnCode(pVersion, L"SaveDocument : IProfilePtr pProf = pVer->GetProfile();", S_OK);
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
    short nStatus = 0;
    DmsCheckStatus(pProfile, pProfile->SelectForEdit(bHeld ? DMS_SELECT_CHECKED_OUT : DMS_SELECT_FOR_SAVE, &nStatus),
                   nStatus, E_PD_SAVE_FAILED);
    // Giving the profile back ends a check-out, so one held before the call is never given back.
    const CTakeGuard::Take selection = bHeld ? CTakeGuard::kNothing : guard.Took(L"the profile", [=] {
        return DmsCheckNumber(pProfile, pProfile->ReleaseDoc());
    });
    nStatus = 0;
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

    ClearParentWindow(pVersion);
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
    if (guard.Holds(selection))
        doc.SetFlags(doc.GetFlags() | RECORD_CHECKED_OUT);
    guard.Commit();
    return S_OK;
}

// CPDDocProviderHelper: lock state, check-out and check-in of documents.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "framework/Handles.h"
#include "framework/Logging.h"
#include "framework/TakeGuard.h"


namespace {

// The DMS's computed columns for the lock state and the lock owner.
const wchar_t kCheckLocked[] = L"%CheckLocked";
const wchar_t kLockInfo[] = L"%GetProfileLockInfo";
const LONG kOwnerIndex = 4;

const wchar_t kLockVersion[] = L"CPDDocProviderHelper::LockVersion";
const wchar_t kUnlockVersion[] = L"CPDDocProviderHelper::UnlockVersion";

// Reads the owner out of the lock-info array (element 4 of a one-dimensional BSTR array).
CStdStr OwnerFromLockInfo(const VARIANT& vInfo)
{
    const CStdStr strNoArray = L"Could not access SAFEARRAY from Column %GetProfileLockInfo";
    if ((vInfo.vt & VT_ARRAY) == 0 || !vInfo.parray || SafeArrayGetDim(vInfo.parray) != 1)
    {
        LOG_INFO(L"CPDDocProviderHelper::GetProfileLockOwner", strNoArray);
        return CStdStr();
    }
    SAFEARRAY* pArray = vInfo.parray;
    const CSafeArrayAccess access(pArray);
    if (!access.Data<void>())
    {
        LOG_INFO(L"CPDDocProviderHelper::GetProfileLockOwner", strNoArray);
        return CStdStr();
    }
    CStdStr strOwner;
    LONG lLower = 0, lUpper = -1;
    SafeArrayGetLBound(pArray, 1, &lLower);
    SafeArrayGetUBound(pArray, 1, &lUpper);
    const VARTYPE vt = static_cast<VARTYPE>(vInfo.vt & VT_TYPEMASK);
    if (lUpper - lLower + 1 > kOwnerIndex)
    {
        if (vt == VT_BSTR)
        {
            BSTR bstr = access.Data<BSTR>()[kOwnerIndex];
            if (bstr)
                strOwner = bstr;
        }
        else if (vt == VT_VARIANT)
        {
            const VARIANT& v = access.Data<VARIANT>()[kOwnerIndex];
            if (v.vt == VT_BSTR && v.bstrVal)
                strOwner = v.bstrVal;
        }
    }
    return strOwner;
}

}  // namespace

long CPDDocProviderHelper::GetPowerDocsProfileStatus(IProfilePtr pProfile)
{
    CProfileReads profile{pProfile, nullptr};
    return GetPowerDocsProfileStatus(profile);
}

long CPDDocProviderHelper::GetPowerDocsProfileStatus(CProfileReads& profile)
{
    try
    {
        _variant_t vValue = ReadColumn(profile.Columns(), kCheckLocked);
        if (vValue.vt != VT_I4)
            vValue.ChangeType(VT_I4);
        return vValue.lVal;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetPowerDocsProfileStatus", FormatHResult(e.Error()));
        return DMS_CHECK_LOCKED_NONE;
    }
}

CStdStr CPDDocProviderHelper::GetProfileLockOwner(IProfilePtr pProfile)
{
    _variant_t vInfo;
    try
    {
        vInfo = ReadColumn(ColumnsOf(pProfile), kLockInfo);
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetProfileLockOwner",
                 CStdStr::Format(L"Failed to get Column %%GetProfileLockInfo from DP (hr = 0x%x, '%ls')",
                                 static_cast<unsigned>(e.Error()), ComErrorMessage(e.Error()).c_str()));
        return CStdStr();
    }
    try
    {
        return OwnerFromLockInfo(vInfo);
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetProfileLockOwner",
                 CStdStr::Format(L"Failed to access data returned from Column %%GetProfileLockInfo from DP (hr = 0x%x, '%ls')",
                                 static_cast<unsigned>(e.Error()), ComErrorMessage(e.Error()).c_str()));
        return CStdStr();
    }
}

long CPDDocProviderHelper::GetProfileLockStatus(IProfilePtr pProfile, CStdStr& strOwner)
{
    CProfileReads profile{pProfile, nullptr};
    return GetProfileLockStatus(profile, strOwner);
}

long CPDDocProviderHelper::GetProfileLockStatus(CProfileReads& profile, CStdStr& strOwner)
{
    strOwner.clear();
    switch (GetPowerDocsProfileStatus(profile))
    {
    case DMS_CHECK_LOCKED_NONE:
        return LOCK_STATE_NONE;
    case DMS_CHECK_LOCKED_OTHER_USER:
        strOwner = GetProfileLockOwner(profile.pProfile);
        return LOCK_STATE_OTHER_USER;
    case DMS_CHECK_LOCKED_CURRENT_USER:
        strOwner = GetCurrentUser();
        return LOCK_STATE_CURRENT_USER;
    default:
        LOG_INFO(L"CPDDocProviderHelper::GetProfileLockStatus",
                L"Unexpected value returned from Column %CheckLocked (Expected 0, 1 or 2)");
        return LOCK_STATE_NONE;
    }
}

long CPDDocProviderHelper::CheckedLockState(IProfilePtr pProfile)
{
    CProfileReads profile{pProfile, nullptr};
    return CheckedLockState(profile);
}

long CPDDocProviderHelper::CheckedLockState(CProfileReads& profile)
{
    if (!profile.pColumns)
        DmsCheckNumber(profile.pProfile, profile.pProfile->get_Columns(&profile.pColumns));
    _variant_t vValue = CheckedColumn(profile.pColumns, kCheckLocked);
    // A state the DMS left empty is no state: guessing "not locked" could give back a check-out.
    if (vValue.vt == VT_EMPTY || vValue.vt == VT_NULL)
        DmsCheck(E_PD_INVALID_STATE);
    vValue.ChangeType(VT_I4);
    switch (vValue.lVal)
    {
    case DMS_CHECK_LOCKED_CURRENT_USER: return LOCK_STATE_CURRENT_USER;
    case DMS_CHECK_LOCKED_OTHER_USER: return LOCK_STATE_OTHER_USER;
    default: return LOCK_STATE_NONE;
    }
}

bool CPDDocProviderHelper::IsDocumentLocked(IProfilePtr pProfile)
{
    CStdStr strOwner;
    return GetProfileLockStatus(pProfile, strOwner) != LOCK_STATE_NONE;
}

// Checks the version out: the profile is selected for editing, then the version locked. A
// check-out is whole or not taken: when the lock is refused, in whichever way, the selection
// goes back with the profile's release, so callers have nothing to give back.
HRESULT CPDDocProviderHelper::LockVersion(IVersionPtr pVersion, IProfilePtr pKnownProfile)
{
    CTakeGuard guard(kLockVersion);
    try
    {
        const IProfilePtr pProfile = pKnownProfile ? pKnownProfile : ProfileOf(pVersion);
        SelectForEdit(guard, pProfile, DMS_SELECT_FOR_CHECK_OUT, E_PD_SAVE_FAILED);
        short nStatus = 0;
        DmsCheckStatus(pVersion, pVersion->LockVersionForEdit(DMS_VERSION_CHECK_OUT, &nStatus), nStatus,
                       E_PD_SAVE_FAILED);
        guard.Commit();
        return S_OK;
    }
    catch (...)
    {
        return CaughtFailure(kLockVersion);
    }
}

// Checks the version in. The profile goes back even when the unlock failed; the answer is then
// the unlock's failure.
HRESULT CPDDocProviderHelper::UnlockVersion(IVersionPtr pVersion)
{
    HRESULT hrUnlock = S_OK;
    try
    {
        short nStatus = 0;
        DmsCheckStatus(pVersion, pVersion->UnlockVersion(DMS_VERSION_CHECK_OUT, &nStatus), nStatus, E_PD_SAVE_FAILED);
    }
    catch (...)
    {
        hrUnlock = CaughtFailure(kUnlockVersion);
    }
    try
    {
        IProfilePtr pProfile = ProfileOf(pVersion);
        DmsCheckNumber(pProfile, pProfile->ReleaseDoc());
        return hrUnlock;
    }
    catch (...)
    {
        const HRESULT hrRelease = CaughtFailure(kUnlockVersion);
        return FAILED(hrUnlock) ? hrUnlock : hrRelease;
    }
}

HRESULT CPDDocProviderHelper::xxLockProfile(IProfilePtr pProfile)
{
    short nStatus = 0;
    DmsCheck(pProfile->SelectForEdit(DMS_SELECT_FOR_CHECK_OUT, &nStatus));
    return nStatus != 0 ? S_OK : GetReturnCode(pProfile, L"LockProfile failed: ", E_PD_SAVE_FAILED);
}

HRESULT CPDDocProviderHelper::xxLockProfileAndDoc(IProfilePtr)
{
    return E_NOTIMPL;
}

// LockDocument's check-in answers what happened: S_OK when the document is no longer checked
// out, whatever failed on the way; a failure while it is still held. When the state cannot be
// read, the check-in's own answer stands.
HRESULT CPDDocProviderHelper::UnlockDocument(IVersionPtr pVersion, IProfilePtr pProfile)
{
    const HRESULT hr = UnlockVersion(pVersion);
    long lState = LOCK_STATE_NONE;
    try
    {
        lState = CheckedLockState(pProfile);
    }
    catch (...)
    {
        CaughtFailure(L"CPDDocProviderHelper::LockDocument");
        return hr;
    }
    if (lState == LOCK_STATE_NONE)
        return S_OK;
    return FAILED(hr) ? hr : E_FAIL;
}

// Kept for hosts that call it; locking as another user is not offered.
HRESULT CPDDocProviderHelper::LockDocumentAsOtherUserForTesting(CStdStr, CStdStr, CStdStr, long)
{
    return E_NOTIMPL;
}

HRESULT CPDDocProviderHelper::GetDocumentLockStatus(CStdStr strDocID, long* plStatus, CStdStr& strOwner)
{
    try
    {
        IVersionPtr pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        IProfilePtr pProfile = ProfileOf(pVersion);
        long lStatus = GetProfileLockStatus(pProfile, strOwner);
        if (plStatus)
            *plStatus = lStatus;
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetDocumentLockStatus", FormatHResult(e.Error()));
        return e.Error();
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetDocumentLockStatus", L"Caught unknown error");
        return E_FAIL;
    }
}

HRESULT CPDDocProviderHelper::LockDocument(CStdStr strDocID, long lAction)
{
    try
    {
        long lState = LOCK_STATE_NONE;
        CStdStr strOwner;
        HRESULT hr = GetDocumentLockStatus(strDocID, &lState, strOwner);
        if (FAILED(hr))
            return hr;
        if (lState == LOCK_STATE_OTHER_USER)
            return E_DOCUMENT_LOCKED_BY_OTHER;
        if (lState == LOCK_STATE_NONE && lAction == LOCK_ACTION_UNLOCK)
            return E_DOCUMENT_NOT_LOCKED;
        if (lState == LOCK_STATE_CURRENT_USER && lAction != LOCK_ACTION_UNLOCK)
            return E_DOCUMENT_ALREADY_LOCKED;

        IVersionPtr pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        IProfilePtr pProfile = ProfileOf(pVersion);
        if (lAction == LOCK_ACTION_LOCK)
        {
            hr = LockVersion(pVersion);
            return FAILED(hr) ? hr : S_OK;
        }
        if (lAction == LOCK_ACTION_UNLOCK)
            return UnlockDocument(pVersion, pProfile);
        return E_FAIL;
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::LockDocument", L"Caught unknown error");
        return E_FAIL;
    }
}

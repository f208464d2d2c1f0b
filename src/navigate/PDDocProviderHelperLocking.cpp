// CPDDocProviderHelper: lock state, check-out and check-in of documents.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsValues.h"
#include "framework/Logging.h"

using namespace Corvane::Logging;

namespace {

const wchar_t kSource[] = L"PDDocProviderHelper";

// The DMS's computed columns for the lock state and the lock owner.
const wchar_t kCheckLocked[] = L"%CheckLocked";
const wchar_t kLockInfo[] = L"%GetProfileLockInfo";
const LONG kOwnerIndex = 4;

// Reads the owner out of the lock-info array (element 4 of a one-dimensional BSTR array).
CStdStr OwnerFromLockInfo(const VARIANT& vInfo)
{
    const CStdStr strNoArray = L"Could not access SAFEARRAY from Column %GetProfileLockInfo";
    if ((vInfo.vt & VT_ARRAY) == 0 || !vInfo.parray || SafeArrayGetDim(vInfo.parray) != 1)
    {
        LogInfo(kSource, __LINE__, L"CPDDocProviderHelper::GetProfileLockOwner", strNoArray);
        return CStdStr();
    }
    SAFEARRAY* pArray = vInfo.parray;
    void* pData = nullptr;
    if (FAILED(SafeArrayAccessData(pArray, &pData)))
    {
        LogInfo(kSource, __LINE__, L"CPDDocProviderHelper::GetProfileLockOwner", strNoArray);
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
            BSTR bstr = static_cast<BSTR*>(pData)[kOwnerIndex];
            if (bstr)
                strOwner = bstr;
        }
        else if (vt == VT_VARIANT)
        {
            const VARIANT& v = static_cast<VARIANT*>(pData)[kOwnerIndex];
            if (v.vt == VT_BSTR && v.bstrVal)
                strOwner = v.bstrVal;
        }
    }
    if (FAILED(SafeArrayUnaccessData(pArray)))
    {
        LogInfo(kSource, __LINE__, L"CPDDocProviderHelper::GetProfileLockOwner", strNoArray);
        return CStdStr();
    }
    return strOwner;
}

}  // namespace

long CPDDocProviderHelper::GetPowerDocsProfileStatus(IProfilePtr pProfile)
{
    try
    {
        _variant_t vValue = ReadColumn(ColumnsOf(pProfile), kCheckLocked);
        if (vValue.vt != VT_I4)
            vValue.ChangeType(VT_I4);
        return vValue.lVal;
    }
    catch (const _com_error& e)
    {
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::GetPowerDocsProfileStatus", FormatHResult(e.Error()));
        return 0;
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
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::GetProfileLockOwner",
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
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::GetProfileLockOwner",
                 CStdStr::Format(L"Failed to access data returned from Column %%GetProfileLockInfo from DP (hr = 0x%x, '%ls')",
                                 static_cast<unsigned>(e.Error()), ComErrorMessage(e.Error()).c_str()));
        return CStdStr();
    }
}

long CPDDocProviderHelper::GetProfileLockStatus(IProfilePtr pProfile, CStdStr& strOwner)
{
    strOwner.clear();
    switch (GetPowerDocsProfileStatus(pProfile))
    {
    case 0:
        return 0;
    case 1:  // the DMS: locked by another user
        strOwner = GetProfileLockOwner(pProfile);
        return 2;
    case 2:  // the DMS: locked by the current user
        strOwner = GetCurrentUser();
        return 1;
    default:
        LogInfo(kSource, __LINE__, L"CPDDocProviderHelper::GetProfileLockStatus",
                L"Unexpected value returned from Column %CheckLocked (Expected 0, 1 or 2)");
        return 0;
    }
}

bool CPDDocProviderHelper::IsDocumentLocked(IProfilePtr pProfile)
{
    CStdStr strOwner;
    return GetProfileLockStatus(pProfile, strOwner) != 0;
}

HRESULT CPDDocProviderHelper::LockVersion(IVersionPtr pVersion)
{
    try
    {
        IProfilePtr pProfile;
        DmsCheck(pVersion->GetProfile(&pProfile));
        short nStatus = 0;
        DmsCheck(pProfile->SelectForEdit(0x23, &nStatus));
        if (nStatus == 0)
            return GetReturnCode(pProfile, L"SelectForEdit failed: ", S_OK);
        nStatus = 0;
        DmsCheck(pVersion->LockVersionForEdit(3, &nStatus));
        if (nStatus == 0)
            return GetReturnCode(pVersion, L"LockVersionForEdit failed: ", S_OK);
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::LockVersion", e);
        return e.Error();
    }
}

HRESULT CPDDocProviderHelper::UnlockVersion(IVersionPtr pVersion)
{
    try
    {
        short nStatus = 0;
        DmsCheck(pVersion->UnlockVersion(3, &nStatus));
        if (nStatus == 0)
            GetReturnCode(pVersion, L"UnlockVersion failed: ", S_OK);
        // The profile goes back even when the unlock failed.
        IProfilePtr pProfile;
        DmsCheck(pVersion->GetProfile(&pProfile));
        return pProfile->ReleaseDoc();
    }
    catch (const _com_error& e)
    {
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::UnlockVersion", e);
        return e.Error();
    }
}

HRESULT CPDDocProviderHelper::xxLockProfile(IProfilePtr pProfile)
{
    short nStatus = 0;
    DmsCheck(pProfile->SelectForEdit(0x23, &nStatus));
    return nStatus != 0 ? S_OK : GetReturnCode(pProfile, L"LockProfile failed: ", S_OK);
}

HRESULT CPDDocProviderHelper::xxLockProfileAndDoc(IProfilePtr)
{
    return E_NOTIMPL;
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
        IProfilePtr pProfile;
        DmsCheck(pVersion->GetProfile(&pProfile));
        long lStatus = GetProfileLockStatus(pProfile, strOwner);
        if (plStatus)
            *plStatus = lStatus;
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::GetDocumentLockStatus", FormatHResult(e.Error()));
        return e.Error();
    }
    catch (...)
    {
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::GetDocumentLockStatus", CStdStr(L"Caught unknown error"));
        return E_FAIL;
    }
}

HRESULT CPDDocProviderHelper::LockDocument(CStdStr strDocID, long lAction)
{
    const long kUnlock = 2;
    try
    {
        long lState = 0;
        CStdStr strOwner;
        HRESULT hr = GetDocumentLockStatus(strDocID, &lState, strOwner);
        if (FAILED(hr))
            return hr;
        if (lState == 2)
            return E_DOCUMENT_LOCKED_BY_OTHER;
        if (lState == 0 && lAction == kUnlock)
            return E_DOCUMENT_NOT_LOCKED;
        if (lState == 1 && lAction != kUnlock)
            return E_DOCUMENT_ALREADY_LOCKED;

        IVersionPtr pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        IProfilePtr pProfile;
        DmsCheck(pVersion->GetProfile(&pProfile));
        if (lAction == 1)
        {
            hr = LockVersion(pVersion);
            return FAILED(hr) ? hr : S_OK;
        }
        if (lAction == kUnlock)
        {
            hr = UnlockVersion(pVersion);
            if (FAILED(hr))
                return hr;
            return IsDocumentLocked(pProfile) ? E_FAIL : S_OK;
        }
        return E_FAIL;
    }
    catch (...)
    {
        LogError(kSource, __LINE__, L"CPDDocProviderHelper::LockDocument", CStdStr(L"Caught unknown error"));
        return E_FAIL;
    }
}

#include "dms/DmsTakes.h"

#include "dms/DmsCall.h"
#include "dms/DmsConstants.h"

CTakeGuard::Take SelectForEdit(CTakeGuard& guard, IProfilePtr pProfile, long lFlags, HRESULT hrRefused)
{
    short nStatus = 0;
    DmsCheckStatus(pProfile, pProfile->SelectForEdit(lFlags, &nStatus), nStatus, hrRefused);
    return TookSelection(guard, pProfile);
}

CTakeGuard::Take TookSelection(CTakeGuard& guard, IProfilePtr pProfile, const wchar_t* pszWhat)
{
    return guard.Took(pszWhat, [=] { return DmsCheckNumber(pProfile, pProfile->ReleaseDoc()); });
}

CTakeGuard::Take TookNewProfile(CTakeGuard& guard, IProfilePtr pProfile)
{
    return guard.Took(L"the new document", [=] {
        long lNumber = 0;
        DmsCheck(pProfile->get_DocNumber(&lNumber));
        if (lNumber <= 0)
            return S_OK;  // never stored
        short nStatus = 0;
        DmsCheckStatus(pProfile, pProfile->DeleteDocument(DMS_DELETE_DOCUMENT, &nStatus), nStatus, E_FAIL);
        return S_OK;
    });
}

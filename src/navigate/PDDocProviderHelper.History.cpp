// CPDDocProviderHelper: history events on a document's profile, and the profile display that
// this provider does not offer.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsValues.h"
#include "navigate/PDHistoryHelper.h"

HRESULT CPDDocProviderHelper::AddHistoryEvent(CStdStr strDocID, long lEventType, long lParam1, long lParam2,
                                              CStdStr strApplication, CStdStr)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    // An ID the DMS does not know has no history to add to; the host is not told.
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
        return S_OK;
    IProfilePtr pProfile = ProfileOf(pVersion);
    CPDHistoryHelper<IProfilePtr> helper;
    if (FAILED(helper.AddHistoryEvent(pProfile, lEventType, lParam1, lParam2, strApplication, GetCurrentUser())))
        return E_FAIL;
    return S_OK;
}

HRESULT CPDDocProviderHelper::DisplayProfile(CStdStr, long) { return E_NOTIMPL; }

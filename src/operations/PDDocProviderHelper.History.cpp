// CPDDocProviderHelper: history events on a document's profile, and the profile display that
// this provider does not offer.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsValues.h"
#include "operations/PDHistoryHelper.h"

HRESULT CPDDocProviderHelper::AddHistoryEvent(CStdStr strDocID, long lEventType, long lParam1, long lParam2,
                                              CStdStr strApplication, CStdStr)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    // An event that could not be recorded is never answered as recorded: an ID the DMS does not
    // know (or a lookup that failed) has no history to add to.
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
        return E_DOCUMENT_NOT_FOUND;
    IProfilePtr pProfile = ProfileOf(pVersion);
    CPDHistoryHelper<IProfilePtr> helper;
    if (FAILED(helper.AddHistoryEvent(pProfile, lEventType, lParam1, lParam2, strApplication, GetCurrentUser())))
        return E_FAIL;
    return S_OK;
}

HRESULT CPDDocProviderHelper::DisplayProfile(CStdStr, long) { return E_NOTIMPL; }

// CPDHistoryHelper: the DMS call sequence of a history event.
#include "operations/PDHistoryHelper.h"

#include "dms/DmsCall.h"
#include "dms/DmsErrors.h"
#include "dms/DmsValues.h"
#include "framework/Logging.h"

namespace {

// Log records name this instance with its template argument spelled out in full, as the
// people who read the logs know it.
const wchar_t kAddHistoryEvent[] =
    L"CPDHistoryHelper<class _com_ptr_t<class _com_IIID<struct DOCSObjects::IProfile,&struct __s_GUID const "
    L"_GUID_1cf0de7e_8cae_11d1_82a2_0060083f9b01> > >::AddHistoryEvent";

// The description the DMS receives for an event type (the spacing is the DMS's convention, so
// that the texts line up in its history view); null for an unknown type.
const wchar_t* EventDescription(long lEventType)
{
    switch (lEventType)
    {
    case 1: return L"Launch document";
    case 2: return L"View   document";
    case 3: return L"Print  document";
    case 4: return L"Mail Copy";
    case 5: return L"Modify document";
    default: return nullptr;
    }
}

// The error text that a DMS object offers; "" when it has none or cannot give it.
CStdStr ErrorTextOf(IUnknown* pObject)
{
    try
    {
        IDMErrorPtr pError(pObject);
        if (!pError)
            return CStdStr();
        _bstr_t bstrText;
        if (FAILED(pError->get_ErrorDescription(bstrText.GetAddress())))
            return CStdStr();
        return DmsText(bstrText);
    }
    catch (...)
    {
        return CStdStr();
    }
}

}  // namespace

template <class ProfilePtr>
CPDHistoryHelper<ProfilePtr>::CPDHistoryHelper()
{
    DmsCheck(m_pEvent.CreateInstance(__uuidof(HistoryEvent), nullptr, CLSCTX_ALL));
}

template <class ProfilePtr>
HRESULT CPDHistoryHelper<ProfilePtr>::AddHistoryEvent(ProfilePtr pProfile, long lEventType, long lParam1,
                                                      long lParam2, const CStdStr& strText, const CStdStr& strUser)
{
    const wchar_t* pszDescription = EventDescription(lEventType);
    if (!pszDescription)
        return E_FAIL;
    _variant_t vDescription(pszDescription);
    // A mailed copy is only named; the other events carry the host's numbers and text.
    if (lEventType != 4)
    {
        DmsCheckNumber(m_pEvent, m_pEvent->put_Number1(lParam1));
        DmsCheckNumber(m_pEvent, m_pEvent->put_Number2(lParam2));
        m_strText = strText;
        m_vValue = m_strText.c_str();
        DmsCheckNumber(m_pEvent, m_pEvent->put_Text(m_vValue));
    }
    return Record(pProfile, vDescription, strUser);
}

template <class ProfilePtr>
HRESULT CPDHistoryHelper<ProfilePtr>::AddHistoryEntry(ProfilePtr pProfile, const CStdStr& strDescription,
                                                      const CStdStr& strUser)
{
    DmsCheckNumber(m_pEvent, m_pEvent->put_Number1(HISTORY_ACTIVITY_NONE));
    return Record(pProfile, _variant_t(strDescription.c_str()), strUser);
}

template <class ProfilePtr>
HRESULT CPDHistoryHelper<ProfilePtr>::Record(ProfilePtr pProfile, const _variant_t& vDescription,
                                             const CStdStr& strUser)
{
    // An entry without its user would not say who did it.
    if (strUser.empty())
        return E_FAIL;
    m_vValue = strUser.c_str();
    DmsCheckNumber(m_pEvent, m_pEvent->put_UserName(m_vValue));
    if (!pProfile)
        _com_issue_error(E_POINTER);
    // A refused entry, in either way the DMS refuses, is a failure the host hears of: the event
    // was not recorded.
    HRESULT hr = pProfile->AddHistory(vDescription, m_pEvent);
    if (SUCCEEDED(hr) && ReadDmsError(pProfile).lNumber != 0)
        hr = E_FAIL;
    if (hr != S_OK)
        LOG_ERROR(kAddHistoryEvent, ErrorTextOf(pProfile));
    return FAILED(hr) ? hr : S_OK;
}

template class CPDHistoryHelper<IProfilePtr>;

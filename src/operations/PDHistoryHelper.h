#pragma once
// CPDHistoryHelper: records one history event on a DMS profile in a user's name. It owns the
// DMS's history event object, created with the helper; one helper serves one call on the
// apartment thread. Only the IProfilePtr instance exists.
#include <windows.h>

#include <comdef.h>

#include "dms/DmsTypes.h"
#include "framework/StdStr.h"

// The activity code of an entry that no host event type describes.
constexpr long HISTORY_ACTIVITY_NONE = 0;

template <class ProfilePtr>
class CPDHistoryHelper
{
public:
    // Raises _com_error when the DMS cannot create its history event object.
    CPDHistoryHelper();

    // Event types 1 to 5; any other type gives E_FAIL without a DMS call on the profile. A
    // refusal by the DMS is logged with its error text and answered with its code.
    HRESULT AddHistoryEvent(ProfilePtr pProfile, long lEventType, long lParam1, long lParam2,
                            const CStdStr& strText, const CStdStr& strUser);

    // An entry of the provider's own, outside the host's event types: the description as given,
    // activity code 0. Answers like AddHistoryEvent.
    HRESULT AddHistoryEntry(ProfilePtr pProfile, const CStdStr& strDescription, const CStdStr& strUser);

private:
    HRESULT Record(ProfilePtr pProfile, const _variant_t& vDescription, const CStdStr& strUser);

    CStdStr m_strText;
    IHistoryEventPtr m_pEvent;
    _variant_t m_vValue;
};

extern template class CPDHistoryHelper<IProfilePtr>;

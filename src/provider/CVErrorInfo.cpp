// Error questions about codes of other facilities, answered by the host's component manager.
#include "provider/CVComponent.h"

#include "provider/ComponentManager.h"

HRESULT CCVErrorInfo::GetErrorDescription(HRESULT hrError, GUID guidSource, BSTR* pbstrDescription)
{
    return AskComponentManager<ICVErrorInfoPtr>(LOG_SITE, L"CCVErrorInfo::GetErrorDescription",
        [&](ICVErrorInfoPtr& p) { return p->GetErrorDescription(hrError, guidSource, pbstrDescription); });
}

HRESULT CCVErrorInfo::GetHelpFile(HRESULT hrError, GUID guidSource, BSTR* pbstrHelpFile)
{
    return AskComponentManager<ICVErrorInfoPtr>(LOG_SITE, L"CCVErrorInfo::GetHelpFile",
        [&](ICVErrorInfoPtr& p) { return p->GetHelpFile(hrError, guidSource, pbstrHelpFile); });
}

HRESULT CCVErrorInfo::CanDiagnose(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan)
{
    return AskComponentManager<ICVErrorInfoPtr>(LOG_SITE, L"CCVErrorInfo::CanDiagnose",
        [&](ICVErrorInfoPtr& p) { return p->CanDiagnose(hrError, guidSource, pbCan); });
}

HRESULT CCVErrorInfo::CanAutofix(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan)
{
    return AskComponentManager<ICVErrorInfoPtr>(LOG_SITE, L"CCVErrorInfo::CanAutofix",
        [&](ICVErrorInfoPtr& p) { return p->CanAutofix(hrError, guidSource, pbCan); });
}

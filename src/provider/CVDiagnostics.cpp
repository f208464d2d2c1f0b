// Diagnostics questions, answered by the host's component manager.
#include "provider/CVComponent.h"

#include "provider/ComponentManager.h"

HRESULT CCVDiagnostics::ExamineError(HRESULT hrError, GUID guidSource, BSTR* pbstrReport)
{
    return AskComponentManager<ICVDiagnosticsPtr>(LOG_SITE, L"CCVDiagnostics::ExamineError",
        [&](ICVDiagnosticsPtr& p) { return p->ExamineError(hrError, guidSource, pbstrReport); });
}

HRESULT CCVDiagnostics::FixError(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbFixed)
{
    return AskComponentManager<ICVDiagnosticsPtr>(LOG_SITE, L"CCVDiagnostics::FixError",
        [&](ICVDiagnosticsPtr& p) { return p->FixError(hrError, guidSource, pbFixed); });
}

#include "dms/DmsCall.h"

#include "dms/DmsErrors.h"
#include "framework/Logging.h"

namespace {

// Raises the object's recorded error number, if any, after publishing its description.
void RaiseRecordedError(IUnknown* pObject, const DmsCallSite& site)
{
    const DmsError error = ReadDmsError(pObject);
    if (error.lNumber == 0)
        return;
    PopulateErrorInfo(error.strDescription);
    throw CDmsFailure(ConvertPowerDocsErrorCodeToHRESULT(error.lNumber), error.lNumber, site, false);
}

}  // namespace

HRESULT DmsRaiseNumber(IUnknown* pObject, HRESULT hr, const DmsCallSite& site)
{
    DmsRaise(hr, site);
    RaiseRecordedError(pObject, site);
    return hr;
}

void DmsRaiseStatus(IUnknown* pObject, HRESULT hr, const short& nStatus, HRESULT hrRefused, const DmsCallSite& site)
{
    DmsRaiseNumber(pObject, hr, site);
    if (nStatus == 0)
        throw CDmsFailure(hrRefused, 0, site, false);
}

HRESULT CaughtFailure(const wchar_t* pszFunction, HRESULT hrUnknown, HRESULT hrRaised) noexcept
{
    try
    {
        throw;
    }
    catch (const CDmsFailure& failure)
    {
        const DmsCallSite& site = failure.Site();
        const Corvane::Logging::LogSite logSite{Corvane::Logging::LogSourceOf(site.pszFile), site.nLine};
        CStdStr strMessage = FormatHResult(failure.Error());
        strMessage += CStdStr::Format(L" (DMS call at %ls:%d", site.pszFile, site.nLine);
        if (failure.DmsError() != 0)
            strMessage += CStdStr::Format(L", DMS error %ld", failure.DmsError());
        Corvane::Logging::LogError(logSite, pszFunction, strMessage + L")");
        return failure.Raised() && hrRaised != S_OK ? hrRaised : failure.Error();
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(pszFunction, FormatHResult(e.Error()));
        return hrRaised != S_OK ? hrRaised : e.Error();
    }
    catch (...)
    {
        LOG_ERROR(pszFunction, L"Caught unknown error");
        return hrUnknown;
    }
}

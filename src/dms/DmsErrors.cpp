#include "dms/DmsErrors.h"

#include <oleauto.h>

#include "dms/DmsValues.h"
#include "framework/ErrorInfo.h"

HRESULT ConvertPowerDocsErrorCodeToHRESULT(long lErrorCode)
{
    switch (lErrorCode)
    {
    case 0: return S_OK;
    case 1: return E_PD_USER_CANCELLED;
    case 2: return E_PD_SYSTEM_ERROR;
    case 3: return E_PD_INVALID_ARGUMENTS;
    case 4: return E_PD_INSUFFICIENT_RIGHTS;
    case 5:
    case 6: return E_PD_FORM_LOAD_FAILED;
    case 7: return E_PD_MODULE_LOAD_FAILED;
    case 8: return E_PD_MODULE_ERROR;
    case 9: return E_PD_INVALID_STATE;
    case 10: return E_PD_CANNOT_INVOKE;
    case 11: return E_PD_SERVER_CALL_FAILED;
    default: return E_PD_INTERNAL_ERROR;
    }
}

void PopulateErrorInfo(const CStdStr& strDescription)
{
    PublishErrorInfo(L"PowerDocs Doc Provider", strDescription.c_str());
}

DmsError ReadDmsError(IUnknown* pObject)
{
    DmsError error;
    IDMErrorPtr pError;
    if (!pObject || FAILED(pObject->QueryInterface(__uuidof(IDMError), reinterpret_cast<void**>(&pError))))
        return error;
    DmsCheck(pError->get_ErrorNumber(&error.lNumber));
    if (error.lNumber != 0)
    {
        _bstr_t bstrText;
        DmsCheck(pError->get_ErrorDescription(bstrText.GetAddress()));
        error.strDescription = DmsText(bstrText);
    }
    return error;
}

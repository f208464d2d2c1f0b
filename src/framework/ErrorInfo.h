#pragma once
// Publishing a text as the calling thread's COM error information, which a caller reads with
// GetErrorInfo (or _com_error::Description) after a failed call.
#include <windows.h>
#include <oleauto.h>

#include "framework/ComPtr.h"

inline void PublishErrorInfo(const wchar_t* pszSource, const wchar_t* pszDescription)
{
    CCreateErrorInfoPtr pCreate;
    if (FAILED(CreateErrorInfo(&pCreate)))
        return;
    pCreate->SetDescription(const_cast<LPOLESTR>(pszDescription));
    pCreate->SetSource(const_cast<LPOLESTR>(pszSource));
    CErrorInfoPtr pInfo = pCreate;
    if (pInfo)
        SetErrorInfo(0, pInfo);
}

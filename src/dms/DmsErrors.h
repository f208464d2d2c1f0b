#pragma once
// DMS error codes as the component's result codes, and the COM error information that goes
// with a DMS failure.
#include <windows.h>

#include <corvane/QuendrelResults.h>

#include "dms/DmsTypes.h"
#include "framework/StdStr.h"

// 0 gives S_OK; the DMS codes 1..11 give 0x801D0002..0x801D000B (5 and 6 share 0x801D0006);
// every other value, negative ones included, gives 0x801D000C.
HRESULT ConvertPowerDocsErrorCodeToHRESULT(long lErrorCode);

// Publishes a description as the thread's COM error information, with the source
// "PowerDocs Doc Provider". Nothing is set when the error object cannot be created.
void PopulateErrorInfo(const CStdStr& strDescription);

// The last error number and description that a DMS object reports (0 and "" when it offers
// no error interface).
struct DmsError
{
    long lNumber = 0;
    CStdStr strDescription;
};
DmsError ReadDmsError(IUnknown* pObject);

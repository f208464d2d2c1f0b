#pragma once
// Translation of DMS error codes into the component's result codes, and the descriptions of
// the component's own codes.
#include <windows.h>

#include <corvane/QuendrelResults.h>

#include "framework/StdStr.h"

// 0 gives S_OK; the DMS codes 1..11 give 0x801D0002..0x801D000B (5 and 6 share 0x801D0006);
// every other value gives 0x801D000C.
HRESULT ConvertPowerDocsErrorCodeToHRESULT(long lErrorCode);

// True for the codes 0x801D0001..0x801D0013, which have a description.
bool IsDescribedComponentCode(HRESULT hr);

// The description of a component code from the string table, or its built-in fallback.
CStdStr ComponentErrorText(HRESULT hr);

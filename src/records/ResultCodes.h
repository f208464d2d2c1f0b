#pragma once
// The descriptions of the component's own result codes.
#include <windows.h>

#include <corvane/QuendrelResults.h>

#include "framework/StdStr.h"

// True for a code of the component's facility (0x1D), whatever its severity and number.
inline bool IsComponentFacility(HRESULT hr)
{
    const HRESULT kFacilityBits = 0x1FFF0000;  // the facility field, the reserved bit included
    return (hr & kFacilityBits) == (E_PD_SUCCEEDED & kFacilityBits);
}

// True for the codes 0x801D0001..0x801D0013, which have a description.
bool IsDescribedComponentCode(HRESULT hr);

// The description of a component code from the string table, or its built-in fallback.
CStdStr ComponentErrorText(HRESULT hr);

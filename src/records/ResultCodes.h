#pragma once
// The descriptions of the component's own result codes.
#include <windows.h>

#include <corvane/QuendrelResults.h>

#include "framework/StdStr.h"

// True for the codes 0x801D0001..0x801D0013, which have a description.
bool IsDescribedComponentCode(HRESULT hr);

// The description of a component code from the string table, or its built-in fallback.
CStdStr ComponentErrorText(HRESULT hr);

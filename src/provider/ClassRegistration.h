#pragma once
// The COM class registration of CDocProvider under HKEY_CLASSES_ROOT: both ProgIDs and the
// CLSID key with its in-process server. Registry failures come back as their HRESULT.
#include <windows.h>

#include "framework/StdStr.h"

extern const wchar_t kProgID[];
extern const wchar_t kVersionIndependentProgID[];

HRESULT RegisterDocProviderClass(const CStdStr& strModulePath);
HRESULT UnregisterDocProviderClass();

#pragma once
// Readable names for the result codes a host meets when it talks to the provider.
#include <windows.h>

#include <string>

// "0x8012001B E_NO_DMS_CLIENT", or just the hexadecimal code when the name is unknown.
std::wstring DescribeHResult(HRESULT hr);

#pragma once
// The plain C entry points of the host suite's libraries, as this component calls them. The
// component never links against these libraries: it loads each one by file name and resolves
// these names with GetProcAddress (pointer types below). Declared in a namespace so that the
// names stay out of the global one; C linkage gives the plain export names. Strings are
// null-terminated UTF-16; a null or empty group means the host's global options.
#include <windows.h>

namespace HostSuite {

extern "C" {

// CmOption.dll: the host's option store.
BOOL __cdecl OptionGetBool(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName);
// Copies the value into pszBuffer when cchBuffer is large enough; returns the characters the
// value needs including its terminating null, or 0 when the option is not set.
DWORD __cdecl OptionGetString(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName,
                              wchar_t* pszBuffer, DWORD cchBuffer);
void __cdecl OptionSetBool(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName,
                           BOOL bValue);
void __cdecl OptionSetString(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName,
                             const wchar_t* pszValue);
BOOL __cdecl OptionGroupExists(const wchar_t* pszGroup, const wchar_t* pszSubgroup);

// Corvane.Messaging.dll: shows a message and returns the button pressed (IDOK, IDYES, ...).
int __cdecl ShowMessage(HWND hParent, const wchar_t* pszText, int nButtons, int nBranding, int nType,
                        const wchar_t* pszSecond, int nNumber, const wchar_t* pszSourceFile, int nLine,
                        const wchar_t* pszFunction);

// CmDMSHelper.dll: true when the document has an offline copy.
BOOL __cdecl IsDocOffline(const wchar_t* pszDocID);

// CVActivationContextLoader.dll: activation of a manifest's context on the calling thread.
// The two loaders return 0 on success, else a system error code.
BOOL __cdecl IsAlreadyActiveForManifest(const wchar_t* pszManifestPath);
DWORD __cdecl LoadActivationContext(const wchar_t* pszManifestPath, ULONG_PTR* pulCookie);
DWORD __cdecl UnloadActivationContext(ULONG_PTR ulCookie);

}  // extern "C"

using PfnOptionGetBool = decltype(&OptionGetBool);
using PfnOptionGetString = decltype(&OptionGetString);
using PfnOptionSetBool = decltype(&OptionSetBool);
using PfnOptionSetString = decltype(&OptionSetString);
using PfnOptionGroupExists = decltype(&OptionGroupExists);
using PfnShowMessage = decltype(&ShowMessage);
using PfnIsDocOffline = decltype(&IsDocOffline);
using PfnIsAlreadyActiveForManifest = decltype(&IsAlreadyActiveForManifest);
using PfnLoadActivationContext = decltype(&LoadActivationContext);
using PfnUnloadActivationContext = decltype(&UnloadActivationContext);

}  // namespace HostSuite

#pragma once
// The platform's ActiveX host window class ("AtlAxWin100" of the ATL 10 runtime, atl100.dll),
// reached at run time: a child window of that class whose text is a ProgID creates and
// in-place activates that control. The runtime is loaded on first use and kept loaded for
// the process, since its window class serves every host window of the process.
#include <windows.h>
#include <unknwn.h>

namespace AxHost {

constexpr wchar_t HOST_WINDOW_CLASS[] = L"AtlAxWin100";

// Loads the runtime and registers its host window class; false when either is not available.
bool Init();
// The control inside a host window, AddRef'ed; fails when there is none.
HRESULT GetControl(HWND hHost, IUnknown** ppUnknown);

}  // namespace AxHost

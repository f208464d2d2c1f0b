#pragma once
// The host's message display (Corvane.Messaging.dll). Returns the button pressed (IDYES = 6,
// ...), or 0 when the library is not present.
#include <windows.h>

#include "framework/StdStr.h"

namespace Corvane {
namespace Messaging {

int ShowMessage(HWND hParent, const CStdStr& strText, int nButtons, int nBranding, int nType,
                const CStdStr& strSecond, int nNumber, const CStdStr& strSourceFile, int nLine,
                const CStdStr& strFunction);

}  // namespace Messaging
}  // namespace Corvane

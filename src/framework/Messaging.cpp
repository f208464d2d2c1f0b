#include "framework/Messaging.h"

#include "framework/HostLibrary.h"
#include "framework/HostSuiteExports.h"

namespace {
CHostLibrary g_messagingLibrary(L"Corvane.Messaging.dll");
}

namespace Corvane {
namespace Messaging {

int ShowMessage(HWND hParent, const CStdStr& strText, int nButtons, int nBranding, int nType,
                const CStdStr& strSecond, int nNumber, const CStdStr& strSourceFile, int nLine,
                const CStdStr& strFunction)
{
    auto pfn = g_messagingLibrary.Resolve<HostSuite::PfnShowMessage>("ShowMessage");
    if (!pfn)
        return 0;
    return pfn(hParent, strText.c_str(), nButtons, nBranding, nType, strSecond.c_str(), nNumber,
               strSourceFile.c_str(), nLine, strFunction.c_str());
}

}  // namespace Messaging
}  // namespace Corvane

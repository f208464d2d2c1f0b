#include "records/ResultCodes.h"

#include "framework/ComModule.h"
#include "ui/UiResources.h"

namespace {

// Built-in texts of 0x801D0001..0x801D0013, used when the string table cannot be read.
const wchar_t* const kFallbackTexts[] = {
    L"Indicates that an operation succeeded.",
    L"Indicates that the user canceled an operation.",
    L"Indicates that a system error occurred.",
    L"Indicates that invalid arguments were specified for a method.",
    L"User has insufficient rights to complete this operation.",
    L"Indicates that an error occurred when loading a form.",
    L"Indicates that an error occurred when loading an external module.",
    L"Indicates that an error in an external module occurred.",
    L"Indicates that an object is in invalid state. For instance, the object isn\u2019t initialized or was deleted.",
    L"Indicates that a method cannot be invoked for an object.",
    L"Indicates that a call on the Fusion server failed.",
    L"Indicates that an internal error occurred.",
    L"Could not retrieve file from PowerDocs.",
    L"Cannot save as new version for this document.",
    L"Cannot save as new subversion for this document.",
    L"PowerDocs installation not detected.",
    L"Could not retrieve document for given ID.",
    L"Error saving document.",
    L"Unknown error",
};
static_assert(sizeof(kFallbackTexts) / sizeof(kFallbackTexts[0]) == IDS_ERROR_LAST - IDS_ERROR_FIRST + 1,
              "one text per described code");

}  // namespace

bool IsDescribedComponentCode(HRESULT hr)
{
    return hr >= E_PD_SUCCEEDED && hr <= E_PD_UNKNOWN_ERROR;
}

CStdStr ComponentErrorText(HRESULT hr)
{
    if (!IsDescribedComponentCode(hr))
        return CStdStr();
    const int index = static_cast<int>(hr - E_PD_SUCCEEDED);
    return ComModule::LoadResourceString(IDS_ERROR_FIRST + index, kFallbackTexts[index]);
}

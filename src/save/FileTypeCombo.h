#pragma once
// The host suite's Save As Type control through its interface: creation by ProgID (inside the
// host's activation context, which the caller holds) and its four operations, each raising a
// failed call as _com_error.
#include <windows.h>
#include <comdef.h>

#include <corvane/CorvaneHost.h>

#include "framework/StdStr.h"

_COM_SMARTPTR_TYPEDEF(ICVFileTypeCombo, __uuidof(ICVFileTypeCombo));

constexpr wchar_t FILE_TYPE_COMBO_PROGID[] = L"CmFileCombo.FileTypeCombo";
// FillFormats' display mode: each format by its description.
constexpr long FILE_TYPE_COMBO_SHOW_DESCRIPTIONS = 1;

namespace FileTypeCombo {

// A control object without a window; empty when the class is not available.
ICVFileTypeComboPtr CreateWindowless();

void FillFormats(ICVFileTypeCombo* pCombo, const CStdStr& strFormatList, long lSelect);
long GetSelectedIndex(ICVFileTypeCombo* pCombo);
// The text of the selected entry (its pattern, e.g. "*.doc"); "" without a selection.
CStdStr GetSelectedType(ICVFileTypeCombo* pCombo);
void EnableControl(ICVFileTypeCombo* pCombo, bool bEnable);

}  // namespace FileTypeCombo

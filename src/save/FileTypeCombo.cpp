#include "save/FileTypeCombo.h"

#include "framework/Handles.h"

namespace FileTypeCombo {

namespace {

void Check(HRESULT hr)
{
    if (FAILED(hr))
        _com_issue_error(hr);
}

}  // namespace

ICVFileTypeComboPtr CreateWindowless()
{
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(FILE_TYPE_COMBO_PROGID, &clsid)))
        return nullptr;
    ICVFileTypeComboPtr pCombo;
    if (FAILED(pCombo.CreateInstance(clsid, nullptr, CLSCTX_ALL)))
        return nullptr;
    return pCombo;
}

void FillFormats(ICVFileTypeCombo* pCombo, const CStdStr& strFormatList, long lSelect)
{
    CScopedBstr bstrList(SysAllocString(strFormatList.c_str()));
    if (!bstrList)
        _com_issue_error(E_OUTOFMEMORY);
    Check(pCombo->FillFormats(bstrList.Get(), FILE_TYPE_COMBO_SHOW_DESCRIPTIONS, lSelect));
}

long GetSelectedIndex(ICVFileTypeCombo* pCombo)
{
    long lIndex = 0;
    Check(pCombo->GetSelectedIndex(&lIndex));
    return lIndex;
}

CStdStr GetSelectedType(ICVFileTypeCombo* pCombo)
{
    CScopedVariant vDescription;
    CScopedVariant vPattern;
    Check(pCombo->GetSelection(vDescription.Receive(), vPattern.Receive()));
    const VARIANT& v = vPattern.Get();
    return v.vt == VT_BSTR ? CStdStr(v.bstrVal) : CStdStr();
}

void EnableControl(ICVFileTypeCombo* pCombo, bool bEnable)
{
    Check(pCombo->EnableControl(bEnable ? VARIANT_TRUE : VARIANT_FALSE));
}

}  // namespace FileTypeCombo

#pragma once
// Reading values out of DMS objects: texts and named profile columns.
#include "dms/DmsTypes.h"
#include "framework/StdStr.h"

// The text of a BSTR that a DMS call returned ("" for a null BSTR).
inline CStdStr DmsText(const _bstr_t& bstr)
{
    const wchar_t* psz = bstr;
    return CStdStr(psz ? psz : L"");
}

// The value of one column of a columns collection; raises when the collection or the
// column is missing or the DMS fails.
inline _variant_t ReadColumn(IColumnsPtr pColumns, const wchar_t* pszName)
{
    IColumnPtr pColumn;
    DmsCheck(pColumns->get_Item(_variant_t(pszName), &pColumn));
    if (!pColumn)
        _com_issue_error(E_POINTER);
    _variant_t vValue;
    DmsCheck(pColumn->get_Value(&vValue));
    return vValue;
}

// The profile's columns collection; raises when it is missing.
inline IColumnsPtr ColumnsOf(IProfilePtr pProfile)
{
    IColumnsPtr pColumns;
    DmsCheck(pProfile->get_Columns(&pColumns));
    if (!pColumns)
        _com_issue_error(E_POINTER);
    return pColumns;
}

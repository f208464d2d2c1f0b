#include "DmsObjects.h"

#include <cwchar>

namespace dms_standin {

namespace {

// Splits "PowerDocs://LIB/num[/label]" (scheme in any letter case) into library and number.
bool ParseDocumentID(const std::wstring& strID, std::wstring* pstrLibrary, LONG* plNumber)
{
    const std::wstring strScheme = L"powerdocs://";
    if (strID.size() <= strScheme.size() || _wcsnicmp(strID.c_str(), strScheme.c_str(), strScheme.size()) != 0)
        return false;
    const std::wstring strRest = strID.substr(strScheme.size());
    const size_t slash = strRest.find(L'/');
    if (slash == std::wstring::npos || slash == 0)
        return false;
    *pstrLibrary = strRest.substr(0, slash);
    *plNumber = _wtol(strRest.c_str() + slash + 1);
    return *plNumber > 0;
}

}  // namespace

// ---- CSelectForm ----

STDMETHODIMP CSelectForm::get_Title(BSTR* pbstrTitle)
{
    DMS_ENTER_OUT(L"ISelectForm::Title", pbstrTitle, nullptr);
    return ReturnString(m_strTitle, pbstrTitle);
}

STDMETHODIMP CSelectForm::put_Title(BSTR bstrTitle)
{
    DMS_ENTER(L"ISelectForm::Title");
    m_strTitle = bstrTitle ? bstrTitle : L"";
    return S_OK;
}

STDMETHODIMP CSelectForm::get_Profiles(IChosenProfiles** ppProfiles)
{
    DMS_ENTER_OUT(L"ISelectForm::Profiles", ppProfiles, nullptr);
    return CreateDmsObject<CChosenProfiles>(ppProfiles, [&](CChosenProfiles& chosen) { chosen.m_chosen = m_chosen; });
}

// Status 1 with the scripted document chosen, 0 when cancelled, or a scripted status.
STDMETHODIMP CSelectForm::Show(LONG, short* pnStatus)
{
    DMS_ENTER_OUT(L"ISelectForm::Show", pnStatus, 0);
    process_state::RecordForm(L"select " + std::to_wstring(process_state::ParentWindow()));
    m_chosen.clear();
    std::wstring strVerb, strArgument;
    if (!NextFormAnswer(&strVerb, &strArgument) || strVerb == L"cancel")
    {
        SetError(1, L"The selection form was cancelled");
        return S_OK;
    }
    if (strVerb == L"status")
    {
        *pnStatus = static_cast<short>(_wtoi(strArgument.c_str()));
        return S_OK;
    }
    std::wstring strLibrary, strExact;
    LONG lNumber = 0;
    if (strVerb != L"select" || !ParseDocumentID(strArgument, &strLibrary, &lNumber) ||
        !CCatalog::FindLibrary(strLibrary, &strExact) || !CCatalog::ProfileExists(strExact, lNumber))
    {
        SetError(3, L"The selection form cannot answer '" + strVerb + L" " + strArgument + L"'");
        return S_OK;
    }
    m_chosen.emplace_back(strExact, lNumber);
    *pnStatus = 1;
    return S_OK;
}

// ---- CChosenProfiles ----

STDMETHODIMP CChosenProfiles::get_Item(VARIANT vIndex, IProfile** ppProfile)
{
    DMS_ENTER_OUT(L"IChosenProfiles::Item", ppProfile, nullptr);
    LONG lIndex = 0;
    if (!VariantNumber(vIndex, &lIndex))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A chosen profile is looked up by index");
    if (lIndex < 1 || static_cast<size_t>(lIndex) > m_chosen.size())
        return Fail(DISP_E_BADINDEX, 3, L"Chosen profile index out of range: " + std::to_wstring(lIndex));
    return OpenProfile(m_chosen[lIndex - 1].first, m_chosen[lIndex - 1].second, ppProfile);
}

STDMETHODIMP CChosenProfiles::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IChosenProfiles::Count", plCount, 0);
    *plCount = static_cast<LONG>(m_chosen.size());
    return S_OK;
}

}  // namespace dms_standin

#include "DmsObjects.h"

#include <cwctype>

#include "ClientSetup.h"

namespace dms_standin {

namespace {
LONG g_lLoggedOn = 0;  // the session logon is process-wide
}  // namespace

HRESULT OpenApplication(IApplication** ppApp)
{
    return CreateDmsObject<CApplication>(ppApp, [](CApplication&) {});
}

HRESULT OpenLibrary(const std::wstring& strLibrary, ILibrary** ppLibrary)
{
    return CreateDmsObject<CLibrary>(ppLibrary, [&](CLibrary& lib) { lib.m_strName = strLibrary; });
}

bool NextFormAnswer(std::wstring* pstrVerb, std::wstring* pstrArgument)
{
    std::wstring strLine;
    if (!CCatalog::NextFormAnswer(&strLine))
        return false;
    size_t start = strLine.find_first_not_of(L" \t");
    if (start == std::wstring::npos)
        start = strLine.size();
    size_t end = strLine.find_first_of(L" \t", start);
    *pstrVerb = strLine.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    for (wchar_t& c : *pstrVerb)
        c = static_cast<wchar_t>(towlower(c));
    size_t arg = end == std::wstring::npos ? std::wstring::npos : strLine.find_first_not_of(L" \t", end);
    *pstrArgument = arg == std::wstring::npos ? std::wstring() : strLine.substr(arg);
    while (!pstrArgument->empty() && iswspace(pstrArgument->back()))
        pstrArgument->pop_back();
    return true;
}

// ---- CApplication ----

STDMETHODIMP CApplication::get_Libraries(ILibraries** ppLibraries)
{
    DMS_ENTER_OUT(L"IApplication::Libraries", ppLibraries, nullptr);
    return CreateDmsObject<CLibraries>(ppLibraries, [](CLibraries&) {});
}

STDMETHODIMP CApplication::get_UserName(BSTR* pbstrUser)
{
    DMS_ENTER_OUT(L"IApplication::UserName", pbstrUser, nullptr);
    return ReturnString(CCatalog::CurrentUser(), pbstrUser);
}

STDMETHODIMP CApplication::get_Version(BSTR* pbstrVersion)
{
    DMS_ENTER_OUT(L"IApplication::Version", pbstrVersion, nullptr);
    return ReturnString(CClientSetup::ClientVersion(), pbstrVersion);
}

STDMETHODIMP CApplication::get_CurrentLibrary(ILibrary** ppLibrary)
{
    DMS_ENTER_OUT(L"IApplication::CurrentLibrary", ppLibrary, nullptr);
    const std::wstring strLibrary = CCatalog::CurrentLibrary();
    if (strLibrary.empty())
        return Fail(DISP_E_BADINDEX, 9, L"The DMS has no library");
    return OpenLibrary(strLibrary, ppLibrary);
}

STDMETHODIMP CApplication::SetCurrentLibrary(BSTR bstrName)
{
    DMS_ENTER(L"IApplication::SetCurrentLibrary");
    std::wstring strExact;
    if (!CCatalog::FindLibrary(bstrName ? bstrName : L"", &strExact))
        return Fail(DISP_E_BADINDEX, 3, std::wstring(L"Library not found: ") + (bstrName ? bstrName : L""));
    CCatalog::SetCurrentLibrary(strExact);
    return S_OK;
}

STDMETHODIMP CApplication::Refresh()
{
    DMS_ENTER(L"IApplication::Refresh");
    return S_OK;
}

STDMETHODIMP CApplication::get_ParentWindow(LONG* plHwnd)
{
    DMS_ENTER_OUT(L"IApplication::ParentWindow", plHwnd, 0);
    const LONG lHwnd = process_state::ParentWindow();
    *plHwnd = lHwnd == -1 ? 0 : lHwnd;
    return S_OK;
}

STDMETHODIMP CApplication::put_ParentWindow(LONG lHwnd)
{
    DMS_ENTER(L"IApplication::ParentWindow");
    process_state::SetParentWindow(lHwnd);
    return S_OK;
}

STDMETHODIMP CApplication::get_ConnectionState(LONG* plState)
{
    DMS_ENTER_OUT(L"IApplicationState::ConnectionState", plState, 0);
    *plState = CCatalog::ConnectionState();
    return S_OK;
}

STDMETHODIMP CApplication::put_ConnectionState(LONG lState)
{
    DMS_ENTER(L"IApplicationState::ConnectionState");
    CCatalog::SetConnectionState(lState);
    return S_OK;
}

// ---- CLibraries ----

STDMETHODIMP CLibraries::get_Item(VARIANT vKey, ILibrary** ppLibrary)
{
    DMS_ENTER_OUT(L"ILibraries::Item", ppLibrary, nullptr);
    std::wstring strName;
    LONG lIndex = 0;
    if (VariantIsText(vKey) && VariantText(vKey, &strName))
    {
        std::wstring strExact;
        if (!CCatalog::FindLibrary(strName, &strExact))
            return Fail(DISP_E_BADINDEX, 3, L"Library not found: " + strName);
        return OpenLibrary(strExact, ppLibrary);
    }
    if (!VariantNumber(vKey, &lIndex))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A library is looked up by name or index");
    const std::vector<std::wstring> libraries = CCatalog::Libraries();
    if (lIndex < 1 || static_cast<size_t>(lIndex) > libraries.size())
        return Fail(DISP_E_BADINDEX, 3, L"Library index out of range: " + std::to_wstring(lIndex));
    return OpenLibrary(libraries[lIndex - 1], ppLibrary);
}

STDMETHODIMP CLibraries::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"ILibraries::Count", plCount, 0);
    *plCount = static_cast<LONG>(CCatalog::Libraries().size());
    return S_OK;
}

// ---- CHistoryEvent ----

CHistoryEvent::CHistoryEvent()
{
    VariantInit(&m_vText);
    VariantInit(&m_vUser);
}

CHistoryEvent::~CHistoryEvent()
{
    VariantClear(&m_vText);
    VariantClear(&m_vUser);
}

STDMETHODIMP CHistoryEvent::get_Text(VARIANT* pvText)
{
    if (!pvText)
        return E_POINTER;
    VariantInit(pvText);
    DMS_ENTER_ANSWERING(L"IHistoryEvent::Text");
    return VariantCopy(pvText, &m_vText);
}

STDMETHODIMP CHistoryEvent::put_Text(VARIANT vText)
{
    DMS_ENTER(L"IHistoryEvent::Text");
    return VariantCopyInd(&m_vText, &vText);
}

STDMETHODIMP CHistoryEvent::get_Number1(LONG* plValue)
{
    DMS_ENTER_OUT(L"IHistoryEvent::Number1", plValue, 0);
    *plValue = m_lNumber1;
    return S_OK;
}

STDMETHODIMP CHistoryEvent::put_Number1(LONG lValue)
{
    DMS_ENTER(L"IHistoryEvent::Number1");
    m_lNumber1 = lValue;
    return S_OK;
}

STDMETHODIMP CHistoryEvent::get_Number2(LONG* plValue)
{
    DMS_ENTER_OUT(L"IHistoryEvent::Number2", plValue, 0);
    *plValue = m_lNumber2;
    return S_OK;
}

STDMETHODIMP CHistoryEvent::put_Number2(LONG lValue)
{
    DMS_ENTER(L"IHistoryEvent::Number2");
    m_lNumber2 = lValue;
    return S_OK;
}

STDMETHODIMP CHistoryEvent::get_UserName(VARIANT* pvUser)
{
    if (!pvUser)
        return E_POINTER;
    VariantInit(pvUser);
    DMS_ENTER_ANSWERING(L"IHistoryEvent::UserName");
    return VariantCopy(pvUser, &m_vUser);
}

STDMETHODIMP CHistoryEvent::put_UserName(VARIANT vUser)
{
    DMS_ENTER(L"IHistoryEvent::UserName");
    return VariantCopyInd(&m_vUser, &vUser);
}

// ---- CSession ----

STDMETHODIMP CSession::Logon(LONG)
{
    DMS_ENTER(L"IDMSession::Logon");
    InterlockedExchange(&g_lLoggedOn, 1);
    return S_OK;
}

STDMETHODIMP CSession::get_LoggedOn(VARIANT_BOOL* pbLoggedOn)
{
    DMS_ENTER_OUT(L"IDMSession::LoggedOn", pbLoggedOn, VARIANT_FALSE);
    *pbLoggedOn = g_lLoggedOn ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace dms_standin

// Stand-in for the host suite's Save As Type control (CmFileCombo.dll, ProgID
// "CmFileCombo.FileTypeCombo"): a windowed ActiveX control that shows the host's file formats
// in a drop-down list. It keeps its formats, selection and enabled state itself, so it answers
// with or without a window; in place it creates its list inside the host's window and mirrors
// that state there. It is reached through registration-free COM (the host suite's manifest
// names this module and class); nothing is written to the registry.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>

#include "framework/ComObject.h"

// {6C1D57A2-3B8E-4F0C-9E4A-2B7D5E9A1C33}: the class as the manifest names it.
static const CLSID CLSID_FileTypeCombo = {0x6c1d57a2, 0x3b8e, 0x4f0c, {0x9e, 0x4a, 0x2b, 0x7d, 0x5e, 0x9a, 0x1c, 0x33}};

namespace {

constexpr long MODE_DESCRIPTIONS = 1;
constexpr int DROPPED_HEIGHT = 150;  // pixels of the open list below the closed box

struct CFormat
{
    std::wstring strDescription;
    std::wstring strPattern;
};

// "description|pattern|description|pattern..." with empty fields skipped; a description left
// without a pattern is dropped.
std::vector<CFormat> ParseFormats(const wchar_t* pszList)
{
    std::vector<std::wstring> fields;
    std::wstring strField;
    for (const wchar_t* p = pszList ? pszList : L"";; ++p)
    {
        if (*p == L'|' || *p == L'\0')
        {
            if (!strField.empty())
                fields.push_back(strField);
            strField.clear();
            if (!*p)
                break;
        }
        else
        {
            strField.push_back(*p);
        }
    }
    std::vector<CFormat> formats;
    for (size_t i = 0; i + 1 < fields.size(); i += 2)
        formats.push_back({fields[i], fields[i + 1]});
    return formats;
}

HRESULT StringVariant(VARIANT* pv, const std::wstring& str)
{
    pv->bstrVal = SysAllocString(str.c_str());
    if (!pv->bstrVal)
        return E_OUTOFMEMORY;
    pv->vt = VT_BSTR;
    return S_OK;
}

class CFileTypeCombo : public ICVFileTypeCombo, public IOleObject, public IOleInPlaceObject
{
public:
    static const QITableEntry* GetQITable()
    {
        static const QITableEntry table[] = {
            QI_ENTRY(CFileTypeCombo, ICVFileTypeCombo), QI_ENTRY(CFileTypeCombo, IOleObject),
            QI_ENTRY(CFileTypeCombo, IOleInPlaceObject),
            QI_ENTRY_IID(CFileTypeCombo, IID_IOleWindow, IOleInPlaceObject), {nullptr, 0}};
        return table;
    }
    virtual ~CFileTypeCombo() { DestroyList(); }

    // ICVFileTypeCombo
    STDMETHODIMP FillFormats(BSTR bstrFormats, long lMode, long lSelect) override
    {
        m_formats = ParseFormats(bstrFormats);
        m_lMode = lMode;
        // An index the list does not have selects its first format.
        m_lSelected = lSelect >= 1 && lSelect <= static_cast<long>(m_formats.size()) ? lSelect
                      : m_formats.empty()                                                ? 0
                                                                                         : 1;
        ShowFormats();
        return S_OK;
    }
    STDMETHODIMP GetSelectedIndex(long* plIndex) override
    {
        if (!plIndex)
            return E_POINTER;
        *plIndex = Selected();
        return S_OK;
    }
    STDMETHODIMP GetSelection(VARIANT* pvDescription, VARIANT* pvPattern) override
    {
        if (!pvDescription || !pvPattern)
            return E_POINTER;
        VariantInit(pvDescription);
        VariantInit(pvPattern);
        const long lSelected = Selected();
        if (lSelected < 1)
            return S_OK;
        const CFormat& format = m_formats[static_cast<size_t>(lSelected - 1)];
        HRESULT hr = StringVariant(pvDescription, format.strDescription);
        if (SUCCEEDED(hr))
            hr = StringVariant(pvPattern, format.strPattern);
        if (FAILED(hr))
        {
            VariantClear(pvDescription);
            VariantClear(pvPattern);
        }
        return hr;
    }
    STDMETHODIMP EnableControl(VARIANT_BOOL bEnable) override
    {
        m_bEnabled = bEnable != VARIANT_FALSE;
        if (m_hList)
            EnableWindow(m_hList, m_bEnabled);
        return S_OK;
    }

    // IOleObject: what a host needs to site, activate in place and close a windowed control.
    STDMETHODIMP SetClientSite(IOleClientSite* pSite) override
    {
        if (pSite)
            pSite->AddRef();
        m_pSite.Reset();
        *m_pSite.Receive() = pSite;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** ppSite) override
    {
        if (!ppSite)
            return E_POINTER;
        *ppSite = m_pSite.Get();
        if (*ppSite)
            (*ppSite)->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override
    {
        DestroyList();
        if (m_pInPlaceSite)
        {
            m_pInPlaceSite->OnInPlaceDeactivate();
            m_pInPlaceSite.Reset();
        }
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppMoniker) override
    {
        if (ppMoniker)
            *ppMoniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject** ppData) override
    {
        if (ppData)
            *ppData = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG, IOleClientSite* pSite, LONG, HWND hwndParent, LPCRECT prcPos) override
    {
        if (iVerb != OLEIVERB_INPLACEACTIVATE && iVerb != OLEIVERB_SHOW && iVerb != OLEIVERB_UIACTIVATE)
            return E_NOTIMPL;
        if (m_hList)
            return S_OK;
        IOleClientSite* pClientSite = pSite ? pSite : m_pSite.Get();
        CComRef<IOleInPlaceSite> pInPlaceSite;
        if (pClientSite)
            pClientSite->QueryInterface(IID_IOleInPlaceSite, pInPlaceSite.ReceiveVoid());
        if (pInPlaceSite && pInPlaceSite->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        HWND hParent = hwndParent;
        if (!hParent && pInPlaceSite)
            pInPlaceSite->GetWindow(&hParent);
        if (!hParent)
            return E_UNEXPECTED;
        RECT rc = {};
        if (prcPos)
            rc = *prcPos;
        else
            GetClientRect(hParent, &rc);
        if (pInPlaceSite)
            pInPlaceSite->OnInPlaceActivate();
        *m_pInPlaceSite.Receive() = pInPlaceSite.Detach();
        m_hList = CreateWindowExW(0, L"ComboBox", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                  rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top + DROPPED_HEIGHT, hParent,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!m_hList)
            return HRESULT_FROM_WIN32(GetLastError());
        // The host's font, so that the list matches the dialog around it.
        HWND hDialog = GetParent(hParent);
        SendMessageW(m_hList, WM_SETFONT, SendMessageW(hDialog ? hDialog : hParent, WM_GETFONT, 0, 0), FALSE);
        ShowFormats();
        EnableWindow(m_hList, m_bEnabled);
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnum) override
    {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override
    {
        if (!pClsid)
            return E_POINTER;
        *pClsid = CLSID_FileTypeCombo;
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR* ppszUserType) override
    {
        if (ppszUserType)
            *ppszUserType = nullptr;
        return OLE_S_USEREG;
    }
    STDMETHODIMP SetExtent(DWORD, SIZEL* pSize) override
    {
        if (pSize)
            m_extent = *pSize;
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD, SIZEL* pSize) override
    {
        if (!pSize)
            return E_POINTER;
        *pSize = m_extent;
        return S_OK;
    }
    STDMETHODIMP Advise(IAdviseSink*, DWORD* pdwConnection) override
    {
        if (pdwConnection)
            *pdwConnection = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppEnum) override
    {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* pdwStatus) override
    {
        if (!pdwStatus)
            return E_POINTER;
        *pdwStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                     OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* phWnd) override
    {
        if (!phWnd)
            return E_POINTER;
        *phWnd = m_hList;
        return m_hList ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override { return Close(OLECLOSE_NOSAVE); }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT prcPos, LPCRECT) override
    {
        if (m_hList && prcPos)
            MoveWindow(m_hList, prcPos->left, prcPos->top, prcPos->right - prcPos->left,
                       prcPos->bottom - prcPos->top + DROPPED_HEIGHT, TRUE);
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

private:
    // The window's selection when there is a window (the user may have changed it), else the kept one.
    long Selected()
    {
        if (m_hList)
        {
            LRESULT lIndex = SendMessageW(m_hList, CB_GETCURSEL, 0, 0);
            m_lSelected = lIndex == CB_ERR ? 0 : static_cast<long>(lIndex) + 1;
        }
        return m_lSelected;
    }
    void ShowFormats()
    {
        if (!m_hList)
            return;
        SendMessageW(m_hList, CB_RESETCONTENT, 0, 0);
        for (const CFormat& format : m_formats)
        {
            const std::wstring& strText = m_lMode == MODE_DESCRIPTIONS ? format.strDescription : format.strPattern;
            SendMessageW(m_hList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strText.c_str()));
        }
        SendMessageW(m_hList, CB_SETCURSEL, static_cast<WPARAM>(m_lSelected - 1), 0);
    }
    void DestroyList()
    {
        // The host may have destroyed it already with its own window.
        if (m_hList && IsWindow(m_hList))
            DestroyWindow(m_hList);
        m_hList = nullptr;
    }

    std::vector<CFormat> m_formats;
    long m_lMode = MODE_DESCRIPTIONS;
    long m_lSelected = 0;
    bool m_bEnabled = true;
    HWND m_hList = nullptr;
    SIZEL m_extent = {2540, 635};  // HIMETRIC
    CComRef<IOleClientSite> m_pSite;
    CComRef<IOleInPlaceSite> m_pInPlaceSite;
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_FileTypeCombo))
        return CLASS_E_CLASSNOTAVAILABLE;
    return GetClassFactory<CFileTypeCombo>(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return ComModule::LockCount() == 0 ? S_OK : S_FALSE;
}

// Live controls and class factories of this module, for leak checks.
extern "C" LONG __cdecl StandIn_FileComboLiveObjects()
{
    return ComModule::LockCount();
}

#pragma once
// The base of every stand-in COM object: the DMS error state that IDMError reports, IDispatch
// through the type library embedded in this module, ISupportErrorInfo, the fault check at the
// entry of each method and the live-object count. Objects are apartment-threaded: each is used
// on the thread that created it (other threads reach it through COM marshalling).
#include <windows.h>
#include <oleauto.h>

#include <string>

#include <dms/DOCSObjects.h>

#include "FaultInjector.h"
#include "framework/ComObject.h"
#include "framework/ComPtr.h"

namespace dms_standin {

// Type information of one interface from the module's type library (loaded once per process).
HRESULT GetDmsTypeInfo(REFIID riid, ITypeInfo** ppTypeInfo);
// Drops the cached type library; called when the module may unload.
void ReleaseDmsTypeLibrary();

// Error state and fault check shared by all objects.
class CDmsObjectBase
{
protected:
    CDmsObjectBase() { process_state::ObjectCreated(); }
    virtual ~CDmsObjectBase() { process_state::ObjectDestroyed(); }

    // Starts a method: clears the error state, counts the call and applies an injected fault.
    // S_OK: go on. S_FALSE: an injected DMS error number or silent failure stands for the call
    // (the method returns success with empty outputs). Anything else: the failure to return.
    // bAnswers: the method has an out value, emptied before it is entered.
    HRESULT Enter(const wchar_t* pszMethod, bool bAnswers = false);
    // Records a DMS error number (when not 0) and text, publishes the text as the thread's
    // error information and returns hr.
    HRESULT Fail(HRESULT hr, LONG lError, const std::wstring& strText);
    // Records a DMS error for calls that report failure by a status instead of an HRESULT.
    void SetError(LONG lError, const std::wstring& strText);

    LONG m_lError = 0;
    std::wstring m_strError;
};

// Times the rest of the current method and returns from it unless Enter lets it go on (see
// CDmsObjectBase::Enter). One per method body.
#define DMS_ENTER(name) DMS_ENTER_AS(name, false)

// DMS_ENTER for a method whose out values the caller has already emptied.
#define DMS_ENTER_ANSWERING(name) DMS_ENTER_AS(name, true)

#define DMS_ENTER_AS(name, answers)                            \
    const CDmsCallTimer dmsCallTimer_(name);                   \
    do                                                         \
    {                                                          \
        const HRESULT hrEnter_ = Enter(name, answers);         \
        if (hrEnter_ != S_OK)                                  \
            return hrEnter_ == S_FALSE ? S_OK : hrEnter_;      \
    } while (0)

// Times and counts the rest of the current method without clearing the error state and
// without fault injection: for the calls that read the error state itself.
#define DMS_COUNT(name)                                        \
    const CDmsCallTimer dmsCallTimer_(name);                   \
    CFaultInjector::Instance().Count(name)

// Starts a method with an out value: a null out pointer is E_POINTER; otherwise the out value
// is emptied before the method is entered, so that every failure leaves it empty.
// The timer is declared at the method's own scope, so that it lasts until the method returns.
#define DMS_ENTER_OUT(name, pOut, empty) \
    if (!(pOut))                         \
        return E_POINTER;                \
    *(pOut) = empty;                     \
    DMS_ENTER_ANSWERING(name)

#define DMS_RESERVED(n) \
    STDMETHODIMP Reserved##n() override { return E_NOTIMPL; }

// Primary is the interface that IDispatch describes; Others are further interfaces of the object.
template <class Primary, class... Others>
class CDmsObject : public Primary, public Others..., public IDMError, public ISupportErrorInfo, public CDmsObjectBase
{
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override
    {
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        return iTInfo == 0 ? GetDmsTypeInfo(__uuidof(Primary), ppTInfo) : DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override
    {
        CTypeInfoPtr pTypeInfo;
        HRESULT hr = GetDmsTypeInfo(__uuidof(Primary), &pTypeInfo);
        return SUCCEEDED(hr) ? DispGetIDsOfNames(pTypeInfo, rgszNames, cNames, rgDispId) : hr;
    }
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                        EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        CTypeInfoPtr pTypeInfo;
        HRESULT hr = GetDmsTypeInfo(__uuidof(Primary), &pTypeInfo);
        return SUCCEEDED(hr) ? DispInvoke(static_cast<Primary*>(this), pTypeInfo, dispIdMember, wFlags, pDispParams,
                                          pVarResult, pExcepInfo, puArgErr)
                             : hr;
    }

    STDMETHODIMP get_ErrorNumber(LONG* plNumber) override
    {
        if (!plNumber)
            return E_POINTER;
        DMS_COUNT(L"IDMError::ErrorNumber");
        *plNumber = m_lError;
        return S_OK;
    }
    STDMETHODIMP get_ErrorDescription(BSTR* pbstrText) override
    {
        if (!pbstrText)
            return E_POINTER;
        DMS_COUNT(L"IDMError::ErrorDescription");
        *pbstrText = SysAllocString(m_strError.c_str());
        return *pbstrText ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
};

// The QueryInterface table of a stand-in object: its primary interface (which also answers
// IDispatch), IDMError and ISupportErrorInfo, then any further interfaces given.
#define DMS_QI_TABLE(Class, Primary, ...)                                                  \
    static const QITableEntry* GetQITable()                                                \
    {                                                                                      \
        static const QITableEntry table[] = {QI_ENTRY(Class, Primary),                     \
                                             QI_ENTRY_IID(Class, IID_IDispatch, Primary),  \
                                             QI_ENTRY(Class, IDMError),                    \
                                             QI_ENTRY(Class, ISupportErrorInfo),           \
                                             __VA_ARGS__{nullptr, 0}};                     \
        return table;                                                                      \
    }

// ---- small VARIANT and BSTR helpers ----

// Text of a VARIANT (converted when it is not a string); false when it is empty, null or missing.
bool VariantText(const VARIANT& v, std::wstring* pstrText);
// A 1-based index or number from a numeric VARIANT; false for strings and empty values.
bool VariantNumber(const VARIANT& v, LONG* plNumber);
// True when the VARIANT holds a string (directly or by reference).
bool VariantIsText(const VARIANT& v);
HRESULT ReturnString(const std::wstring& strText, BSTR* pbstr);

// Creates a stand-in object, lets init fill it, and hands out interface I of it.
template <class T, class I, class Init>
HRESULT CreateDmsObject(I** ppOut, Init init)
{
    if (!ppOut)
        return E_POINTER;
    *ppOut = nullptr;
    CComRef<CComObject<T>> p = NewComObject<CComObject<T>>();
    if (!p)
        return E_OUTOFMEMORY;
    init(*p.Get());
    return p->QueryInterface(__uuidof(I), reinterpret_cast<void**>(ppOut));
}

}  // namespace dms_standin

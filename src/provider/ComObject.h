#pragma once
// The least COM object support the component needs, without ATL:
//  - a table-driven QueryInterface (one entry per IID, in answer order);
//  - CComObject<T>: a plain instance with its own reference count;
//  - CComAggObject<T>: an aggregated instance whose interfaces delegate to the outer object;
//  - CClassFactory<T>: creates either kind.
// T derives from its interfaces, leaves IUnknown abstract and provides
// `static const QITableEntry* GetQITable()` (terminated by a null IID pointer). The first
// entry is the interface that answers IID_IUnknown. Every live instance holds a module lock.
#include <windows.h>
#include <objbase.h>
#include <unknwn.h>

#include <cstddef>
#include <new>

#include "provider/ComModule.h"

struct QITableEntry
{
    const IID* piid;
    ptrdiff_t offset;  // from the T object to the interface's vtable pointer
};

#define QI_OFFSET(Class, Iface) \
    (reinterpret_cast<ptrdiff_t>(static_cast<Iface*>(reinterpret_cast<Class*>(64))) - 64)
#define QI_ENTRY(Class, Iface) { &__uuidof(Iface), QI_OFFSET(Class, Iface) }
#define QI_ENTRY_IID(Class, iid, Iface) { &(iid), QI_OFFSET(Class, Iface) }

// Looks riid up in pThis's table and hands out the matching interface, AddRef'ed through
// that interface (so the controlling unknown counts it).
template <class T>
HRESULT TableQueryInterface(T* pThis, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const QITableEntry* table = T::GetQITable();
    const QITableEntry* match = nullptr;
    if (IsEqualIID(riid, IID_IUnknown))
        match = table;
    for (const QITableEntry* e = table; !match && e->piid; ++e)
        if (IsEqualIID(riid, *e->piid))
            match = e;
    if (!match)
        return E_NOINTERFACE;
    auto* pUnk = reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(pThis) + match->offset);
    pUnk->AddRef();
    *ppv = pUnk;
    return S_OK;
}

template <class T>
class CComObject final : public T
{
public:
    CComObject() { ComModule::Lock(); }
    ~CComObject() override { ComModule::Unlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return TableQueryInterface<T>(this, riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG c = InterlockedDecrement(&m_cRef);
        if (c == 0)
            delete this;
        return static_cast<ULONG>(c);
    }

private:
    LONG m_cRef = 0;
};

// The object inside an aggregate: its IUnknown belongs to the outer object.
template <class T>
class CComContainedObject final : public T
{
public:
    explicit CComContainedObject(IUnknown* pOuter) : m_pOuter(pOuter) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_pOuter->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pOuter->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pOuter->Release(); }

    HRESULT InnerQueryInterface(REFIID riid, void** ppv) { return TableQueryInterface<T>(this, riid, ppv); }

private:
    IUnknown* m_pOuter;  // not AddRef'ed: the outer object owns us
};

// The aggregate's non-delegating IUnknown, which the outer object holds.
template <class T>
class CComAggObject final : public IUnknown
{
public:
    explicit CComAggObject(IUnknown* pOuter) : m_contained(pOuter) { ComModule::Lock(); }
    virtual ~CComAggObject() { ComModule::Unlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown))
        {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained.InnerQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG c = InterlockedDecrement(&m_cRef);
        if (c == 0)
            delete this;
        return static_cast<ULONG>(c);
    }

private:
    LONG m_cRef = 0;
    CComContainedObject<T> m_contained;
};

// A new instance's controlling-free IUnknown: the aggregate's own, or the plain object's first
// interface. Null when memory runs out.
template <class T>
IUnknown* NewComInstance(IUnknown* pOuter)
{
    if (pOuter)
        return new (std::nothrow) CComAggObject<T>(pOuter);
    T* p = new (std::nothrow) CComObject<T>();
    return p ? reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(p) + T::GetQITable()->offset) : nullptr;
}

// Creates an instance, plain or aggregated, and queries it for riid.
template <class T>
HRESULT CreateComInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregated object may only hand its own IUnknown to the outer object.
    if (pOuter && !IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    IUnknown* pUnk = nullptr;
    try
    {
        pUnk = NewComInstance<T>(pOuter);
    }
    catch (...)
    {
        return E_OUTOFMEMORY;  // T's constructor failed; nothing was created
    }
    if (!pUnk)
        return E_OUTOFMEMORY;
    pUnk->AddRef();
    HRESULT hr = pUnk->QueryInterface(riid, ppv);
    pUnk->Release();
    return hr;
}

template <class T>
class CClassFactory final : public IClassFactory
{
public:
    CClassFactory() { ComModule::Lock(); }
    virtual ~CClassFactory() { ComModule::Unlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
        {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG c = InterlockedDecrement(&m_cRef);
        if (c == 0)
            delete this;
        return static_cast<ULONG>(c);
    }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        return CreateComInstance<T>(pOuter, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL fLock) override
    {
        if (fLock)
            ComModule::Lock();
        else
            ComModule::Unlock();
        return S_OK;
    }

private:
    LONG m_cRef = 0;
};

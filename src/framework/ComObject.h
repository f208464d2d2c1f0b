#pragma once
// The least COM object support a module needs, without ATL (the product and the stand-ins
// both build their objects with it):
//  - a table-driven QueryInterface (one entry per IID, in answer order);
//  - CComObject<T>: a plain instance with its own reference count;
//  - CComAggObject<T>: an aggregated instance whose interfaces delegate to the outer object;
//  - CClassFactory<T>: creates either kind; GetClassFactory<T> hands one out;
//  - NewComObject: creation that owns the new object's first reference.
// T derives from its interfaces, leaves IUnknown abstract and provides
// `static const QITableEntry* GetQITable()` (terminated by a null IID pointer). The first
// entry is the interface that answers IID_IUnknown. Every live instance holds a module lock.
#include <windows.h>
#include <objbase.h>
#include <unknwn.h>

#include <cstddef>
#include <new>
#include <utility>

#include "framework/Handles.h"
#include "framework/ModuleLock.h"

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

// One object's reference count, and the module lock that the object holds while it lives.
class CObjectLife
{
public:
    CObjectLife() { ComModule::Lock(); }
    ~CObjectLife() { ComModule::Unlock(); }
    CObjectLife(const CObjectLife&) = delete;
    CObjectLife& operator=(const CObjectLife&) = delete;

    ULONG AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    // The count left; the owner deletes itself when it reaches 0.
    ULONG Release() { return static_cast<ULONG>(InterlockedDecrement(&m_cRef)); }

private:
    LONG m_cRef = 0;
};

// AddRef and Release of an object whose life is the CObjectLife member named.
#define COM_OBJECT_LIFE_METHODS(life)                                       \
    STDMETHODIMP_(ULONG) AddRef() override { return life.AddRef(); }       \
    STDMETHODIMP_(ULONG) Release() override                                 \
    {                                                                       \
        const ULONG c = life.Release();                                     \
        if (c == 0)                                                         \
            delete this;                                                    \
        return c;                                                           \
    }

template <class T>
class CComObject final : public T
{
public:
    CComObject() = default;
    ~CComObject() override = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return TableQueryInterface<T>(this, riid, ppv); }
    COM_OBJECT_LIFE_METHODS(m_life)

private:
    CObjectLife m_life;
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
    explicit CComAggObject(IUnknown* pOuter) : m_contained(pOuter) {}
    virtual ~CComAggObject() = default;

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
    COM_OBJECT_LIFE_METHODS(m_life)

private:
    CObjectLife m_life;
    CComContainedObject<T> m_contained;
};

// Creates a reference-counted object and owns its first reference; empty when memory runs out
// or the constructor throws. Releasing the owner destroys an object nobody else took.
template <class Object, class... Args>
CComRef<Object> NewComObject(Args&&... args) noexcept
{
    Object* p = nullptr;
    try
    {
        p = new (std::nothrow) Object(std::forward<Args>(args)...);
    }
    catch (...)
    {
        return CComRef<Object>();
    }
    if (p)
        p->AddRef();
    return CComRef<Object>(p);
}

// Creates an instance, plain or aggregated, and queries it for riid.
template <class T>
HRESULT CreateComInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!pOuter)
    {
        CComRef<CComObject<T>> pObject = NewComObject<CComObject<T>>();
        return pObject ? pObject->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
    }
    // An aggregated object may only hand its own IUnknown to the outer object.
    if (!IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    CComRef<CComAggObject<T>> pAggregate = NewComObject<CComAggObject<T>>(pOuter);
    return pAggregate ? pAggregate->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

// What a class factory holds around each creation: nothing by default; a module that counts or
// times its creations passes a scope type of its own.
struct CNoCreationScope
{
};

template <class T, class CreationScope = CNoCreationScope>
class CClassFactory final : public IClassFactory
{
public:
    CClassFactory() = default;
    virtual ~CClassFactory() = default;

    static const QITableEntry* GetQITable()
    {
        static const QITableEntry table[] = {QI_ENTRY(CClassFactory, IClassFactory), {nullptr, 0}};
        return table;
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return TableQueryInterface(this, riid, ppv);
    }
    COM_OBJECT_LIFE_METHODS(m_life)
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        [[maybe_unused]] const CreationScope scope{};
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
    CObjectLife m_life;
};

// DllGetClassObject's answer for class T: a new class factory, queried for riid.
template <class T, class CreationScope = CNoCreationScope>
HRESULT GetClassFactory(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CComRef<CClassFactory<T, CreationScope>> pFactory = NewComObject<CClassFactory<T, CreationScope>>();
    return pFactory ? pFactory->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

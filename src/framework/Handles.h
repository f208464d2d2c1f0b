#pragma once
// RAII owners for every resource kind the component holds: one template with one traits
// struct per handle kind, plus owners for VARIANTs, SAFEARRAY data access and interface
// pointers that _com_ptr_t cannot name. No raw Close/Free/Release on a normal path.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <utility>

template <typename T, typename Traits>
class CUniqueHandle
{
public:
    CUniqueHandle() = default;
    explicit CUniqueHandle(T h) : m_h(h) {}
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.Detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    ~CUniqueHandle() { Reset(); }

    T Get() const { return m_h; }
    bool IsValid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return IsValid(); }
    T Detach() { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(T h = Traits::Invalid())
    {
        if (Traits::IsValid(m_h))
            Traits::Close(m_h);
        m_h = h;
    }
    // Releases what is held, then hands out the slot for an API to fill.
    T* Receive()
    {
        Reset();
        return &m_h;
    }

private:
    T m_h = Traits::Invalid();
};

struct CFileHandleTraits
{
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct CRegKeyTraits
{
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct CModuleTraits
{
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct CBstrTraits
{
    static BSTR Invalid() { return nullptr; }
    static bool IsValid(BSTR b) { return b != nullptr; }
    static void Close(BSTR b) { SysFreeString(b); }
};
struct CCoTaskMemTraits
{
    static void* Invalid() { return nullptr; }
    static bool IsValid(void* p) { return p != nullptr; }
    static void Close(void* p) { CoTaskMemFree(p); }
};

// The shell allocates item ID lists with the COM task allocator (what ILFree calls), so they are
// freed without the shell library, which is loaded only where a shell function is called.
struct CItemIdListTraits
{
    static LPITEMIDLIST Invalid() { return nullptr; }
    static bool IsValid(LPITEMIDLIST p) { return p != nullptr; }
    static void Close(LPITEMIDLIST p) { CoTaskMemFree(p); }
};

using CFileHandle = CUniqueHandle<HANDLE, CFileHandleTraits>;
using CRegKey = CUniqueHandle<HKEY, CRegKeyTraits>;
using CLibrary = CUniqueHandle<HMODULE, CModuleTraits>;
using CScopedBstr = CUniqueHandle<BSTR, CBstrTraits>;
using CCoTaskMem = CUniqueHandle<void*, CCoTaskMemTraits>;
using CItemIdList = CUniqueHandle<LPITEMIDLIST, CItemIdListTraits>;

// An export of a library loaded at its point of use, as a function pointer of type Pfn; null
// when the library or the export is missing.
template <class Pfn>
Pfn ExportOf(const CLibrary& library, const char* pszExport)
{
    return library ? reinterpret_cast<Pfn>(reinterpret_cast<void*>(GetProcAddress(library.Get(), pszExport)))
                   : nullptr;
}

// A VARIANT that is cleared when it goes out of scope; Receive() hands out the slot for an
// API to fill, clearing what was there first.
class CScopedVariant
{
public:
    CScopedVariant() { VariantInit(&m_v); }
    CScopedVariant(const CScopedVariant&) = delete;
    CScopedVariant& operator=(const CScopedVariant&) = delete;
    ~CScopedVariant() { VariantClear(&m_v); }

    const VARIANT& Get() const { return m_v; }
    VARIANT* Receive()
    {
        VariantClear(&m_v);
        return &m_v;
    }

private:
    VARIANT m_v;
};

// The data of a SAFEARRAY, accessed for the lifetime of this scope: access and unaccess
// always come in pairs. Data() is null when the array could not be accessed.
class CSafeArrayAccess
{
public:
    explicit CSafeArrayAccess(SAFEARRAY* pArray) : m_pArray(pArray)
    {
        if (!m_pArray || FAILED(SafeArrayAccessData(m_pArray, &m_pData)))
        {
            m_pArray = nullptr;
            m_pData = nullptr;
        }
    }
    CSafeArrayAccess(const CSafeArrayAccess&) = delete;
    CSafeArrayAccess& operator=(const CSafeArrayAccess&) = delete;
    ~CSafeArrayAccess()
    {
        if (m_pArray)
            SafeArrayUnaccessData(m_pArray);
    }

    template <typename T>
    T* Data() const
    {
        return static_cast<T*>(m_pData);
    }

private:
    SAFEARRAY* m_pArray;
    void* m_pData = nullptr;
};

// One counted reference to an interface that has no _com_ptr_t typedef or whose IID is not the
// point (an object's own interfaces while it is being created, an IUnknown from a factory).
template <typename T>
class CComRef
{
public:
    CComRef() = default;
    // Takes over a reference the caller already holds.
    explicit CComRef(T* p) : m_p(p) {}
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    CComRef(CComRef&& other) noexcept : m_p(other.Detach()) {}
    ~CComRef() { Reset(); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T* Detach() { return std::exchange(m_p, nullptr); }
    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    // Releases what is held, then hands out the slot for an API to fill.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

private:
    T* m_p = nullptr;
};

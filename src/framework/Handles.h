#pragma once
// RAII owners for the Windows handle kinds the component uses: one template, one traits
// struct per kind. No raw Close/Free on a normal path.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
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

using CFileHandle = CUniqueHandle<HANDLE, CFileHandleTraits>;
using CRegKey = CUniqueHandle<HKEY, CRegKeyTraits>;
using CLibrary = CUniqueHandle<HMODULE, CModuleTraits>;
using CScopedBstr = CUniqueHandle<BSTR, CBstrTraits>;
using CCoTaskMem = CUniqueHandle<void*, CCoTaskMemTraits>;

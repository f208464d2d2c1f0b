#include "TestSupport.h"

#include <vector>

namespace testing_support {

std::wstring ProgramFolder()
{
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring s(sz);
    return s.substr(0, s.find_last_of(L"\\/"));
}

ScopedRegValue::ScopedRegValue(HKEY hRoot, const std::wstring& strKey, const std::wstring& strName)
    : m_hRoot(hRoot), m_strKey(strKey), m_strName(strName)
{
    DWORD cb = 0;
    if (RegGetValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &m_dwType, nullptr,
                     &cb) == ERROR_SUCCESS)
    {
        m_data.resize(cb);
        m_bExisted = RegGetValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                                  &m_dwType, cb ? &m_data[0] : nullptr, &cb) == ERROR_SUCCESS;
        m_data.resize(cb);
    }
}

ScopedRegValue::~ScopedRegValue()
{
    if (m_bExisted)
        RegSetKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str(), m_dwType, m_data.data(),
                        static_cast<DWORD>(m_data.size()));
    else
        Delete();
}

void ScopedRegValue::SetString(const std::wstring& strValue)
{
    RegSetKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str(), REG_SZ, strValue.c_str(),
                    static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

void ScopedRegValue::SetDword(DWORD dwValue)
{
    RegSetKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str(), REG_DWORD, &dwValue, sizeof(dwValue));
}

void ScopedRegValue::Delete()
{
    RegDeleteKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str());
}

// IMallocSpy that keeps a running count of live spied blocks.
class AllocationSpy::Spy final : public IMallocSpy
{
public:
    virtual ~Spy() = default;
    LONG m_lOutstanding = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMallocSpy))
        {
            *ppv = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cbRequest) override { return cbRequest; }
    STDMETHODIMP_(void*) PostAlloc(void* pActual) override
    {
        if (pActual)
            InterlockedIncrement(&m_lOutstanding);
        return pActual;
    }
    STDMETHODIMP_(void*) PreFree(void* pRequest, BOOL fSpyed) override
    {
        if (pRequest && fSpyed)
            InterlockedDecrement(&m_lOutstanding);
        return pRequest;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* pRequest, SIZE_T cbRequest, void** ppNewRequest, BOOL fSpyed) override
    {
        // A realloc of an unspied block makes a spied one; a realloc to zero frees.
        if (pRequest && !fSpyed && cbRequest)
            InterlockedIncrement(&m_lOutstanding);
        if (!pRequest && cbRequest)
            InterlockedIncrement(&m_lOutstanding);
        if (pRequest && fSpyed && !cbRequest)
            InterlockedDecrement(&m_lOutstanding);
        *ppNewRequest = pRequest;
        return cbRequest;
    }
    STDMETHODIMP_(void*) PostRealloc(void* pActual, BOOL) override { return pActual; }
    STDMETHODIMP_(void*) PreGetSize(void* pRequest, BOOL) override { return pRequest; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
    STDMETHODIMP_(void*) PreDidAlloc(void* pRequest, BOOL) override { return pRequest; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int fActual) override { return fActual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}
};

AllocationSpy::AllocationSpy() : m_pSpy(new Spy)
{
    m_bRegistered = SUCCEEDED(CoRegisterMallocSpy(m_pSpy));
}

AllocationSpy::~AllocationSpy()
{
    // Revoking fails while spied blocks are live; the spy then stays registered (and leaks).
    if (SUCCEEDED(CoRevokeMallocSpy()))
        delete m_pSpy;
}

long AllocationSpy::Outstanding() const
{
    // A spy that could not register (an earlier one is still registered because its blocks were
    // never freed) has counted nothing: that is never an answer of 0.
    return m_bRegistered ? m_pSpy->m_lOutstanding : -1;
}

int RunProgram(const std::wstring& strCommandLine, DWORD dwTimeoutMs)
{
    std::vector<wchar_t> cmd(strCommandLine.begin(), strCommandLine.end());
    cmd.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD dwExit = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, dwTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(dwExit);
}

std::string ReadFileBytes(const std::wstring& strPath)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content(GetFileSize(hFile, nullptr), '\0');
    DWORD cbRead = 0;
    if (!content.empty())
        ReadFile(hFile, &content[0], static_cast<DWORD>(content.size()), &cbRead, nullptr);
    CloseHandle(hFile);
    content.resize(cbRead);
    return content;
}

bool WriteFileBytes(const std::wstring& strPath, const std::string& content)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const BOOL bWritten = WriteFile(hFile, content.data(), static_cast<DWORD>(content.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
    return bWritten && cbWritten == content.size();
}

}  // namespace testing_support

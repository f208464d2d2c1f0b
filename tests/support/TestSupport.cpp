#include "TestSupport.h"

#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

namespace {

// A test program that crashes fails at once, with the exception's code as its exit code: the
// debugger Wine starts for an unhandled exception can end the process with exit code 0, which
// ctest reads as a pass.
LONG WINAPI FailOnCrash(EXCEPTION_POINTERS* pInfo)
{
    const DWORD dwCode = pInfo->ExceptionRecord->ExceptionCode;
    fprintf(stderr, "\nunhandled exception 0x%08lx at %p\n", static_cast<unsigned long>(dwCode),
            pInfo->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), dwCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
const LPTOP_LEVEL_EXCEPTION_FILTER g_pfnPreviousFilter = SetUnhandledExceptionFilter(FailOnCrash);

}  // namespace

namespace testing_support {

std::wstring ProgramFolder()
{
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, sz, MAX_PATH);
    const std::wstring s(sz);
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
        RegDeleteKeyValueW(m_hRoot, m_strKey.c_str(), m_strName.c_str());
}

// IMallocSpy that keeps a running count of live spied blocks.
class AllocationSpy::Spy final : public IMallocSpy
{
public:
    LONG m_lOutstanding = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const bool bKnown = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMallocSpy);
        *ppv = bKnown ? static_cast<IMallocSpy*>(this) : nullptr;
        return bKnown ? S_OK : E_NOINTERFACE;
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
        // A realloc of nothing or of an unspied block makes a spied one; a realloc to zero frees.
        if (cbRequest && (!pRequest || !fSpyed))
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

std::wstring AppDataFolder()
{
    wchar_t sz[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, sz);
    return sz;
}

int RunThisProgram(const std::wstring& strArguments)
{
    wchar_t szExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    return RunProgram(L"\"" + std::wstring(szExe) + L"\" " + strArguments);
}

std::wstring TakeText(BSTR bstr)
{
    std::wstring strText = bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring();
    SysFreeString(bstr);
    return strText;
}

std::wstring ThreadErrorDescription()
{
    IErrorInfo* pInfo = nullptr;
    if (GetErrorInfo(0, &pInfo) != S_OK || !pInfo)
        return L"<none>";
    BSTR bstrText = nullptr, bstrSource = nullptr;
    pInfo->GetDescription(&bstrText);
    pInfo->GetSource(&bstrSource);
    pInfo->Release();
    return TakeText(bstrSource) + L": " + TakeText(bstrText);
}

std::wstring DocId(LONG lNumber, const wchar_t* pszLabel, const wchar_t* pszLibrary, const wchar_t* pszScheme)
{
    return std::wstring(pszScheme) + L"://" + pszLibrary + L"/" + std::to_wstring(lNumber) + L"/" + pszLabel;
}

std::wstring ReadLogText(const std::wstring& strPath)
{
    const std::string bytes = ReadFileBytes(strPath);
    if (bytes == "<missing>")
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)) +
           (bytes.size() % 2 ? L"<odd byte>" : L"");
}

std::vector<std::vector<std::wstring>> ReadLogRecords(const std::wstring& strPath, size_t cchSkip)
{
    const std::wstring strText = ReadLogText(strPath);
    std::vector<std::vector<std::wstring>> records(1);
    std::wstring column;
    for (size_t i = cchSkip; i < strText.size(); ++i)
    {
        if (strText[i] != L'\x00A0')
        {
            column += strText[i];
            continue;
        }
        records.back().push_back(column.erase(column.find_last_not_of(L' ') + 1));
        column.clear();
        if (records.back().size() == 10 && strText.compare(i + 1, 2, L"\r\n") == 0)
        {
            records.emplace_back();
            i += 2;
        }
    }
    if (!column.empty())
        records.back().push_back(column);
    if (records.back().empty())
        records.pop_back();
    return records;
}

ScopedFileLog::ScopedFileLog(const std::wstring& strPath)
{
    m_enabled.SetDword(1);
    m_file.SetDword(1);
    m_debug.SetDword(0);
    m_severity.SetDword(2);
    m_path.SetString(strPath);
}

DWORD KernelHandles()
{
    DWORD dw = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dw) && dw != 0)
        return dw;
    DWORD dwFlags = 0;
    for (ULONG_PTR value = 4; value <= 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &dwFlags))
            ++dw;
    return dw;
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters)) &&
        counters.PrivateUsage != 0)
        return counters.PrivateUsage;
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info = {};
    for (BYTE* p = nullptr; VirtualQuery(p, &info, sizeof(info)) == sizeof(info); p += info.RegionSize)
    {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        if (info.RegionSize == 0)
            break;
    }
    return total;
}

DWORD TlsIndicesInUse()
{
    std::vector<DWORD> free;
    for (DWORD dwIndex; (dwIndex = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        free.push_back(dwIndex);
    for (DWORD dwIndex : free)
        TlsFree(dwIndex);
    return TLS_MINIMUM_AVAILABLE + 1024 - static_cast<DWORD>(free.size());
}

std::string GrowthSince(const ProcessFootprint& from)
{
    const ProcessFootprint now;
    std::string growth;
    if (now.dwHandles > from.dwHandles + 2)
        growth += std::to_string(now.dwHandles - from.dwHandles) + " handles ";
    if (now.cbPrivate > from.cbPrivate + 256 * 1024)
        growth += std::to_string((now.cbPrivate - from.cbPrivate) / 1024) + " KB private memory ";
    if (now.dwTlsIndices > from.dwTlsIndices + 2)
        growth += std::to_string(now.dwTlsIndices - from.dwTlsIndices) + " TLS indices";
    return growth;
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

#include "FaultInjector.h"

#include "Catalog.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <set>
#include <utility>

namespace dms_standin {

CFaultInjector& CFaultInjector::Instance()
{
    static CFaultInjector& s_instance = [] () -> CFaultInjector& {
        static CFaultInjector injector;
        // DMS_STANDIN_END_AT ("<n>" or "<method>#<n>") ends a process at that call from its
        // start, so that a test can let a child process die in the middle of an operation.
        wchar_t sz[256] = {};
        const DWORD n = GetEnvironmentVariableW(L"DMS_STANDIN_END_AT", sz, 256);
        if (n && n < 256)
        {
            const std::wstring strValue = sz;
            const size_t nHash = strValue.rfind(L'#');
            const std::wstring strMethod = nHash == std::wstring::npos ? std::wstring() : strValue.substr(0, nHash);
            const LONG lAt = _wtol(strValue.c_str() + (nHash == std::wstring::npos ? 0 : nHash + 1));
            if (lAt > 0)
                injector.InjectForm(strMethod, FaultForm::EndProcess, lAt, false);
        }
        return injector;
    }();
    return s_instance;
}

void CFaultInjector::Inject(const std::wstring& strMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall,
                            bool bAlways)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const FaultForm form = lErrorNumber != 0 ? FaultForm::ErrorNumber : FaultForm::Raised;
    m_faults[strMethod] = Fault{{form, hrFailure, lErrorNumber}, lAtCall < 1 ? 1 : lAtCall, bAlways, 0};
}

void CFaultInjector::InjectForm(const std::wstring& strMethod, FaultForm form, LONG lAtCall, bool bAlways)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (strMethod.empty())
    {
        m_lEndAtCall = lAtCall < 1 ? 1 : lAtCall;
        m_lAllCalls = 0;
        return;
    }
    if (form == FaultForm::None)
    {
        m_faults.erase(strMethod);
        return;
    }
    // The error number a refusing DMS records when no particular reason is given.
    const LONG lErrorNumber = form == FaultForm::ErrorNumber ? 11 : 0;
    m_faults[strMethod] = Fault{{form, E_FAIL, lErrorNumber}, lAtCall < 1 ? 1 : lAtCall, bAlways, 0};
}

void CFaultInjector::Clear()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults.clear();
    m_calls.clear();
    m_lEndAtCall = 0;
    m_lAllCalls = 0;
}

LONG CFaultInjector::CallCount(const std::wstring& strMethod)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_calls.find(strMethod);
    return it == m_calls.end() ? 0 : it->second.lCalls;
}

LONG CFaultInjector::TotalCalls()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    LONG lTotal = 0;
    for (const auto& call : m_calls)
        lTotal += call.second.lCalls;
    return lTotal;
}

LONGLONG CFaultInjector::TotalTicks()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    LONGLONG llTotal = 0;
    for (const auto& call : m_calls)
        llTotal += call.second.llTicks;
    return llTotal;
}

std::wstring CFaultInjector::Statistics()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::lock_guard<std::mutex> guard(m_mutex);
    std::wstring strText;
    for (const auto& call : m_calls)
    {
        wchar_t szFigures[64] = {};
        swprintf(szFigures, 64, L"\t%ld\t%.9f\n", call.second.lCalls,
                 static_cast<double>(call.second.llTicks) / static_cast<double>(frequency.QuadPart));
        strText += call.first + szFigures;
    }
    return strText;
}

std::wstring CFaultInjector::FaultPoints()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::wstring strText;
    for (const auto& call : m_calls)
    {
        const Usage& usage = call.second;
        strText += call.first + L"\t" + std::to_wstring(usage.lCalls) + L"\t" +
                   (usage.bCanFail ? (usage.bAnswers ? L"RES" : L"RE") : L"") + L"\n";
    }
    return strText;
}

CFaultInjector::Usage& CFaultInjector::Tally(const std::wstring& strMethod)
{
    // A test that makes the process die here watches it from outside: nothing more is done.
    if (m_lEndAtCall != 0 && ++m_lAllCalls == m_lEndAtCall)
        TerminateProcess(GetCurrentProcess(), 99);
    Usage& usage = m_calls[strMethod];
    ++usage.lCalls;
    return usage;
}

bool CFaultInjector::Check(const wchar_t* pszMethod, bool bAnswers, FiredFault* pFired)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const std::wstring strMethod = pszMethod;
    auto it = m_faults.find(strMethod);
    if (it != m_faults.end() && it->second.fired.form == FaultForm::EndProcess &&
        it->second.lSeen + 1 == it->second.lAtCall)
        TerminateProcess(GetCurrentProcess(), 99);
    Usage& usage = Tally(strMethod);
    usage.bCanFail = true;
    usage.bAnswers = usage.bAnswers || bAnswers;
    if (it == m_faults.end())
        return false;
    Fault& fault = it->second;
    ++fault.lSeen;
    const bool bFires = fault.lSeen == fault.lAtCall || (fault.bAlways && fault.lSeen > fault.lAtCall);
    // Only a call with an out value can fail silently (a property's put shares its get's name).
    if (!bFires || (fault.fired.form == FaultForm::Silent && !bAnswers))
        return false;
    *pFired = fault.fired;
    return true;
}

void CFaultInjector::Count(const wchar_t* pszMethod)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    Tally(pszMethod);
}

void CFaultInjector::AddTime(const wchar_t* pszMethod, LONGLONG llStartTicks)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    Usage& usage = m_calls[pszMethod];
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    usage.llTicks += now.QuadPart - llStartTicks;
}

namespace call_latency {

namespace {

const LONG kUnread = -1;
LONG g_lMicroseconds = kUnread;  // this process's latency, read on first use

LONG ReadSetting()
{
    wchar_t sz[32] = {};
    const DWORD n = GetEnvironmentVariableW(L"DMS_STANDIN_LATENCY_US", sz, 32);
    if (n && n < 32)
        return std::max(0L, wcstol(sz, nullptr, 10));
    DWORD dwValue = 0;
    DWORD cb = sizeof(dwValue);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, CCatalog::kRootKey, CCatalog::kLatencyValue, RRF_RT_REG_DWORD, nullptr,
                     &dwValue, &cb) != ERROR_SUCCESS)
        return 0;
    return static_cast<LONG>(std::min<DWORD>(dwValue, 10000000));
}

}  // namespace

LONG Microseconds()
{
    LONG lValue = InterlockedCompareExchange(&g_lMicroseconds, kUnread, kUnread);
    if (lValue == kUnread)
    {
        lValue = ReadSetting();
        InterlockedCompareExchange(&g_lMicroseconds, lValue, kUnread);
    }
    return lValue;
}

void Set(LONG lMicroseconds)
{
    InterlockedExchange(&g_lMicroseconds, std::max(0L, lMicroseconds));
}

// Spins until the latency has passed since llStart: a sleep is far too coarse for a
// millisecond, and the wait must be as long on every call.
void Wait(LONGLONG llStart)
{
    const LONG lMicroseconds = Microseconds();
    if (lMicroseconds <= 0)
        return;
    static const LONGLONG s_llFrequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    const LONGLONG llEnd = llStart + s_llFrequency * lMicroseconds / 1000000;
    LARGE_INTEGER now;
    do
        QueryPerformanceCounter(&now);
    while (now.QuadPart < llEnd);
}

}  // namespace call_latency

namespace {
thread_local int t_nTimedDepth = 0;  // timed stand-in calls open on this thread
}  // namespace

// The round trip is paid once per call the client makes, inside the call's own time; the
// stand-in's calls to itself pay nothing more.
CDmsCallTimer::CDmsCallTimer(const wchar_t* pszMethod) : m_pszMethod(pszMethod)
{
    if (t_nTimedDepth++ == 0)
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        m_llStart = now.QuadPart;
        call_latency::Wait(m_llStart);
    }
}

bool CDmsCallTimer::IsNested()
{
    return t_nTimedDepth > 1;
}

CDmsCallTimer::~CDmsCallTimer()
{
    if (--t_nTimedDepth == 0)
        CFaultInjector::Instance().AddTime(m_pszMethod, m_llStart);
}

namespace process_state {

namespace {
LONG g_lLiveObjects = 0;
LONG g_lParentWindow = -1;
std::mutex g_mutex;  // guards the selections and the form record
std::set<std::pair<std::wstring, LONG>> g_selected;
std::wstring g_strForms;

std::wstring Upper(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towupper(c));
    return s;
}
}  // namespace

void ObjectCreated() { InterlockedIncrement(&g_lLiveObjects); }
void ObjectDestroyed() { InterlockedDecrement(&g_lLiveObjects); }
LONG LiveObjects() { return g_lLiveObjects; }
void SetParentWindow(LONG lHwnd) { InterlockedExchange(&g_lParentWindow, lHwnd); }
LONG ParentWindow() { return g_lParentWindow; }
void ClearParentWindow() { InterlockedExchange(&g_lParentWindow, -1); }

void SetSelectedForEdit(const std::wstring& strLibrary, LONG lNumber, bool bSelected)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (bSelected)
        g_selected.emplace(Upper(strLibrary), lNumber);
    else
        g_selected.erase({Upper(strLibrary), lNumber});
}

bool IsSelectedForEdit(const std::wstring& strLibrary, LONG lNumber)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_selected.count({Upper(strLibrary), lNumber}) != 0;
}

void RecordForm(const std::wstring& strLine)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_strForms += strLine + L"\n";
}

std::wstring FormRecord()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_strForms;
}

void Clear()
{
    ClearParentWindow();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_selected.clear();
    g_strForms.clear();
}

}  // namespace process_state

}  // namespace dms_standin

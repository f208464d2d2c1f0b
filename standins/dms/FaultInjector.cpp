#include "FaultInjector.h"

#include <cwchar>
#include <cwctype>
#include <set>
#include <utility>

namespace dms_standin {

CFaultInjector& CFaultInjector::Instance()
{
    static CFaultInjector s_instance;
    return s_instance;
}

void CFaultInjector::Inject(const std::wstring& strMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall,
                            bool bAlways)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults[strMethod] = Fault{hrFailure, lErrorNumber, lAtCall < 1 ? 1 : lAtCall, bAlways, 0};
}

void CFaultInjector::Clear()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults.clear();
    m_calls.clear();
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

bool CFaultInjector::Check(const wchar_t* pszMethod, HRESULT* phrFailure, LONG* plErrorNumber)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const std::wstring strMethod = pszMethod;
    ++m_calls[strMethod].lCalls;
    auto it = m_faults.find(strMethod);
    if (it == m_faults.end())
        return false;
    Fault& fault = it->second;
    ++fault.lSeen;
    const bool bFires = fault.lSeen == fault.lAtCall || (fault.bAlways && fault.lSeen > fault.lAtCall);
    if (!bFires)
        return false;
    *phrFailure = fault.hrFailure;
    *plErrorNumber = fault.lErrorNumber;
    return true;
}

void CFaultInjector::Count(const wchar_t* pszMethod)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_calls[pszMethod].lCalls;
}

void CFaultInjector::AddTime(const wchar_t* pszMethod, LONGLONG llStartTicks)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    Usage& usage = m_calls[pszMethod];
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    usage.llTicks += now.QuadPart - llStartTicks;
}

namespace {
thread_local int t_nTimedDepth = 0;  // timed stand-in calls open on this thread
}  // namespace

CDmsCallTimer::CDmsCallTimer(const wchar_t* pszMethod) : m_pszMethod(pszMethod)
{
    if (t_nTimedDepth++ == 0)
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        m_llStart = now.QuadPart;
    }
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

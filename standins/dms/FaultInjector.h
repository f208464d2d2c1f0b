#pragma once
// Per-process test controls of the stand-in: injected faults by method name, call counts and
// the time spent inside the stand-in's methods, the live-object count and the last parent
// window written to an application object.
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace dms_standin {

// Makes named methods fail on purpose, counts every call by name and adds up the time spent
// inside each method; one instance per process.
class CFaultInjector
{
public:
    static CFaultInjector& Instance();

    void Inject(const std::wstring& strMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall, bool bAlways);
    // Drops every fault, call count and accumulated time.
    void Clear();
    LONG CallCount(const std::wstring& strMethod);
    // Calls of every method since the last Clear.
    LONG TotalCalls();
    // Performance-counter ticks spent inside the stand-in's methods since the last Clear.
    LONGLONG TotalTicks();
    // One line per method called since the last Clear: name, tab, calls, tab, seconds.
    std::wstring Statistics();

    // Counts a call of the method; true when a fault applies to this call, with the HRESULT
    // to return or (when non-zero) the DMS error number to record instead.
    bool Check(const wchar_t* pszMethod, HRESULT* phrFailure, LONG* plErrorNumber);
    // Counts a call of a method that no fault can make fail.
    void Count(const wchar_t* pszMethod);
    // Adds the time from llStartTicks to now to the method. The clock is read after the
    // bookkeeping, so that its cost falls inside the stand-in's time and not the caller's.
    void AddTime(const wchar_t* pszMethod, LONGLONG llStartTicks);

private:
    struct Fault
    {
        HRESULT hrFailure;
        LONG lErrorNumber;
        LONG lAtCall;
        bool bAlways;
        LONG lSeen;
    };
    std::mutex m_mutex;
    struct Usage
    {
        LONG lCalls = 0;
        LONGLONG llTicks = 0;
    };
    std::map<std::wstring, Fault> m_faults;
    std::map<std::wstring, Usage> m_calls;
};

// Times one call of a stand-in method, from its construction at the method's entry to its
// destruction at the method's return. Only the outermost timed call of a thread adds its time,
// so a method that calls another method of the stand-in is not counted twice.
class CDmsCallTimer
{
public:
    explicit CDmsCallTimer(const wchar_t* pszMethod);
    ~CDmsCallTimer();
    CDmsCallTimer(const CDmsCallTimer&) = delete;
    CDmsCallTimer& operator=(const CDmsCallTimer&) = delete;

private:
    const wchar_t* m_pszMethod;
    LONGLONG m_llStart = 0;
};

// Counters of the process that tests read through the admin exports.
namespace process_state {
void ObjectCreated();
void ObjectDestroyed();
LONG LiveObjects();
void SetParentWindow(LONG lHwnd);
LONG ParentWindow();  // last value written, -1 when none
void ClearParentWindow();
// Profiles taken for editing (SelectForEdit) and not yet given back (ReleaseDoc), by
// library and number.
void SetSelectedForEdit(const std::wstring& strLibrary, LONG lNumber, bool bSelected);
bool IsSelectedForEdit(const std::wstring& strLibrary, LONG lNumber);
// What the forms were shown with, one line per event, in order: the selection form with the
// parent window at that moment, the version chooser with its title, each field given to the
// DM 5 profile form.
void RecordForm(const std::wstring& strLine);
std::wstring FormRecord();
// Drops the parent-window record, the form record and every selection for editing.
void Clear();
}  // namespace process_state

}  // namespace dms_standin

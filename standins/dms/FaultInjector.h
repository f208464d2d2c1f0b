#pragma once
// Per-process test controls of the stand-in: injected faults by method name, call counts and
// the time spent inside the stand-in's methods, the live-object count and the last parent
// window written to an application object.
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace dms_standin {

// The ways an injected fault shows (the values of StandInFaultForm in DmsStandInControl.h).
enum class FaultForm : LONG
{
    None = 0,         // no fault: withdraws the method's fault
    Raised = 1,       // a failing HRESULT with error information
    ErrorNumber = 2,  // success, empty outputs and a DMS error number on the object
    Silent = 3,       // success, empty outputs (status 0) and no error number
    EndProcess = 4,   // the process ends before the call does anything
};

// What a fault that applies to a call asks the method to do.
struct FiredFault
{
    FaultForm form = FaultForm::None;
    HRESULT hrFailure = S_OK;
    LONG lErrorNumber = 0;
};

// Makes named methods fail on purpose, counts every call by name and adds up the time spent
// inside each method; one instance per process.
class CFaultInjector
{
public:
    static CFaultInjector& Instance();

    void Inject(const std::wstring& strMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall, bool bAlways);
    // Injects a fault of the given form; FaultForm::None withdraws the method's fault. An empty
    // method with FaultForm::EndProcess ends the process at the lAtCall-th call of any method.
    void InjectForm(const std::wstring& strMethod, FaultForm form, LONG lAtCall, bool bAlways);
    // Drops every fault, call count and accumulated time.
    void Clear();
    LONG CallCount(const std::wstring& strMethod);
    // Calls of every method since the last Clear.
    LONG TotalCalls();
    // Performance-counter ticks spent inside the stand-in's methods since the last Clear.
    LONGLONG TotalTicks();
    // One line per method called since the last Clear: name, tab, calls, tab, seconds.
    std::wstring Statistics();
    // One line per method called since the last Clear: name, tab, calls, tab and the forms a
    // fault of it can take ("R" raised, "E" error number, "S" silent; none for calls that
    // cannot fail).
    std::wstring FaultPoints();

    // Counts a call of the method; true when a fault applies to this call. bAnswers tells
    // whether the method has an out value (a status or an object), so that a silent failure
    // shows in what it answers.
    bool Check(const wchar_t* pszMethod, bool bAnswers, FiredFault* pFired);
    // Counts a call of a method that no fault can make fail.
    void Count(const wchar_t* pszMethod);
    // Adds the time from llStartTicks to now to the method. The clock is read after the
    // bookkeeping, so that its cost falls inside the stand-in's time and not the caller's.
    void AddTime(const wchar_t* pszMethod, LONGLONG llStartTicks);

private:
    struct Fault
    {
        FiredFault fired;
        LONG lAtCall;
        bool bAlways;
        LONG lSeen;
    };
    std::mutex m_mutex;
    struct Usage
    {
        LONG lCalls = 0;
        LONGLONG llTicks = 0;
        bool bCanFail = false;
        bool bAnswers = false;
    };
    // Counts one call; ends the process when the end-of-process fault is due. Called locked.
    Usage& Tally(const std::wstring& strMethod);

    std::map<std::wstring, Fault> m_faults;
    std::map<std::wstring, Usage> m_calls;
    LONG m_lEndAtCall = 0;  // the call of any method at which the process ends, 0 for none
    LONG m_lAllCalls = 0;   // calls of every method since the end-of-process fault was set
};

// Times one call of a stand-in method, from its construction at the method's entry to its
// destruction at the method's return. Only the outermost timed call of a thread adds its time,
// so a method that calls another method of the stand-in is not counted twice.
class CDmsCallTimer
{
public:
    explicit CDmsCallTimer(const wchar_t* pszMethod);
    ~CDmsCallTimer();
    // Whether the current method was called by another method of the stand-in (the DMS reading
    // its own objects), a call the client did not make.
    static bool IsNested();
    CDmsCallTimer(const CDmsCallTimer&) = delete;
    CDmsCallTimer& operator=(const CDmsCallTimer&) = delete;

private:
    const wchar_t* m_pszMethod;
    LONGLONG m_llStart = 0;
};

// The time every DMS call takes on top of its own work, as a round trip to a server would: the
// prefix's setting (CCatalog::kLatencyValue), unless the environment variable
// DMS_STANDIN_LATENCY_US overrides it for the process. Read once per process.
namespace call_latency {
LONG Microseconds();
// Sets this process's latency from now on (the prefix's setting is written by the caller).
void Set(LONG lMicroseconds);
}  // namespace call_latency

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

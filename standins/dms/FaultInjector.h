#pragma once
// Per-process test controls of the stand-in: injected faults by method name, call counts, the
// live-object count and the last parent window written to an application object.
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace dms_standin {

// Makes named methods fail on purpose and counts every call by name; one instance per process.
class CFaultInjector
{
public:
    static CFaultInjector& Instance();

    void Inject(const std::wstring& strMethod, HRESULT hrFailure, LONG lErrorNumber, LONG lAtCall, bool bAlways);
    void Clear();
    LONG CallCount(const std::wstring& strMethod);
    // Calls of every method since the last Clear.
    LONG TotalCalls();

    // Counts a call of the method; true when a fault applies to this call, with the HRESULT
    // to return or (when non-zero) the DMS error number to record instead.
    bool Check(const wchar_t* pszMethod, HRESULT* phrFailure, LONG* plErrorNumber);

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
    std::map<std::wstring, Fault> m_faults;
    std::map<std::wstring, LONG> m_calls;
};

// Counters of the process that tests read through the admin exports.
namespace process_state {
void ObjectCreated();
void ObjectDestroyed();
LONG LiveObjects();
void SetParentWindow(LONG lHwnd);
LONG ParentWindow();  // last value written, -1 when none
void ClearParentWindow();
}  // namespace process_state

}  // namespace dms_standin

#pragma once
// The take guard: what one operation has taken (a select-for-edit, a version lock, a check-out,
// a made profile, version or attachment, a temporary file, a cache file about to be
// overwritten) and how to give each back. Each take registers its give-back once it has
// succeeded; whatever is neither given back nor kept when the guard ends is given back then,
// newest first, on every exit, exceptions of any type included. A give-back that fails is
// logged and does not stop the ones after it; what it could not give back stays held, and the
// operation can ask so afterwards (a check-out the record must then report). One guard per
// operation call, on the calling thread.
#include <windows.h>

#include <functional>
#include <vector>

#include "framework/LogRecord.h"
#include "framework/StdStr.h"

class CTakeGuard
{
public:
    using GiveBackStep = std::function<HRESULT()>;
    // One registered take, as the guard's Took answered it.
    using Take = size_t;
    // A take that never happened: never held, giving it back does nothing.
    static constexpr Take kNothing = static_cast<Take>(-1);

    // pszFunction names the operation in the log lines of failed give-backs.
    explicit CTakeGuard(const wchar_t* pszFunction) : m_pszFunction(pszFunction) {}
    ~CTakeGuard() { GiveBackAll(); }
    CTakeGuard(const CTakeGuard&) = delete;
    CTakeGuard& operator=(const CTakeGuard&) = delete;

    // Registers what was just taken (pszWhat names it in the log) with the step that gives it
    // back; the step answers an HRESULT or raises.
    Take Took(const wchar_t* pszWhat, GiveBackStep giveBack);
    // Gives one take back now; S_OK when it was not held. A failure is logged and answered,
    // and the take stays held.
    HRESULT GiveBack(Take take) noexcept;
    // Gives back every take that is held and not kept, newest first (one whose give-back failed
    // before is tried again); answers the first failure.
    HRESULT GiveBackAll() noexcept;
    // The operation keeps this take beyond its end: the guard never gives it back.
    void Keep(Take take);
    // The operation has done its work: everything still held is kept, and the guard's end gives
    // nothing back.
    void Commit();
    // Whether the take is still held: not given back, or its give-back failed.
    bool Holds(Take take) const;

private:
    struct Entry
    {
        const wchar_t* pszWhat;
        GiveBackStep giveBack;
        bool bHeld;
        bool bKept;
    };
    const wchar_t* m_pszFunction;
    std::vector<Entry> m_entries;
};

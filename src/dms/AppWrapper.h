#pragma once
// The process-wide keeper of the DMS client: logs the client on through its session
// component and parks one marshalled reference to the DMS application in a process-wide
// stream, so the client stays alive between operations. Operations on the thread that parked it
// use that same application object (OpenDmsApplication): each creation would be a round trip
// to the DMS. Touched only on the apartment thread of the provider's calls and at module
// load/unload; nothing here is guarded by a lock.
#include <windows.h>

#include <memory>

#include "dms/DmsTypes.h"

// Creates a DMS class with the context 23 (all four server kinds), puts it into the running
// state and queries riid. On failure *ppv stays null and the failure code is returned.
HRESULT CreateDmsObject(REFCLSID clsid, REFIID riid, void** ppv);

class BCSessionManager;

class CAppWrapper
{
public:
    CAppWrapper() = default;
    ~CAppWrapper();
    CAppWrapper(const CAppWrapper&) = delete;
    CAppWrapper& operator=(const CAppWrapper&) = delete;

    static CAppWrapper& Instance();

    // Logs on and parks the application's IDispatch in the stream; true while it is parked.
    // Never raises; a DMS that was not reachable is tried again on the next call.
    bool EnsureAppIsMarshalled();
    // Drops the parked reference. Never raises.
    void ReleaseDispatch();
    // True when the client's connection state is 1 or 2. Never raises.
    static bool WorkingOffline();
    // The parked application object when called on the thread that parked it, else null (an
    // apartment-threaded object is used on its own thread only).
    IApplicationPtr KeptApplication() const;

private:
    std::unique_ptr<BCSessionManager> m_pSessionManager;
    bool m_bMarshalled = false;
    IApplicationPtr m_pApp;  // the parked object itself, for its own thread
    DWORD m_dwAppThread = 0;
};

// The stream that holds the parked application reference; null when empty.
extern IStream* g_lpUnknownStream;

// The operation's application object: makes sure the client is kept, then answers the kept
// object, or on another thread a fresh IApplication. A failure other than E_NOINTERFACE is
// raised; E_NOINTERFACE gives an empty pointer, whose first use raises E_POINTER.
IApplicationPtr OpenDmsApplication();

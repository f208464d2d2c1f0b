#pragma once
// Driving a modal dialog as a user would: the dialog runs on the test thread while a second
// thread finds its window, reads it, clicks and types; and whether opening dialogs leaks.
// Needs a display (the suite runs inside Xvfb).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace dialog_driving {

// Without a window manager (Xvfb), Wine waits two seconds for one to withdraw each hidden
// window it believes managed; this program's windows are left unmanaged instead. Set before
// the display driver starts, which reads it once per process.
inline const bool g_bUnmanagedWindows = [] {
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    const std::wstring strKey =
        L"Software\\Wine\\AppDefaults\\" + std::wstring(wcsrchr(szPath, L'\\') + 1) + L"\\X11 Driver";
    return RegSetKeyValueW(HKEY_CURRENT_USER, strKey.c_str(), L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t)) ==
           ERROR_SUCCESS;
}();

// Finds a visible window of the dialog class (atom 32770).
inline BOOL CALLBACK FindVisibleDialog(HWND hWnd, LPARAM lParam)
{
    const bool bDialog = GetClassLongW(hWnd, GCW_ATOM) == 32770 && IsWindowVisible(hWnd);
    if (bDialog)
        *reinterpret_cast<HWND*>(lParam) = hWnd;
    return !bDialog;
}

inline std::wstring Text(HWND hWnd)
{
    wchar_t sz[512] = {};
    GetWindowTextW(hWnd, sz, ARRAYSIZE(sz));
    return sz;
}

inline void Click(HWND hDlg, int nID)
{
    SendMessageW(GetDlgItem(hDlg, nID), BM_CLICK, 0, 0);
}

// Types text into an edit field key by key, replacing what it held.
inline void Type(HWND hEdit, const std::wstring& strText)
{
    SendMessageW(hEdit, EM_SETSEL, 0, -1);
    SendMessageW(hEdit, WM_CHAR, VK_BACK, 0);
    for (wchar_t ch : strText)
        SendMessageW(hEdit, WM_CHAR, ch, 0);
}

inline bool Enabled(HWND hDlg, int nID)
{
    return IsWindowEnabled(GetDlgItem(hDlg, nID)) != FALSE;
}

// Runs show, which opens a dialog modally on this thread, while operate acts on the dialog's
// window from a second thread. operate must end the dialog; a dialog still open seconds later
// is cancelled and *pbForced is set (without pbForced, that is a test failure).
inline void DriveDialog(const std::function<void()>& show, const std::function<void(HWND)>& operate,
                        bool* pbForced = nullptr)
{
    const DWORD dwThread = GetCurrentThreadId();
    std::atomic<bool> bClosed{false};
    bool bForced = false;
    std::thread driver([&] {
        HWND hDlg = nullptr;
        for (int i = 0; i < 4000 && !hDlg && !bClosed; ++i, Sleep(2))
            EnumThreadWindows(dwThread, FindVisibleDialog, reinterpret_cast<LPARAM>(&hDlg));
        if (!hDlg)
            return;
        operate(hDlg);
        for (int i = 0; i < 2500 && IsWindow(hDlg); ++i)
            Sleep(2);
        bForced = IsWindow(hDlg) != FALSE;
        if (bForced)
            PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
    });
    show();
    bClosed = true;
    driver.join();
    if (pbForced)
        *pbForced = bForced;
    else
        EXPECT_FALSE(bForced) << "the dialog had to be cancelled by the test";
}

// The process's GDI objects. Wine answers GetGuiResources with 0; there every live object
// is found by the index in the low word of its handle (a handle whose high word is 0 names
// whatever object lives at that index).
inline long GdiObjectCount()
{
    if (const DWORD dwCount = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<long>(dwCount);
    long lCount = 0;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
        lCount += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    return lCount;
}

inline BOOL CALLBACK CountWindow(HWND, LPARAM lParam)
{
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

inline BOOL CALLBACK CountWindowAndDescendants(HWND hWnd, LPARAM lParam)
{
    EnumChildWindows(hWnd, CountWindow, lParam);
    return CountWindow(hWnd, lParam);
}

// Expects 200 openings and closings of a dialog to leave no window of this thread, no task-allocator
// block, no growth of count (live COM objects, say) and fewer than lGdiSlack GDI objects behind.
// Measured once the GDI count holds still: the first openings load what stays loaded and fill the
// system's cache of device contexts (under Wine several dozen DCs with their clip regions).
inline void ExpectNoLeaks(const std::function<void()>& openAndClose, const std::function<long()>& count,
                          long lGdiSlack)
{
    long lGdi = GdiObjectCount();
    for (int i = 0, nSame = 0; i < 300 && nSame < 25; ++i)
    {
        openAndClose();
        const long lNow = GdiObjectCount();
        nSame = lNow == lGdi ? nSame + 1 : 0;
        lGdi = lNow;
    }
    auto windows = [] {
        int nCount = 0;
        EnumThreadWindows(GetCurrentThreadId(), CountWindowAndDescendants, reinterpret_cast<LPARAM>(&nCount));
        return nCount;
    };
    const int nWindows = windows();
    const long lCounted = count();
    long lAllocations = 0;
    {
        testing_support::AllocationSpy spy;
        for (int i = 0; i < 200; ++i)
            openAndClose();
        lAllocations = spy.Outstanding();
    }
    EXPECT_LT(GdiObjectCount() - lGdi, lGdiSlack) << "GDI objects";
    EXPECT_EQ(nWindows, windows()) << "windows";
    EXPECT_EQ(lCounted, count()) << "counted objects";
    EXPECT_EQ(0, lAllocations) << "task-allocator blocks";
}

}  // namespace dialog_driving

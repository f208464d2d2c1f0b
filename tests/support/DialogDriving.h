#pragma once
// Driving a modal dialog as a user would: the dialog runs on the test thread while a second
// thread finds its window, reads it, clicks, types and presses keys. Also the counts that tell
// whether opening dialogs leaks windows or GDI objects. Needs a display (the suite runs inside
// Xvfb).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace dialog_driving {

// Without a window manager (Xvfb), Wine waits two seconds for one to withdraw each hidden
// window it believes managed; this program's windows are left unmanaged instead. Set before
// the display driver starts, which reads it once per process.
inline const bool g_bUnmanagedWindows = [] {
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    const wchar_t* pszName = wcsrchr(szPath, L'\\');
    const std::wstring strKey = std::wstring(L"Software\\Wine\\AppDefaults\\") + (pszName ? pszName + 1 : szPath) +
                                L"\\X11 Driver";
    const wchar_t kValue[] = L"N";
    return RegSetKeyValueW(HKEY_CURRENT_USER, strKey.c_str(), L"Managed", REG_SZ, kValue, sizeof(kValue)) ==
           ERROR_SUCCESS;
}();

inline BOOL CALLBACK FindVisibleDialog(HWND hWnd, LPARAM lParam)
{
    wchar_t szClass[16] = {};
    GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass));
    if (wcscmp(szClass, L"#32770") == 0 && IsWindowVisible(hWnd))
    {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

inline HWND FindDialogOfThread(DWORD dwThreadId)
{
    HWND hFound = nullptr;
    EnumThreadWindows(dwThreadId, FindVisibleDialog, reinterpret_cast<LPARAM>(&hFound));
    return hFound;
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
// window from a second thread. operate must end the dialog; if it does not within seconds, the
// dialog is cancelled and *pbForced is set (without pbForced, that is a test failure).
inline void DriveDialog(const std::function<void()>& show, const std::function<void(HWND)>& operate,
                        bool* pbForced = nullptr)
{
    const DWORD dwThread = GetCurrentThreadId();
    std::atomic<bool> bClosed{false};
    bool bForced = false;
    std::thread driver([&] {
        HWND hDlg = nullptr;
        for (int i = 0; i < 4000 && !hDlg && !bClosed; ++i)
        {
            hDlg = FindDialogOfThread(dwThread);
            if (!hDlg)
                Sleep(2);
        }
        if (!hDlg)
            return;
        if (operate)
            operate(hDlg);
        for (int i = 0; i < 2500 && IsWindow(hDlg); ++i)
            Sleep(2);
        if (IsWindow(hDlg))
        {
            bForced = true;
            PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
        }
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
inline DWORD GdiObjectCount()
{
    DWORD dwCount = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (dwCount != 0)
        return dwCount;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0)
            ++dwCount;
    return dwCount;
}

inline BOOL CALLBACK CountWindow(HWND, LPARAM lParam)
{
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

inline BOOL CALLBACK CountWindowAndChildren(HWND hWnd, LPARAM lParam)
{
    ++*reinterpret_cast<int*>(lParam);
    EnumChildWindows(hWnd, CountWindow, lParam);
    return TRUE;
}

// Counts the top-level windows of this thread and all their descendants.
inline int ThreadWindowCount()
{
    int nCount = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren, reinterpret_cast<LPARAM>(&nCount));
    return nCount;
}

// The process's user objects; where Wine answers 0, the windows of this thread (the only user
// objects a dialog makes).
inline DWORD UserObjectCount()
{
    DWORD dwCount = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return dwCount != 0 ? dwCount : static_cast<DWORD>(ThreadWindowCount());
}

}  // namespace dialog_driving

// The properties dialog as a user meets it: opened by custom command 0 on the test thread
// while a second thread reads its texts from the windows and presses Enter or Escape. Needs a
// display (the suite runs inside Xvfb) and the option-store stand-in beside the test program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "DialogDriving.h"
#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "operations/PDDocProviderHelper.h"
#include "ui/CustomPropertiesDlg.h"
#include "ui/UiResources.h"

namespace {

using testing_support::ScopedRegValue;
using namespace dialog_driving;

const wchar_t kOptionsKey[] = L"SOFTWARE\\Corvane\\Options";
const wchar_t kProviderKey[] = L"SOFTWARE\\Corvane\\Options\\DocumentProviders\\Hummingbird DM/PowerDocs";

// Presses a key in the dialog of a thread as a user would: at the window that has the focus.
void PressKey(DWORD dwThread, HWND hDlg, WPARAM vk)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    HWND hTarget = GetGUIThreadInfo(dwThread, &info) && info.hwndFocus ? info.hwndFocus : hDlg;
    PostMessageW(hTarget, WM_KEYDOWN, vk, 0);
    PostMessageW(hTarget, WM_KEYUP, vk, 0xC0000001);
}

// What the user sees in the dialog: its caption, the tabs and the General page's texts by
// control ID, and whether Apply is enabled and the icon is shown.
struct Seen
{
    std::wstring caption;
    int nTabs = 0;
    std::wstring tabTitle;
    std::map<int, std::wstring> texts;
    bool bApplyEnabled = true;
    bool bIcon = false;
};

Seen Look(HWND hDlg)
{
    Seen seen;
    seen.caption = Text(hDlg);
    HWND hTabs = GetDlgItem(hDlg, IDC_PROPERTIES_TABS);
    seen.nTabs = static_cast<int>(SendMessageW(hTabs, TCM_GETITEMCOUNT, 0, 0));
    wchar_t szTitle[64] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = szTitle;
    item.cchTextMax = ARRAYSIZE(szTitle);
    SendMessageW(hTabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    seen.tabTitle = szTitle;
    seen.bApplyEnabled = IsWindowEnabled(GetDlgItem(hDlg, IDC_PROPERTIES_APPLY)) != FALSE;
    HWND hPage = FindWindowExW(hTabs, nullptr, L"#32770", nullptr);
    for (int nID : {IDC_GENERAL_TITLE, IDC_GENERAL_VERSION_LABEL, IDC_GENERAL_VERSION, IDC_GENERAL_ID_LABEL,
                    IDC_GENERAL_IDENTIFICATION, IDC_GENERAL_LOCATION_LABEL, IDC_GENERAL_LOCATION,
                    IDC_GENERAL_STATUS_LABEL, IDC_GENERAL_STATUS, IDC_GENERAL_DETAILS_GROUP, IDC_GENERAL_NOTES})
        seen.texts[nID] = hPage && GetDlgItem(hPage, nID) ? Text(GetDlgItem(hPage, nID)) : L"<missing>";
    seen.bIcon = hPage && SendDlgItemMessageW(hPage, IDC_GENERAL_ICON, STM_GETICON, 0, 0) != 0;
    return seen;
}

class PropertiesDlgTest : public ::testing::Test
{
protected:
    PropertiesDlgTest() : m_programLocation(HKEY_CURRENT_USER, kOptionsKey, L"ProgramLocation") {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        m_programLocation.SetString(testing_support::ProgramFolder());
        RegDeleteTreeW(HKEY_CURRENT_USER, kProviderKey);
        m_hHost = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_TRUE(m_hHost != nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(m_hHost);
        RegDeleteTreeW(HKEY_CURRENT_USER, kProviderKey);
        CoUninitialize();
    }

    // The host's entries for the provider, as its registration writes them.
    static void Register(bool bEnabled, const wchar_t* pszFilename)
    {
        const DWORD dwEnabled = bEnabled ? 1 : 0;
        RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"Enabled", REG_DWORD, &dwEnabled, sizeof(dwEnabled));
        RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"Filename", REG_SZ, pszFilename,
                        static_cast<DWORD>((wcslen(pszFilename) + 1) * sizeof(wchar_t)));
    }

    // Runs show on this thread while a second thread looks at the dialog (into *pSeen) and
    // presses the key.
    static void Drive(const std::function<void()>& show, WPARAM vk, Seen* pSeen = nullptr)
    {
        const DWORD dwThread = GetCurrentThreadId();
        DriveDialog(show, [&](HWND hDlg) {
            if (pSeen)
                *pSeen = Look(hDlg);
            PressKey(dwThread, hDlg, vk);
        });
    }

    ScopedRegValue m_programLocation;
    CPDDocProviderHelper m_helper;
    HWND m_hHost = nullptr;
};

TEST_F(PropertiesDlgTest, ShowsTheProviderAsTheHostRegisteredIt)
{
    Register(true, L"C:\\Program Files\\Corvane\\CmQuendrel.dll");
    Seen seen;
    Drive([&] { EXPECT_EQ(S_OK, m_helper.InvokeCustomCommand(0, static_cast<long>(reinterpret_cast<INT_PTR>(m_hHost)))); },
          VK_RETURN, &seen);
    EXPECT_EQ(L"Hummingbird DM5 Properties ", seen.caption);
    EXPECT_EQ(1, seen.nTabs);
    EXPECT_EQ(L"General", seen.tabTitle);
    EXPECT_FALSE(seen.bApplyEnabled);
    EXPECT_TRUE(seen.bIcon);
    const std::map<int, std::wstring> expected = {
        {IDC_GENERAL_TITLE, L"Hummingbird DM5 Desktop Integration for Corvane"},
        {IDC_GENERAL_VERSION_LABEL, L"Version: "},
        {IDC_GENERAL_VERSION, L"4.3.2.1"},
        {IDC_GENERAL_ID_LABEL, L"Identification: "},
        {IDC_GENERAL_IDENTIFICATION, L"Hummingbird DM5"},
        {IDC_GENERAL_LOCATION_LABEL, L"Location: "},
        {IDC_GENERAL_LOCATION, L"C:\\Program Files\\Corvane\\CmQuendrel.dll"},
        {IDC_GENERAL_STATUS_LABEL, L"Status:"},
        {IDC_GENERAL_STATUS, L"Enabled"},
        {IDC_GENERAL_DETAILS_GROUP, L"Integration Details"},
        {IDC_GENERAL_NOTES, L""},
    };
    EXPECT_EQ(expected, seen.texts);

    Register(false, L"D:\\cm.dll");
    Drive([&] { m_helper.InvokeCustomCommand(0, 0); }, VK_ESCAPE, &seen);
    EXPECT_EQ(L"Disabled", seen.texts[IDC_GENERAL_STATUS]);
    EXPECT_EQ(L"D:\\cm.dll", seen.texts[IDC_GENERAL_LOCATION]);

    // Without the host's entries only the fixed texts show.
    RegDeleteTreeW(HKEY_CURRENT_USER, kProviderKey);
    Drive([&] { m_helper.InvokeCustomCommand(0, 0); }, VK_ESCAPE, &seen);
    EXPECT_EQ(L"", seen.texts[IDC_GENERAL_VERSION]);
    EXPECT_EQ(L"", seen.texts[IDC_GENERAL_LOCATION]);
    EXPECT_EQ(L"", seen.texts[IDC_GENERAL_STATUS]);
    EXPECT_EQ(L"Version: ", seen.texts[IDC_GENERAL_VERSION_LABEL]);
}

TEST_F(PropertiesDlgTest, EnterIsOkAndEscapeIsCancel)
{
    for (WPARAM vk : {VK_RETURN, VK_ESCAPE})
    {
        CCustomPropertiesDlg dlg;
        INT_PTR nResult = 0;
        Drive([&] { nResult = dlg.DoModal(m_hHost); }, vk);
        EXPECT_EQ(vk == VK_RETURN ? IDOK : IDCANCEL, nResult);
    }
}

TEST_F(PropertiesDlgTest, TwoHundredOpeningsLeakNoWindowGdiOrComObject)
{
    Register(true, L"C:\\cm.dll");
    auto openAndClose = [&] { Drive([&] { m_helper.InvokeCustomCommand(0, 0); }, VK_ESCAPE); };
    // The first openings fill what stays filled (the system's cache of device contexts):
    // open until the GDI count holds still, then a leak grows with every opening.
    DWORD dwSettled = GdiObjectCount();
    for (int i = 0, nSame = 0; i < 300 && nSame < 25; ++i)
    {
        openAndClose();
        const DWORD dwNow = GdiObjectCount();
        nSame = dwNow == dwSettled ? nSame + 1 : 0;
        dwSettled = dwNow;
    }
    const DWORD dwGdiBefore = GdiObjectCount();
    const int nWindowsBefore = ThreadWindowCount();
    const LONG lDmsBefore = StandIn_LiveObjects();
    long lAllocations = 0;
    {
        testing_support::AllocationSpy spy;
        for (int i = 0; i < 200; ++i)
            openAndClose();
        lAllocations = spy.Outstanding();
    }
    std::printf("GDI objects %lu -> %lu, windows %d -> %d over 200 openings\n",
                static_cast<unsigned long>(dwGdiBefore), static_cast<unsigned long>(GdiObjectCount()),
                nWindowsBefore, ThreadWindowCount());
    EXPECT_LE(GdiObjectCount(), dwGdiBefore + 2);
    EXPECT_EQ(nWindowsBefore, ThreadWindowCount());
    EXPECT_EQ(lDmsBefore, StandIn_LiveObjects());
    EXPECT_EQ(0, lAllocations);
}

}  // namespace

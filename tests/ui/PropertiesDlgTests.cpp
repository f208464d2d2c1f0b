// The properties dialog as a user meets it: opened by custom command 0 on the test thread
// while a second thread reads its texts from the windows and presses Enter or Escape. Needs a
// display (the suite runs inside Xvfb) and the option-store stand-in beside the test program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "DialogDriving.h"
#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "operations/PDDocProviderHelper.h"
#include "ui/UiResources.h"

namespace {

using namespace dialog_driving;

const wchar_t kProviderKey[] = L"SOFTWARE\\Corvane\\Options\\DocumentProviders\\Hummingbird DM/PowerDocs";

class PropertiesDlgTest : public ::testing::Test
{
protected:
    PropertiesDlgTest() : m_programLocation(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"ProgramLocation") {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        m_programLocation.SetString(testing_support::ProgramFolder());
        RegDeleteTreeW(HKEY_CURRENT_USER, kProviderKey);
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kProviderKey);
        CoUninitialize();
    }

    // Runs show on this thread while a second thread looks at the dialog, then presses vk where
    // the focus is, as a user's key press lands.
    static void Drive(const std::function<void()>& show, WPARAM vk, const std::function<void(HWND)>& look = {})
    {
        const DWORD dwThread = GetCurrentThreadId();
        DriveDialog(show, [&](HWND hDlg) {
            if (look)
                look(hDlg);
            GUITHREADINFO info = {};
            info.cbSize = sizeof(info);
            HWND hTarget = GetGUIThreadInfo(dwThread, &info) && info.hwndFocus ? info.hwndFocus : hDlg;
            PostMessageW(hTarget, WM_KEYDOWN, vk, 0);
            PostMessageW(hTarget, WM_KEYUP, vk, 0xC0000001);
        });
    }

    testing_support::ScopedRegValue m_programLocation;
    CPDDocProviderHelper m_helper;
};

// The General page shows the host's entries for the provider as its registration writes them,
// and the version of the module the dialog comes from; without the entries only the fixed texts.
TEST_F(PropertiesDlgTest, ShowsTheProviderAsTheHostRegisteredIt)
{
    HWND hHost = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(hHost != nullptr);
    // The entries (no file name: none), then the status and version shown.
    const struct { const wchar_t* pszFilename; DWORD dwEnabled; const wchar_t *pszStatus, *pszVersion; } rows[] = {
        {L"C:\\Program Files\\Corvane\\CmQuendrel.dll", 1, L"Enabled", L"4.3.2.1"},
        {L"D:\\cm.dll", 0, L"Disabled", L"4.3.2.1"},
        {nullptr, 0, L"", L""}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.pszStatus);
        RegDeleteTreeW(HKEY_CURRENT_USER, kProviderKey);
        if (row.pszFilename)
        {
            RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"Enabled", REG_DWORD, &row.dwEnabled, sizeof(DWORD));
            RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"Filename", REG_SZ, row.pszFilename,
                            static_cast<DWORD>((wcslen(row.pszFilename) + 1) * sizeof(wchar_t)));
        }
        HRESULT hr = E_ABORT;
        Drive([&] { hr = m_helper.InvokeCustomCommand(0, static_cast<long>(reinterpret_cast<INT_PTR>(hHost))); },
              VK_RETURN, [&](HWND hDlg) {
                  EXPECT_EQ(hHost, GetWindow(hDlg, GW_OWNER));
                  EXPECT_EQ(L"Hummingbird DM5 Properties ", Text(hDlg));
                  HWND hTabs = GetDlgItem(hDlg, IDC_PROPERTIES_TABS);
                  EXPECT_EQ(1, SendMessageW(hTabs, TCM_GETITEMCOUNT, 0, 0));
                  EXPECT_FALSE(Enabled(hDlg, IDC_PROPERTIES_APPLY));
                  HWND hPage = FindWindowExW(hTabs, nullptr, L"#32770", nullptr);
                  ASSERT_TRUE(hPage != nullptr);
                  EXPECT_NE(0, SendDlgItemMessageW(hPage, IDC_GENERAL_ICON, STM_GETICON, 0, 0));
                  EXPECT_EQ(L"Hummingbird DM5", Text(GetDlgItem(hPage, IDC_GENERAL_IDENTIFICATION)));
                  EXPECT_EQ(row.pszVersion, Text(GetDlgItem(hPage, IDC_GENERAL_VERSION)));
                  EXPECT_EQ(row.pszFilename ? row.pszFilename : L"", Text(GetDlgItem(hPage, IDC_GENERAL_LOCATION)));
                  EXPECT_EQ(row.pszStatus, Text(GetDlgItem(hPage, IDC_GENERAL_STATUS)));
              });
        EXPECT_EQ(S_OK, hr);
    }
    DestroyWindow(hHost);
}

TEST_F(PropertiesDlgTest, TwoHundredOpeningsLeakNoWindowGdiOrComObject)
{
    const DWORD dwEnabled = 1;
    RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"Enabled", REG_DWORD, &dwEnabled, sizeof(dwEnabled));
    ExpectNoLeaks([&] { Drive([&] { m_helper.InvokeCustomCommand(0, 0); }, VK_ESCAPE); }, StandIn_LiveObjects, 3);
}

}  // namespace

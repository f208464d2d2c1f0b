// The DMS stand-in's own promises that the provider's tests do not reach: call counts and
// times, and installation as a client. Everything else of it is tested through the provider.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "DmsStandInControl.h"
#include "DmsTypes.h"
#include "TestSupport.h"

namespace {

using testing_support::ScopedRegValue;
using DispatchPtr = _com_ptr_t<_com_IIID<IDispatch, &IID_IDispatch>>;

const wchar_t kClientKey[] = L"SOFTWARE\\Hummingbird\\PowerDOCS";
const wchar_t kShadowPathKey[] = L"SOFTWARE\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Fusion\\DOCSShadowPath";
const wchar_t kShadowDriveKey[] = L"SOFTWARE\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Fusion\\DOCSShadowDrive";
const wchar_t kSettingsKey[] = L"SOFTWARE\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Fusion\\Settings";
const DWORD kAllServerContexts = 0x17;  // in-process server and handler, local and remote server

std::wstring ReadRegString(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszName)
{
    wchar_t sz[MAX_PATH * 2] = {};
    DWORD cb = sizeof(sz);
    if (RegGetValueW(hRoot, pszKey, pszName, RRF_RT_REG_SZ, nullptr, sz, &cb) != ERROR_SUCCESS)
        return L"<missing>";
    return sz;
}

std::wstring ToString(BSTR bstr)
{
    std::wstring s = bstr ? bstr : L"";
    SysFreeString(bstr);
    return s;
}

IApplicationPtr CreateApplication()
{
    IApplicationPtr spApp;
    DmsCheck(CoCreateInstance(CLSID_Application, nullptr, kAllServerContexts, IID_IApplication,
                              reinterpret_cast<void**>(&spApp)));
    return spApp;
}

IProfilePtr OpenProfile(const wchar_t* pszLibrary, LONG lNumber)
{
    ILibrariesPtr spLibraries;
    DmsCheck(CreateApplication()->get_Libraries(&spLibraries));
    ILibraryPtr spLibrary;
    DmsCheck(spLibraries->get_Item(_variant_t(pszLibrary), &spLibrary));
    IProfilePtr spProfile;
    DmsCheck(spLibrary->GetProfile(_variant_t(lNumber), &spProfile));
    return spProfile;
}

template <class Ptr>
LONG ErrorNumber(const Ptr& sp)
{
    IDMErrorPtr spError(sp);
    LONG lError = -1;
    DmsCheck(spError->get_ErrorNumber(&lError));
    return lError;
}

HRESULT CallStandInDllCanUnloadNow()
{
    auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"DmsStandIn.dll"), "DllCanUnloadNow")));
    return pfn ? pfn() : E_UNEXPECTED;
}

// Installs the stand-in as a DM 5 client over an empty catalog with library LIB (document
// "Budget plan": versions 1, 2, sub-version 2A and attachment PDF) and
// library OTHER; the client's registry values are put back afterwards.
class DmsStandIn : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // COM's list of loaded servers starts and ends empty around each test: CmQuendrel.dll
        // frees unused COM servers from its own process detach, and Wine's unloading loop
        // fails when that frees a server listed after it (the stand-in, loaded later).
        CoFreeUnusedLibrariesEx(0, 0);
        StandIn_SetProcessUser(nullptr);
        StandIn_ClearFaults();
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        ASSERT_EQ(S_OK, StandIn_Reset());
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"OTHER"));
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Budget plan", L"MS WORD", "one", 3, &m_lBudget));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lBudget, L"2", "two", 3, L"Second draft"));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lBudget, L"2A", "two A", 5, L"Reviewed"));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lBudget, L"PDF", "%PDF", 4, L"Printed"));
    }

    void TearDown() override
    {
        StandIn_ClearFaults();
        StandIn_SetProcessUser(nullptr);
        StandIn_ScriptForms(nullptr);
        EXPECT_EQ(0, StandIn_LiveObjects()) << "a stand-in object outlived the test";
        EXPECT_EQ(S_OK, CallStandInDllCanUnloadNow()) << "a lock on the stand-in outlived the test";
        CoFreeUnusedLibrariesEx(0, 0);
    }

    ScopedRegValue m_installPath{HKEY_LOCAL_MACHINE, kClientKey, L"InstallPath"};
    ScopedRegValue m_currentVersion{HKEY_LOCAL_MACHINE, kClientKey, L"CurrentVersion"};
    ScopedRegValue m_shadowPath{HKEY_CURRENT_USER, kShadowPathKey, L"Drive"};
    ScopedRegValue m_shadowDrive{HKEY_LOCAL_MACHINE, kShadowDriveKey, L"Drive"};
    ScopedRegValue m_localPath{HKEY_CURRENT_USER, kSettingsKey, L"LocalPath"};
    LONG m_lBudget = 0;
};

// What a benchmark reads to tell the DMS's share of an operation: calls by method, creations
// and error reads included, and the time spent inside them, both cleared with the faults.
TEST_F(DmsStandIn, CountsAndTimesEachCallUntilCleared)
{
    StandIn_ClearFaults();
    EXPECT_EQ(0.0, StandIn_DmsSeconds());
    BSTR bstrEmpty = StandIn_CallStatistics();
    EXPECT_EQ(L"", ToString(bstrEmpty));

    IProfilePtr spProfile = OpenProfile(L"LIB", m_lBudget);
    const double dAfterLookup = StandIn_DmsSeconds();
    EXPECT_GT(dAfterLookup, 0.0);
    IVersionsPtr spVersions;
    DmsCheck(spProfile->get_Versions(&spVersions));
    IVersionPtr spVersion;
    DmsCheck(spVersions->get_Item(_variant_t(L"2"), &spVersion));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", E_FAIL, 11, 1, FALSE));
    DmsCheck(spVersion->Fetch(0));
    // Reading the error state counts as a call and leaves the state as it was.
    EXPECT_EQ(11, ErrorNumber(spVersion));
    EXPECT_EQ(11, ErrorNumber(spVersion));
    EXPECT_GT(StandIn_DmsSeconds(), dAfterLookup);

    BSTR bstrStatistics = StandIn_CallStatistics();
    const std::wstring statistics = ToString(bstrStatistics);
    std::map<std::wstring, LONG> calls;
    double dSum = 0;
    std::wistringstream lines(statistics);
    std::wstring method;
    LONG lCalls = 0;
    double dSeconds = 0;
    while (std::getline(lines, method, L'\t') && lines >> lCalls >> dSeconds)
    {
        lines.ignore(1);
        calls[method] = lCalls;
        dSum += dSeconds;
        EXPECT_GE(dSeconds, 0.0) << std::string(method.begin(), method.end());
    }
    const std::map<std::wstring, LONG> expected = {
        {L"CoCreateInstance(Application)", 1}, {L"IApplication::Libraries", 1}, {L"ILibraries::Item", 1},
        {L"ILibrary::GetProfile", 1},          {L"IProfile::Versions", 1},      {L"IVersions::Item", 1},
        {L"IVersion::Fetch", 1},               {L"IDMError::ErrorNumber", 2}};
    EXPECT_EQ(expected, calls) << std::string(statistics.begin(), statistics.end());
    EXPECT_EQ(9, StandIn_TotalCalls());
    EXPECT_EQ(1, StandIn_CallCount(L"CoCreateInstance(Application)"));
    EXPECT_NEAR(StandIn_DmsSeconds(), dSum, 1e-6 * static_cast<double>(calls.size()));

    StandIn_ClearFaults();
    EXPECT_EQ(0.0, StandIn_DmsSeconds());
    EXPECT_EQ(0, StandIn_TotalCalls());
    BSTR bstrCleared = StandIn_CallStatistics();
    EXPECT_EQ(L"", ToString(bstrCleared));
}

TEST_F(DmsStandIn, InstallsAsAClientAndRegistersThroughRegsvr32)
{
    const std::wstring strPlugin = ReadRegString(HKEY_LOCAL_MACHINE, kClientKey, L"InstallPath") + L"\\FsPlugin.dll";
    EXPECT_EQ(L"5.3", ReadRegString(HKEY_LOCAL_MACHINE, kClientKey, L"CurrentVersion"));
    DWORD dwHandle = 0;
    const DWORD cbInfo = GetFileVersionInfoSizeW(strPlugin.c_str(), &dwHandle);
    ASSERT_NE(0u, cbInfo) << "no version resource in " << strPlugin;
    std::unique_ptr<BYTE[]> info(new BYTE[cbInfo]);
    ASSERT_TRUE(GetFileVersionInfoW(strPlugin.c_str(), 0, cbInfo, info.get()));
    for (const wchar_t* pszKey :
         {L"\\StringFileInfo\\040904B0\\ProductName", L"\\StringFileInfo\\040904B0\\ProductVersion"})
    {
        void* pValue = nullptr;
        UINT cch = 0;
        EXPECT_TRUE(VerQueryValueW(info.get(), pszKey, &pValue, &cch) && cch > 1) << pszKey;
    }

    const std::wstring strModule = testing_support::ProgramFolder() + L"\\DmsStandIn.dll";
    const wchar_t kClsidKey[] = L"CLSID\\{1CF0DE77-8CAE-11D1-82A2-0060083F9B01}\\InprocServer32";
    ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s /u \"" + strModule + L"\""));
    EXPECT_EQ(L"<missing>", ReadRegString(HKEY_CLASSES_ROOT, kClsidKey, nullptr));
    IApplicationPtr spApp;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, spApp.CreateInstance(CLSID_Application, nullptr, kAllServerContexts));

    ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s \"" + strModule + L"\""));
    EXPECT_EQ(0, _wcsicmp(strModule.c_str(), ReadRegString(HKEY_CLASSES_ROOT, kClsidKey, nullptr).c_str()));
    EXPECT_EQ(L"Apartment", ReadRegString(HKEY_CLASSES_ROOT, kClsidKey, L"ThreadingModel"));
    for (const wchar_t* pszClass : {L"CLSID\\{1CF0DE85-8CAE-11D1-82A2-0060083F9B01}\\InprocServer32",
                                    L"CLSID\\{F372BD86-DF45-11D1-91FC-0060083F9B01}\\InprocServer32",
                                    L"CLSID\\{5C8B2042-55C0-11D1-BE36-00A02479BD73}\\InprocServer32"})
        EXPECT_EQ(0, _wcsicmp(strModule.c_str(), ReadRegString(HKEY_CLASSES_ROOT, pszClass, nullptr).c_str()));
    EXPECT_EQ(S_OK, spApp.CreateInstance(CLSID_Application, nullptr, kAllServerContexts));
}

}  // namespace

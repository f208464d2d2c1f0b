// The DMS stand-in's own promises that the provider's tests do not reach (yet): locks seen
// between two processes, call counts and times, sub-versions and attachments, history, and
// installation as a client. Everything else of it is tested through the provider.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "DmsStandInControl.h"
#include "DmsTypes.h"
#include "TestSupport.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

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

IVersionPtr OpenVersion(const wchar_t* pszLibrary, LONG lNumber, const wchar_t* pszLabel)
{
    IVersionsPtr spVersions;
    DmsCheck(OpenProfile(pszLibrary, lNumber)->get_Versions(&spVersions));
    IVersionPtr spVersion;
    DmsCheck(spVersions->get_Item(_variant_t(pszLabel), &spVersion));
    return spVersion;
}

_variant_t ColumnValue(const IProfilePtr& spProfile, const wchar_t* pszColumn)
{
    IColumnsPtr spColumns;
    DmsCheck(spProfile->get_Columns(&spColumns));
    IColumnPtr spColumn;
    DmsCheck(spColumns->get_Item(_variant_t(pszColumn), &spColumn));
    _variant_t vValue;
    DmsCheck(spColumn->get_Value(&vValue));
    return vValue;
}

LONG CheckLocked(const IProfilePtr& spProfile)
{
    return static_cast<LONG>(ColumnValue(spProfile, L"%CheckLocked"));
}

// Element 4 of "%GetProfileLockInfo", or a marker when the value is not such an array.
std::wstring LockOwner(const IProfilePtr& spProfile)
{
    _variant_t vInfo = ColumnValue(spProfile, L"%GetProfileLockInfo");
    if (V_VT(&vInfo) != (VT_ARRAY | VT_BSTR) || SafeArrayGetDim(V_ARRAY(&vInfo)) != 1)
        return L"<not a one-dimensional string array>";
    LONG lLower = 0, lUpper = 0;
    SafeArrayGetLBound(V_ARRAY(&vInfo), 1, &lLower);
    SafeArrayGetUBound(V_ARRAY(&vInfo), 1, &lUpper);
    if (lUpper - lLower + 1 < 5)
        return L"<fewer than five elements>";
    BSTR bstrOwner = nullptr;
    LONG lIndex = lLower + 4;
    SafeArrayGetElement(V_ARRAY(&vInfo), &lIndex, &bstrOwner);
    return ToString(bstrOwner);
}

std::wstring Label(const IVersionPtr& spVersion)
{
    BSTR bstr = nullptr;
    DmsCheck(spVersion->get_Label(&bstr));
    return ToString(bstr);
}

std::wstring FilePath(const IVersionPtr& spVersion)
{
    BSTR bstr = nullptr;
    DmsCheck(spVersion->get_FilePath(&bstr));
    return ToString(bstr);
}

template <class Ptr>
LONG ErrorNumber(const Ptr& sp)
{
    IDMErrorPtr spError(sp);
    LONG lError = -1;
    DmsCheck(spError->get_ErrorNumber(&lError));
    return lError;
}

std::wstring ServerFile(const wchar_t* pszLibrary, LONG lNumber, const wchar_t* pszLabel)
{
    wchar_t sz[MAX_PATH] = {};
    return SUCCEEDED(StandIn_ServerFilePath(pszLibrary, lNumber, pszLabel, sz, MAX_PATH)) ? sz : L"<none>";
}

// Runs dmsadmin.exe with the given arguments as another DMS user; returns its exit code.
int RunAdminAs(const wchar_t* pszUser, const std::wstring& strArguments)
{
    SetEnvironmentVariableW(L"DMS_STANDIN_USER", pszUser);
    const int rc = testing_support::RunProgram(L"\"" + testing_support::ProgramFolder() + L"\\dmsadmin.exe\" " +
                                               strArguments);
    SetEnvironmentVariableW(L"DMS_STANDIN_USER", nullptr);
    return rc;
}

HRESULT CallStandInDllCanUnloadNow()
{
    auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"DmsStandIn.dll"), "DllCanUnloadNow")));
    return pfn ? pfn() : E_UNEXPECTED;
}

// Installs the stand-in as a DM 5 client over an empty catalog with library LIB (document
// "Budget plan": versions 1, 2, sub-version 2A and attachment PDF; document "Notes") and
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
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Notes", L"TEXT", "notes", 5, &m_lNotes));
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
    LONG m_lNotes = 0;
};

TEST_F(DmsStandIn, TwoProcessesAsTwoUsersSeeEachOthersLocks)
{
    const std::wstring strBudget = L"LIB " + std::to_wstring(m_lBudget);
    const std::wstring strNotes = L"LIB " + std::to_wstring(m_lNotes);

    // Another user checks the budget out in a process of its own.
    ASSERT_EQ(0, RunAdminAs(L"OTHER", L"checkout " + strBudget));
    IProfilePtr spBudget = OpenProfile(L"LIB", m_lBudget);
    EXPECT_EQ(1, CheckLocked(spBudget));
    EXPECT_EQ(L"OTHER", LockOwner(spBudget));
    EXPECT_EQ(2, RunAdminAs(L"OTHER", L"lockstate " + strBudget));

    // This user can neither take nor lock nor unlock it.
    IVersionPtr spVersion = OpenVersion(L"LIB", m_lBudget, L"2");
    short nStatus = -1;
    DmsCheck(spBudget->SelectForEdit(0x23, &nStatus));
    EXPECT_EQ(0, nStatus);
    DmsCheck(spVersion->LockVersionForEdit(3, &nStatus));
    EXPECT_EQ(0, nStatus);
    EXPECT_EQ(4, ErrorNumber(spVersion));
    DmsCheck(spVersion->UnlockVersion(3, &nStatus));
    EXPECT_EQ(0, nStatus);
    EXPECT_EQ(9, ErrorNumber(spVersion));
    EXPECT_EQ(1, CheckLocked(spBudget));

    // This user's lock on the notes is seen by the other process the other way round.
    IProfilePtr spNotes = OpenProfile(L"LIB", m_lNotes);
    DmsCheck(OpenVersion(L"LIB", m_lNotes, L"1")->LockVersionForEdit(3, &nStatus));
    EXPECT_EQ(1, nStatus);
    EXPECT_EQ(2, CheckLocked(spNotes));
    EXPECT_EQ(L"DEMO", LockOwner(spNotes));
    EXPECT_EQ(1, RunAdminAs(L"OTHER", L"lockstate " + strNotes));

    ASSERT_EQ(0, RunAdminAs(L"OTHER", L"checkin " + strBudget));
    EXPECT_EQ(0, CheckLocked(spBudget));
    EXPECT_EQ(L"", LockOwner(spBudget));
}

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

TEST_F(DmsStandIn, NewVersionsSubversionsAndAttachmentsFollowTheirSource)
{
    IVersionPtr spTwo = OpenVersion(L"LIB", m_lBudget, L"2");
    IVersionPtr spThree;
    DmsCheck(spTwo->NewVersion(3, _bstr_t(L"Third"), _variant_t(L"AUTHOR"), _variant_t(L"TYPIST"), 10, 10, &spThree));
    EXPECT_EQ(L"3", Label(spThree));
    EXPECT_EQ("", ReadFileBytes(ServerFile(L"LIB", m_lBudget, L"3"))) << "a new version's content comes by upload";
    BSTR bstr = nullptr;
    DmsCheck(spThree->get_Comment(&bstr));
    EXPECT_EQ(L"Third", ToString(bstr));
    DmsCheck(spThree->get_Author(&bstr));
    EXPECT_EQ(L"AUTHOR", ToString(bstr));

    IVersionPtr spSub;
    DmsCheck(spTwo->NewSubversion(3, _bstr_t(L""), _variant_t(), _variant_t(), 10, 10, &spSub));
    EXPECT_EQ(L"2B", Label(spSub)) << "2A exists already";

    // A version whose permission is withdrawn refuses, with the rights error.
    ASSERT_EQ(S_OK, StandIn_SetVersionRights(L"LIB", m_lBudget, L"1", FALSE, TRUE));
    IVersionPtr spOne = OpenVersion(L"LIB", m_lBudget, L"1");
    VARIANT_BOOL bCan = VARIANT_TRUE;
    DmsCheck(spOne->get_CanNewVersion(&bCan));
    EXPECT_EQ(VARIANT_FALSE, bCan);
    IVersionPtr spRefused;
    EXPECT_EQ(E_ACCESSDENIED, spOne->NewVersion(3, _bstr_t(L""), _variant_t(), _variant_t(), 10, 10, &spRefused));
    EXPECT_EQ(4, ErrorNumber(spOne));

    // Attachments: a label taken answers S_FALSE; a new label makes an attachment from the file.
    IProfilePtr spProfile = OpenProfile(L"LIB", m_lBudget);
    IVersionPtr spAttachment;
    EXPECT_EQ(S_FALSE, spProfile->NewAttachment(3, _bstr_t(L""), _variant_t(), _variant_t(), _variant_t(L"pdf"),
                                                _variant_t(L""), &spAttachment));
    EXPECT_FALSE(spAttachment);
    const std::wstring strSource = FilePath(spTwo) + L".source";
    ASSERT_TRUE(WriteFileBytes(strSource, "attached text"));
    DmsCheck(spProfile->NewAttachment(3, _bstr_t(strSource.c_str()), _variant_t(), _variant_t(), _variant_t(L"TXT"),
                                      _variant_t(L""), &spAttachment));
    DeleteFileW(strSource.c_str());
    ASSERT_TRUE(spAttachment);
    EXPECT_EQ(L"TXT", Label(spAttachment));
    EXPECT_EQ("attached text", ReadFileBytes(ServerFile(L"LIB", m_lBudget, L"TXT")));

    // Deleting an attachment removes only that version.
    DmsCheck(spAttachment->Delete());
    IVersionsPtr spVersions;
    DmsCheck(spProfile->get_Versions(&spVersions));
    LONG lCount = 0;
    DmsCheck(spVersions->get_Count(&lCount));
    EXPECT_EQ(6, lCount);
}

TEST_F(DmsStandIn, HistoryEventsAreRecordedPerProfile)
{
    IHistoryEventPtr spEvent;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_HistoryEvent, nullptr, kAllServerContexts, IID_IHistoryEvent,
                                     reinterpret_cast<void**>(&spEvent)));
    DmsCheck(spEvent->put_Number1(3));
    DmsCheck(spEvent->put_Number2(4));
    DmsCheck(spEvent->put_Text(_variant_t(L"from the host")));
    DmsCheck(spEvent->put_UserName(_variant_t(L"DEMO")));
    IProfilePtr spProfile = OpenProfile(L"LIB", m_lBudget);
    DmsCheck(spProfile->AddHistory(_variant_t(L"Launch document"), spEvent));

    LONG lCount = 0;
    DmsCheck(spProfile->get_HistoryCount(&lCount));
    ASSERT_EQ(1, lCount);
    BSTR bstrEntry = nullptr;
    DmsCheck(OpenProfile(L"LIB", m_lBudget)->GetHistoryEntry(1, &bstrEntry));
    EXPECT_EQ(L"Launch document\tfrom the host\t3\t4\tDEMO", ToString(bstrEntry));
    EXPECT_EQ(DISP_E_BADINDEX, spProfile->GetHistoryEntry(2, &bstrEntry));
    DmsCheck(OpenProfile(L"LIB", m_lNotes)->get_HistoryCount(&lCount));
    EXPECT_EQ(0, lCount);
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

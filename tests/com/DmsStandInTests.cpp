// The DMS client stand-in as the provider reaches it: COM creation, the library / profile /
// version walk, cache files in both client forms, locks between two processes, scripted forms,
// history, session state, injected faults, IDispatch and marshalling, and installation.
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

std::string ReadFileBytes(const std::wstring& strPath)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content(GetFileSize(hFile, nullptr), '\0');
    DWORD cbRead = 0;
    ReadFile(hFile, &content[0], static_cast<DWORD>(content.size()), &cbRead, nullptr);
    CloseHandle(hFile);
    content.resize(cbRead);
    return content;
}

void WriteFileBytes(const std::wstring& strPath, const std::string& content)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD cbWritten = 0;
    WriteFile(hFile, content.data(), static_cast<DWORD>(content.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
}

// Gives strPath a last-write time one minute after that of strReference.
void SetWriteTimeLater(const std::wstring& strPath, const std::wstring& strReference)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(strReference.c_str(), GetFileExInfoStandard, &data));
    ULARGE_INTEGER time;
    time.LowPart = data.ftLastWriteTime.dwLowDateTime;
    time.HighPart = data.ftLastWriteTime.dwHighDateTime;
    time.QuadPart += 60ULL * 10000000ULL;
    FILETIME ft = {time.LowPart, time.HighPart};
    HANDLE hFile = CreateFileW(strPath.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    EXPECT_TRUE(SetFileTime(hFile, nullptr, nullptr, &ft));
    CloseHandle(hFile);
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

// A stream holding a marshalled application, and the user name read through it.
struct MarshalWork
{
    IStream* pStream;
    std::wstring strUser;
};

// Thread of its own apartment: unmarshals the application, reads the user name, releases all.
DWORD WINAPI UseParkedApplication(LPVOID pv)
{
    auto* pWork = static_cast<MarshalWork*>(pv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        DispatchPtr spRemote;
        if (SUCCEEDED(
                CoGetInterfaceAndReleaseStream(pWork->pStream, IID_IDispatch, reinterpret_cast<void**>(&spRemote))))
        {
            IApplicationPtr spApp(spRemote);
            BSTR bstrUser = nullptr;
            if (spApp && SUCCEEDED(spApp->get_UserName(&bstrUser)))
                pWork->strUser = ToString(bstrUser);
        }
    }
    CoUninitialize();
    return 0;
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

TEST_F(DmsStandIn, WalksFromTheApplicationClassToLibraryProfileAndVersion)
{
    IApplicationPtr spApp = CreateApplication();
    ILibrariesPtr spLibraries;
    DmsCheck(spApp->get_Libraries(&spLibraries));
    LONG lCount = 0;
    DmsCheck(spLibraries->get_Count(&lCount));
    EXPECT_EQ(2, lCount);

    // Library names are found in any letter case and keep their stored spelling.
    ILibraryPtr spLibrary;
    DmsCheck(spLibraries->get_Item(_variant_t(L"lib"), &spLibrary));
    BSTR bstrName = nullptr;
    DmsCheck(spLibrary->get_Name(&bstrName));
    EXPECT_EQ(L"LIB", ToString(bstrName));

    IProfilePtr spProfile;
    DmsCheck(spLibrary->GetProfile(_variant_t(m_lBudget), &spProfile));
    LONG lNumber = 0;
    DmsCheck(spProfile->get_DocNumber(&lNumber));
    EXPECT_EQ(m_lBudget, lNumber);
    EXPECT_EQ(L"Budget plan", std::wstring(_bstr_t(ColumnValue(spProfile, L"DOCNAME"))));
    EXPECT_EQ(L"MS WORD", std::wstring(_bstr_t(ColumnValue(spProfile, L"APP_ID"))));
    EXPECT_EQ(0, CheckLocked(spProfile));

    // The versions collection keeps creation order; attachments are part of it.
    IVersionsPtr spVersions;
    DmsCheck(spProfile->get_Versions(&spVersions));
    DmsCheck(spVersions->get_Count(&lCount));
    ASSERT_EQ(4, lCount);
    std::wstring strLabels;
    for (LONG i = 1; i <= lCount; ++i)
    {
        IVersionPtr spVersion;
        DmsCheck(spVersions->get_Item(_variant_t(i), &spVersion));
        strLabels += Label(spVersion) + L" ";
    }
    EXPECT_EQ(L"1 2 2A PDF ", strLabels);

    IVersionPtr spCurrent;
    DmsCheck(spProfile->get_CurrentVersion(&spCurrent));
    EXPECT_EQ(L"2A", Label(spCurrent));

    // A version leads back to its profile and library.
    IProfilePtr spBack;
    DmsCheck(spCurrent->GetProfile(&spBack));
    ILibraryPtr spBackLibrary;
    DmsCheck(spBack->get_Library(&spBackLibrary));
    DmsCheck(spBackLibrary->get_Name(&bstrName));
    EXPECT_EQ(L"LIB", ToString(bstrName));

    // Lookups that find nothing fail, and the object says why.
    ILibraryPtr spMissingLibrary;
    EXPECT_EQ(DISP_E_BADINDEX, spLibraries->get_Item(_variant_t(L"NOLIB"), &spMissingLibrary));
    IProfilePtr spMissingProfile;
    EXPECT_EQ(DISP_E_BADINDEX, spLibrary->GetProfile(_variant_t(99999L), &spMissingProfile));
    EXPECT_EQ(3, ErrorNumber(spLibrary));
    IVersionPtr spMissingVersion;
    EXPECT_EQ(DISP_E_BADINDEX, spVersions->get_Item(_variant_t(L"7"), &spMissingVersion));
    EXPECT_FALSE(spMissingLibrary || spMissingProfile || spMissingVersion);
}

TEST_F(DmsStandIn, Dm5FetchWritesTheShadowFileThatTheCachePatternResolves)
{
    IVersionPtr spVersion = OpenVersion(L"LIB", m_lBudget, L"2");
    const std::wstring strNumber = std::to_wstring(m_lBudget);
    const std::wstring strShadow = ReadRegString(HKEY_CURRENT_USER, kShadowPathKey, L"Drive");
    const std::wstring strPath = FilePath(spVersion);
    EXPECT_EQ(strShadow + L"\\LIB-#" + strNumber + L"-v2-Budget_plan.doc", strPath);

    DmsCheck(spVersion->Fetch(0));
    EXPECT_EQ(0, ErrorNumber(spVersion));
    EXPECT_EQ("two", ReadFileBytes(strPath));

    // The file name gives library, number and label back through the client's name pattern.
    std::wsmatch match;
    const std::wstring strName = strPath.substr(strPath.find_last_of(L'\\') + 1);
    ASSERT_TRUE(std::regex_match(strName, match, std::wregex(L"^(.*?)-#(.*?)-v(.*?)-.*$", std::regex::icase)));
    EXPECT_EQ(L"LIB", match[1].str());
    EXPECT_EQ(strNumber, match[2].str());
    EXPECT_EQ(L"2", match[3].str());
    EXPECT_EQ(strShadow + L"\\LIB-#" + strNumber + L"-vPDF-Budget_plan.pdf",
              FilePath(OpenVersion(L"LIB", m_lBudget, L"PDF")));

    // An edit of the cache copy survives the next fetch and reaches the server by upload.
    WriteFileBytes(strPath, "two, edited");
    DmsCheck(spVersion->Fetch(0));
    EXPECT_EQ("two, edited", ReadFileBytes(strPath));
    EXPECT_EQ("two", ReadFileBytes(ServerFile(L"LIB", m_lBudget, L"2")));
    DmsCheck(spVersion->UploadFile(0));
    EXPECT_EQ("two, edited", ReadFileBytes(ServerFile(L"LIB", m_lBudget, L"2")));

    // Newer server content (another user's upload) replaces a cache copy left unchanged.
    const std::wstring strServer = ServerFile(L"LIB", m_lBudget, L"2");
    WriteFileBytes(strServer, "two, from elsewhere");
    SetWriteTimeLater(strServer, strPath);
    DmsCheck(spVersion->Fetch(0));
    EXPECT_EQ("two, from elsewhere", ReadFileBytes(strPath));
}

TEST_F(DmsStandIn, Dm6ClientCachesInTheUncFolderFormAndSwitchesBack)
{
    ASSERT_EQ(S_OK, StandIn_Install(L"6.0"));
    IVersionPtr spVersion = OpenVersion(L"LIB", m_lBudget, L"2");
    const std::wstring strNumber = std::to_wstring(m_lBudget);
    const std::wstring strPath = FilePath(spVersion);
    EXPECT_EQ(L"\\\\dmsserver\\cache\\DMNFSL1\\LIB\\" + strNumber + L"\\2\\Budget plan.doc", strPath);
    BSTR bstrVersion = nullptr;
    DmsCheck(CreateApplication()->get_Version(&bstrVersion));
    EXPECT_EQ(L"6.0", ToString(bstrVersion));

    DmsCheck(spVersion->Fetch(0));
    EXPECT_EQ(0, ErrorNumber(spVersion));
    EXPECT_EQ("two", ReadFileBytes(strPath));
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(strPath, match,
                                 std::wregex(L"^\\\\\\\\.*?\\\\DMNFSL1\\\\(.*?)\\\\(.*?)\\\\(.*?)\\\\.*$",
                                             std::regex::icase)));
    EXPECT_EQ(L"LIB", match[1].str());
    EXPECT_EQ(strNumber, match[2].str());
    EXPECT_EQ(L"2", match[3].str());

    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kShadowPathKey, L"Drive") + L"\\LIB-#" + strNumber +
                  L"-v2-Budget_plan.doc",
              FilePath(spVersion));
}

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

TEST_F(DmsStandIn, CheckInWithoutFlagsKeepsTheDocumentUntilItsProfileIsReleased)
{
    IProfilePtr spProfile = OpenProfile(L"LIB", m_lBudget);
    IVersionPtr spVersion = OpenVersion(L"LIB", m_lBudget, L"2");
    short nStatus = 0;
    DmsCheck(spVersion->LockVersionForEdit(3, &nStatus));
    ASSERT_EQ(1, nStatus);
    DmsCheck(spVersion->LockVersionForEdit(0, &nStatus));
    EXPECT_EQ(1, nStatus) << "the lock holder may lock again";
    DmsCheck(spVersion->UnlockVersion(0, &nStatus));
    EXPECT_EQ(1, nStatus);
    EXPECT_EQ(2, CheckLocked(spProfile));
    DmsCheck(spProfile->ReleaseDoc());
    EXPECT_EQ(0, CheckLocked(spProfile));

    DmsCheck(spVersion->LockVersionForEdit(0, &nStatus));
    DmsCheck(spVersion->UnlockVersion(3, &nStatus));
    EXPECT_EQ(1, nStatus);
    EXPECT_EQ(0, CheckLocked(spProfile));
}

TEST_F(DmsStandIn, InjectedFaultsRaiseThroughTheSmartPointers)
{
    IVersionPtr spVersion = OpenVersion(L"LIB", m_lBudget, L"2");
    const HRESULT hrDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

    // Once: the next call fails, the one after succeeds.
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", hrDenied, 0, 1, FALSE));
    try
    {
        DmsCheck(spVersion->Fetch(0));
        ADD_FAILURE() << "the injected failure was not raised";
    }
    catch (const _com_error& e)
    {
        EXPECT_EQ(hrDenied, e.Error());
    }
    EXPECT_NO_THROW(DmsCheck(spVersion->Fetch(0)));

    // At the Nth call only, and always from the Nth call on.
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"ILibraries::Item", E_FAIL, 0, 2, FALSE));
    EXPECT_NO_THROW(OpenProfile(L"LIB", m_lBudget));
    EXPECT_THROW(OpenProfile(L"LIB", m_lBudget), _com_error);
    EXPECT_NO_THROW(OpenProfile(L"LIB", m_lBudget));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IProfile::Columns", E_OUTOFMEMORY, 0, 1, TRUE));
    IProfilePtr spProfile = OpenProfile(L"LIB", m_lBudget);
    EXPECT_THROW(CheckLocked(spProfile), _com_error);
    EXPECT_THROW(CheckLocked(spProfile), _com_error);
    EXPECT_EQ(2, StandIn_CallCount(L"IProfile::Columns"));

    // A DMS error number instead of a failure: the call succeeds without doing its work, and
    // the retry does it.
    DeleteFileW(FilePath(spVersion).c_str());
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", E_FAIL, 11, 1, FALSE));
    DmsCheck(spVersion->Fetch(0));
    EXPECT_EQ(11, ErrorNumber(spVersion));
    EXPECT_EQ("<missing>", ReadFileBytes(FilePath(spVersion)));
    DmsCheck(spVersion->Fetch(0));
    EXPECT_EQ(0, ErrorNumber(spVersion));
    EXPECT_EQ("two", ReadFileBytes(FilePath(spVersion)));

    StandIn_ClearFaults();
    EXPECT_NO_THROW(CheckLocked(spProfile));
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::Fetch"));
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

TEST_F(DmsStandIn, SelectionFormAndVersionChooserAnswerFromTheScriptInOrder)
{
    ISelectFormPtr spForm;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SelectForm, nullptr, kAllServerContexts, IID_ISelectForm,
                                     reinterpret_cast<void**>(&spForm)));
    short nStatus = -1;
    DmsCheck(spForm->Show(1, &nStatus));
    EXPECT_EQ(0, nStatus) << "without a script every form is cancelled";
    EXPECT_EQ(1, ErrorNumber(spForm));

    const std::wstring strScript = L"select PowerDocs://lib/" + std::to_wstring(m_lBudget) +
                                   L"/2\nversion 2\nstatus 7\ncancel\n";
    ASSERT_EQ(S_OK, StandIn_ScriptForms(strScript.c_str()));
    EXPECT_EQ(4, StandIn_PendingFormAnswers());

    DmsCheck(spForm->Show(1, &nStatus));
    EXPECT_EQ(1, nStatus);
    IChosenProfilesPtr spChosen;
    DmsCheck(spForm->get_Profiles(&spChosen));
    IProfilePtr spProfile;
    DmsCheck(spChosen->get_Item(_variant_t(1L), &spProfile));
    LONG lNumber = 0;
    DmsCheck(spProfile->get_DocNumber(&lNumber));
    EXPECT_EQ(m_lBudget, lNumber);
    IVersionPtr spChosenVersion;
    DmsCheck(spProfile->ChooseVersion(0, _bstr_t(L"Choose version"), &spChosenVersion));
    ASSERT_TRUE(spChosenVersion);
    EXPECT_EQ(L"2", Label(spChosenVersion));

    DmsCheck(spForm->Show(1, &nStatus));
    EXPECT_EQ(7, nStatus);
    DmsCheck(spForm->Show(1, &nStatus));
    EXPECT_EQ(0, nStatus);
    EXPECT_EQ(0, StandIn_PendingFormAnswers());
    IVersionPtr spNone;
    DmsCheck(spProfile->ChooseVersion(0, _bstr_t(L"Choose version"), &spNone));
    EXPECT_FALSE(spNone);
}

TEST_F(DmsStandIn, ProfileFormsStoreNewDocumentsOnlyWhenConfirmed)
{
    ILibrariesPtr spLibraries;
    DmsCheck(CreateApplication()->get_Libraries(&spLibraries));
    ILibraryPtr spLibrary;
    DmsCheck(spLibraries->get_Item(_variant_t(L"LIB"), &spLibrary));
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"cancel\nok\nok\nok Projects\nok"));

    // The plain new profile: not stored while the form is cancelled, stored with version 1
    // when it is confirmed.
    IProfilePtr spNew;
    DmsCheck(spLibrary->NewProfile(0xF0, _variant_t(L"TEXT"), &spNew));
    IColumnsPtr spColumns;
    DmsCheck(spNew->get_Columns(&spColumns));
    IColumnPtr spName;
    DmsCheck(spColumns->get_Item(_variant_t(L"DOCNAME"), &spName));
    DmsCheck(spName->put_Value(_variant_t(L"Minutes")));
    VARIANT_BOOL bOK = VARIANT_TRUE;
    DmsCheck(spNew->FinishForm(1, &bOK));
    EXPECT_EQ(VARIANT_FALSE, bOK);
    LONG lProfiles = 0;
    DmsCheck(spLibrary->get_ProfileCount(&lProfiles));
    EXPECT_EQ(2, lProfiles);
    DmsCheck(spNew->FinishForm(1, &bOK));
    EXPECT_EQ(VARIANT_TRUE, bOK);
    LONG lNumber = 0;
    DmsCheck(spNew->get_DocNumber(&lNumber));
    EXPECT_EQ(L"Minutes", std::wstring(_bstr_t(ColumnValue(OpenProfile(L"LIB", lNumber), L"DOCNAME"))));
    IVersionPtr spFirst;
    DmsCheck(spNew->get_CurrentVersion(&spFirst));
    EXPECT_EQ(L"1", Label(spFirst));

    // The DM 5 form stores the profile from its fields when it is confirmed.
    IDM5LibraryFormsPtr spForms5(spLibrary);
    IDM5ProfileFormPtr spForm5;
    DmsCheck(spForms5->NewProfileForm(&spForm5));
    DmsCheck(spForm5->SetField(_bstr_t(L"APP_ID"), _variant_t(L"MS WORD")));
    DmsCheck(spForm5->SetField(_bstr_t(L"DOCNAME"), _variant_t(L"Letter")));
    DispatchPtr spMade;
    DmsCheck(spForm5->Show(0, _variant_t(L"docx"), &spMade, &bOK));
    ASSERT_EQ(VARIANT_TRUE, bOK);
    IProfilePtr spLetter(spMade);
    DmsCheck(spLetter->get_DocNumber(&lNumber));
    EXPECT_EQ(L"Letter", std::wstring(_bstr_t(ColumnValue(OpenProfile(L"LIB", lNumber), L"DOCNAME"))));
    const std::wstring strLetter = FilePath(OpenVersion(L"LIB", lNumber, L"1"));
    const std::wstring strEnd = L"-v1-Letter.docx";  // the content takes the extension given to the form
    EXPECT_TRUE(strLetter.size() > strEnd.size() &&
                strLetter.compare(strLetter.size() - strEnd.size(), strEnd.size(), strEnd) == 0)
        << strLetter;

    // The DM 6 form hands out a new profile and the folder chosen on it; the profile is
    // stored by its final form step.
    IDM6LibraryFormsPtr spForms6(spLibrary);
    _variant_t vProject, vProfile;
    short nStatus = 0;
    DmsCheck(spForms6->NewProfileForm(0xF0, _variant_t(L"TEXT"), &vProject, &vProfile, _variant_t(), &nStatus));
    ASSERT_EQ(1, nStatus);
    IProjectPtr spProject(V_DISPATCH(&vProject));
    BSTR bstrFolder = nullptr;
    DmsCheck(spProject->get_Name(&bstrFolder));
    EXPECT_EQ(L"Projects", ToString(bstrFolder));
    IProfilePtr spProfile6(V_DISPATCH(&vProfile));
    IFolderLinkPtr spLink;
    DmsCheck(spProfile6->get_FolderLink(&spLink));
    DmsCheck(spLink->LinkToProject(spProject));
    DmsCheck(spProfile6->FinishForm(1, &bOK));
    EXPECT_EQ(VARIANT_TRUE, bOK);
    DmsCheck(spProfile6->get_DocNumber(&lNumber));
    EXPECT_NE(0, lNumber);
    LONG lLinks = 0;
    DmsCheck(spLink->get_Count(&lLinks));
    EXPECT_EQ(1, lLinks);
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
    WriteFileBytes(strSource, "attached text");
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

TEST_F(DmsStandIn, UserSessionConnectionStateAndParentWindow)
{
    IApplicationPtr spApp = CreateApplication();
    BSTR bstrUser = nullptr;
    DmsCheck(spApp->get_UserName(&bstrUser));
    EXPECT_EQ(L"DEMO", ToString(bstrUser));
    ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"SECOND"));
    ILibraryPtr spLibrary;
    DmsCheck(spApp->get_CurrentLibrary(&spLibrary));
    DmsCheck(spLibrary->get_UserID(&bstrUser));
    EXPECT_EQ(L"SECOND", ToString(bstrUser));
    ASSERT_EQ(S_OK, StandIn_SetProcessUser(nullptr));
    DmsCheck(spApp->get_UserName(&bstrUser));
    EXPECT_EQ(L"DEMO", ToString(bstrUser));

    IDMSessionPtr spSession;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Session, nullptr, kAllServerContexts, IID_IDMSession,
                                     reinterpret_cast<void**>(&spSession)));
    DmsCheck(spSession->Logon(0));
    VARIANT_BOOL bLoggedOn = VARIANT_FALSE;
    DmsCheck(spSession->get_LoggedOn(&bLoggedOn));
    EXPECT_EQ(VARIANT_TRUE, bLoggedOn);

    // The connection state written through one application object is what a fresh one reads.
    IApplicationStatePtr spState(spApp);
    DmsCheck(spState->put_ConnectionState(2));
    LONG lState = 0;
    DmsCheck(IApplicationStatePtr(CreateApplication())->get_ConnectionState(&lState));
    EXPECT_EQ(2, lState);
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(0));
    DmsCheck(spState->get_ConnectionState(&lState));
    EXPECT_EQ(0, lState);

    EXPECT_EQ(-1, StandIn_LastParentWindow());
    DmsCheck(spApp->put_ParentWindow(0x1234));
    EXPECT_EQ(0x1234, StandIn_LastParentWindow());
    DmsCheck(CreateApplication()->put_ParentWindow(0));
    EXPECT_EQ(0, StandIn_LastParentWindow());
}

TEST_F(DmsStandIn, DispatchesThroughTheTypeLibraryAndMarshalsToAnotherThread)
{
    DispatchPtr spDispatch(CreateApplication());
    ASSERT_TRUE(spDispatch);
    OLECHAR* pszName = const_cast<OLECHAR*>(L"UserName");
    DISPID dispid = 0;
    ASSERT_EQ(S_OK, spDispatch->GetIDsOfNames(IID_NULL, &pszName, 1, LOCALE_USER_DEFAULT, &dispid));
    DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
    _variant_t vUser;
    ASSERT_EQ(S_OK, spDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &noArgs, &vUser,
                                       nullptr, nullptr));
    EXPECT_EQ(L"DEMO", std::wstring(_bstr_t(vUser)));

    // The reference parked in a stream is used and released on another apartment's thread.
    IStream* pStream = nullptr;
    ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IDispatch, spDispatch, &pStream));
    MarshalWork work{pStream, L"<not read>"};
    HANDLE hThread = CreateThread(nullptr, 0, &UseParkedApplication, &work, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    DWORD dwIndex = 0;
    EXPECT_EQ(S_OK, CoWaitForMultipleHandles(0, 30000, 1, &hThread, &dwIndex));
    CloseHandle(hThread);
    EXPECT_EQ(L"DEMO", work.strUser);
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

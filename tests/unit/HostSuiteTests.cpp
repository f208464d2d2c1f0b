// Tests of the adapters to the host suite's libraries (option store, message display, offline
// data store, activation-context loader) and of the component manager as the component asks
// it, each against the host-suite stand-ins built beside this program.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>
#include <corvane/QuendrelResults.h>

#include "TestSupport.h"
#include "framework/ActivationContextLoader.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"
#include "framework/Messaging.h"
#include "framework/OfflineDataStore.h"
#include "framework/OptionApi.h"
#include "provider/CVComponent.h"

using testing_support::ProgramFolder;
using testing_support::RunProgram;
using testing_support::ScopedRegValue;
namespace Options = Corvane::OptionApi;

_COM_SMARTPTR_TYPEDEF(ICVErrorInfo, __uuidof(ICVErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICVDiagnostics, __uuidof(ICVDiagnostics));

namespace {

const wchar_t OPTIONS_KEY[] = L"SOFTWARE\\Corvane\\Options";
const wchar_t TEST_GROUP[] = L"HostSuiteTests";
const wchar_t TEST_GROUP_KEY[] = L"SOFTWARE\\Corvane\\Options\\HostSuiteTests";
const wchar_t MESSAGING_KEY[] = L"SOFTWARE\\Corvane\\StandIns\\Messaging";
const wchar_t OFFLINE_KEY[] = L"SOFTWARE\\Corvane\\StandIns\\OfflineDocuments";
const wchar_t MANIFEST_FILE[] = L"Corvane.RegFreeCom.manifest";
const GUID SOURCE_GUID = {0x0b5e6f2a, 0x1c3d, 0x4e5f, {0x80, 0x91, 0xa2, 0xb3, 0xc4, 0xd5, 0xe6, 0xf7}};

bool KeyExists(HKEY hRoot, const std::wstring& strPath)
{
    CRegKey key;
    return RegOpenKeyExW(hRoot, strPath.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

DWORD ReadDword(const wchar_t* pszKey, const wchar_t* pszName, DWORD dwDefault = 0xDEADBEEF)
{
    DWORD dwValue = 0;
    DWORD cb = sizeof(dwValue);
    if (RegGetValueW(HKEY_CURRENT_USER, pszKey, pszName, RRF_RT_REG_DWORD, nullptr, &dwValue, &cb) != ERROR_SUCCESS)
        return dwDefault;
    return dwValue;
}

std::wstring ReadString(const wchar_t* pszKey, const wchar_t* pszName)
{
    DWORD cb = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, pszKey, pszName, RRF_RT_REG_SZ, nullptr, nullptr, &cb) != ERROR_SUCCESS)
        return L"<missing>";
    std::vector<wchar_t> buffer(cb / sizeof(wchar_t) + 1);
    cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    RegGetValueW(HKEY_CURRENT_USER, pszKey, pszName, RRF_RT_REG_SZ, nullptr, buffer.data(), &cb);
    return buffer.data();
}

std::string Narrow(const std::wstring& str)
{
    int cb = WideCharToMultiByte(CP_ACP, 0, str.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(cb > 0 ? cb : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, str.c_str(), -1, &result[0], cb, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The root manifest of the calling thread's active activation context; empty when none is active.
std::wstring ActiveManifestPath()
{
    HANDLE hContext = nullptr;
    if (!GetCurrentActCtx(&hContext) || !hContext)
        return std::wstring();
    std::wstring strPath;
    SIZE_T cb = 0;
    QueryActCtxW(0, hContext, nullptr, ActivationContextDetailedInformation, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb);
    if (cb >= sizeof(ACTIVATION_CONTEXT_DETAILED_INFORMATION) &&
        QueryActCtxW(0, hContext, nullptr, ActivationContextDetailedInformation, buffer.data(), cb, &cb))
    {
        auto* pInfo = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
        if (pInfo->lpRootManifestPath)
            strPath = pInfo->lpRootManifestPath;
    }
    ReleaseActCtx(hContext);
    return strPath;
}

// The calling thread's active activation context (compared by identity only; the activation
// keeps it alive), or null.
HANDLE ActiveContext()
{
    HANDLE hContext = nullptr;
    if (!GetCurrentActCtx(&hContext))
        return nullptr;
    if (hContext)
        ReleaseActCtx(hContext);
    return hContext;
}

// An empty folder under the temporary folder, removed with what was put into it.
class CScratchFolder
{
public:
    CScratchFolder()
    {
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strPath = std::wstring(szTemp) + L"HostSuiteTests-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(GetTickCount());
        CreateDirectoryW(m_strPath.c_str(), nullptr);
    }
    ~CScratchFolder()
    {
        for (const std::wstring& strFile : m_files)
            DeleteFileW(strFile.c_str());
        RemoveDirectoryW(m_strPath.c_str());
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::wstring& Path() const { return m_strPath; }
    bool CopyIn(const std::wstring& strSource, const wchar_t* pszName)
    {
        std::wstring strTarget = m_strPath + L"\\" + pszName;
        m_files.push_back(strTarget);
        return CopyFileW(strSource.c_str(), strTarget.c_str(), FALSE) != FALSE;
    }

private:
    std::wstring m_strPath;
    std::vector<std::wstring> m_files;
};

// Gives a test its own option group and removes it afterwards; the group must not exist before.
class OptionApiTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, TEST_GROUP_KEY)) << "left over from a run"; }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, TEST_GROUP_KEY); }
};

TEST_F(OptionApiTest, GroupedOptionsRoundTripAndPersistInTheRegistry)
{
    Options::SetBool(TEST_GROUP, L"Sub/Group", L"Flag", true);
    Options::SetString(TEST_GROUP, L"Sub/Group", L"Text", L"C:\\Program Files\\Host");
    EXPECT_TRUE(Options::GetBool(TEST_GROUP, L"Sub/Group", L"Flag"));
    EXPECT_EQ(L"C:\\Program Files\\Host", Options::GetString(TEST_GROUP, L"Sub/Group", L"Text"));

    // Tests and the command-line host set options through the registry: the layout matters.
    const std::wstring strKey = std::wstring(TEST_GROUP_KEY) + L"\\Sub/Group";
    EXPECT_EQ(1u, ReadDword(strKey.c_str(), L"Flag"));
    EXPECT_EQ(L"C:\\Program Files\\Host", ReadString(strKey.c_str(), L"Text"));

    // Overwriting: false after true, a shorter and then a much longer string, an empty one.
    Options::SetBool(TEST_GROUP, L"Sub/Group", L"Flag", false);
    EXPECT_FALSE(Options::GetBool(TEST_GROUP, L"Sub/Group", L"Flag"));
    EXPECT_EQ(0u, ReadDword(strKey.c_str(), L"Flag"));
    Options::SetString(TEST_GROUP, L"Sub/Group", L"Text", L"x");
    EXPECT_EQ(L"x", Options::GetString(TEST_GROUP, L"Sub/Group", L"Text"));
    const std::wstring strLong(3000, L'q');
    Options::SetString(TEST_GROUP, L"Sub/Group", L"Text", strLong);
    EXPECT_EQ(strLong, Options::GetString(TEST_GROUP, L"Sub/Group", L"Text"));
    Options::SetString(TEST_GROUP, L"Sub/Group", L"Text", L"");
    EXPECT_EQ(L"", Options::GetString(TEST_GROUP, L"Sub/Group", L"Text"));

    // The same name in another subgroup is another option.
    EXPECT_FALSE(Options::GetBool(TEST_GROUP, L"Other", L"Flag"));
}

TEST_F(OptionApiTest, GlobalOptionsAreValuesOfTheOptionsKey)
{
    ScopedRegValue flag(HKEY_CURRENT_USER, OPTIONS_KEY, L"HostSuiteTests.Flag");
    ScopedRegValue text(HKEY_CURRENT_USER, OPTIONS_KEY, L"HostSuiteTests.Text");
    flag.SetDword(1);
    text.SetString(L"D:\\Apps\\Host\\");
    EXPECT_TRUE(Options::GetBool(L"HostSuiteTests.Flag"));
    EXPECT_EQ(L"D:\\Apps\\Host\\", Options::GetString(L"HostSuiteTests.Text"));
    flag.SetDword(0);
    EXPECT_FALSE(Options::GetBool(L"HostSuiteTests.Flag"));
    // A global option is not found in a group, nor a grouped one globally.
    EXPECT_FALSE(Options::GetBool(TEST_GROUP, L"Sub", L"HostSuiteTests.Flag"));
    EXPECT_EQ(L"", Options::GetString(TEST_GROUP, L"Sub", L"HostSuiteTests.Text"));
    Options::SetString(TEST_GROUP, L"Sub", L"OnlyGrouped", L"v");
    EXPECT_EQ(L"", Options::GetString(L"OnlyGrouped"));
}

TEST_F(OptionApiTest, MissingOptionsReadFalseAndEmpty)
{
    EXPECT_FALSE(Options::GetBool(L"HostSuiteTests.Missing"));
    EXPECT_EQ(L"", Options::GetString(L"HostSuiteTests.Missing"));
    EXPECT_FALSE(Options::GetBool(TEST_GROUP, L"Sub", L"Missing"));
    EXPECT_EQ(L"", Options::GetString(TEST_GROUP, L"Sub", L"Missing"));
    Options::SetString(TEST_GROUP, L"Sub", L"Present", L"v");
    EXPECT_FALSE(Options::GetBool(TEST_GROUP, L"Sub", L"Missing"));
    EXPECT_EQ(L"", Options::GetString(TEST_GROUP, L"Sub", L"Missing"));
}

TEST_F(OptionApiTest, OptionGroupExistsOnceAnOptionIsSetInIt)
{
    EXPECT_FALSE(Options::OptionGroupExists(TEST_GROUP, L"Sub/Group"));
    Options::SetBool(TEST_GROUP, L"Sub/Group", L"Enabled", false);
    EXPECT_TRUE(Options::OptionGroupExists(TEST_GROUP, L"Sub/Group"));
    EXPECT_FALSE(Options::OptionGroupExists(TEST_GROUP, L"Other"));
    EXPECT_FALSE(Options::OptionGroupExists(L"HostSuiteTests.NoGroup", L"Sub/Group"));
}

// Saves every value of the message display's key (scripted answers, the last call's record)
// and clears the script; puts everything back afterwards.
class MessagingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::vector<std::wstring> names = {L"Interactive", L"LastText", L"LastSecond", L"LastSourceFile",
                                           L"LastFunction", L"LastButtons", L"LastBranding", L"LastType",
                                           L"LastNumber", L"LastLine", L"LastParent", L"LastAnswer", L"CallCount"};
        for (int i = 1; i <= 12; ++i)
            names.push_back(L"Answer" + std::to_wstring(i));
        CRegKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, MESSAGING_KEY, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS)
        {
            wchar_t szName[256];
            for (DWORD i = 0;; ++i)
            {
                DWORD cch = ARRAYSIZE(szName);
                LONG rc = RegEnumValueW(key.Get(), i, szName, &cch, nullptr, nullptr, nullptr, nullptr);
                if (rc == ERROR_NO_MORE_ITEMS)
                    break;
                if (rc == ERROR_SUCCESS && _wcsnicmp(szName, L"Answer", 6) == 0)
                    names.push_back(szName);
            }
        }
        for (const std::wstring& strName : names)
        {
            m_saved.push_back(std::make_unique<ScopedRegValue>(HKEY_CURRENT_USER, MESSAGING_KEY, strName));
            if (strName.compare(0, 6, L"Answer") == 0)
                m_saved.back()->Delete();
        }
        m_saved.front()->SetDword(0);  // "Interactive": never a real window in a test
    }

    static void Script(const wchar_t* pszName, DWORD dwAnswer)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, MESSAGING_KEY, pszName, REG_DWORD, &dwAnswer, sizeof(dwAnswer));
    }

    std::vector<std::unique_ptr<ScopedRegValue>> m_saved;
};

int ShowTestMessage(const wchar_t* pszText)
{
    return Corvane::Messaging::ShowMessage(nullptr, pszText, MB_YESNOCANCEL, 3, 1, L"", -1, L"HostSuiteTests.cpp",
                                           __LINE__, L"HostSuiteTests::ShowTestMessage");
}

TEST_F(MessagingTest, ScriptedAnswersComeInNumericOrderThenCancel)
{
    // Created out of order, and "Answer10" sorts before "Answer2" as text.
    Script(L"Answer10", IDNO);
    Script(L"Answer2", IDYES);
    Script(L"Answer3", IDRETRY);
    EXPECT_EQ(IDYES, ShowTestMessage(L"first"));
    EXPECT_EQ(IDRETRY, ShowTestMessage(L"second"));
    EXPECT_EQ(IDNO, ShowTestMessage(L"third"));
    EXPECT_EQ(IDCANCEL, ShowTestMessage(L"fourth"));
    EXPECT_EQ(IDCANCEL, ShowTestMessage(L"fifth"));
}

TEST_F(MessagingTest, RecordsTheTextAndArgumentsOfTheLastCall)
{
    DWORD dwCallsBefore = ReadDword(MESSAGING_KEY, L"CallCount", 0);
    Script(L"Answer1", IDYES);
    int nLine = __LINE__ + 1;
    int nAnswer = Corvane::Messaging::ShowMessage(nullptr, L"Save to the current library: Main ?", MB_YESNOCANCEL, 3, 1,
                                                  L"", -1, L"SaveAsDlg.cpp", nLine, L"CSaveAsDlg::Display");
    EXPECT_EQ(IDYES, nAnswer);
    EXPECT_EQ(L"Save to the current library: Main ?", ReadString(MESSAGING_KEY, L"LastText"));
    EXPECT_EQ(L"", ReadString(MESSAGING_KEY, L"LastSecond"));
    EXPECT_EQ(L"SaveAsDlg.cpp", ReadString(MESSAGING_KEY, L"LastSourceFile"));
    EXPECT_EQ(L"CSaveAsDlg::Display", ReadString(MESSAGING_KEY, L"LastFunction"));
    EXPECT_EQ(static_cast<DWORD>(MB_YESNOCANCEL), ReadDword(MESSAGING_KEY, L"LastButtons"));
    EXPECT_EQ(3u, ReadDword(MESSAGING_KEY, L"LastBranding"));
    EXPECT_EQ(1u, ReadDword(MESSAGING_KEY, L"LastType"));
    EXPECT_EQ(-1, static_cast<int>(ReadDword(MESSAGING_KEY, L"LastNumber")));
    EXPECT_EQ(static_cast<DWORD>(nLine), ReadDword(MESSAGING_KEY, L"LastLine"));
    EXPECT_EQ(static_cast<DWORD>(IDYES), ReadDword(MESSAGING_KEY, L"LastAnswer"));
    EXPECT_EQ(dwCallsBefore + 1, ReadDword(MESSAGING_KEY, L"CallCount"));

    ShowTestMessage(L"next");
    EXPECT_EQ(L"next", ReadString(MESSAGING_KEY, L"LastText"));
    EXPECT_EQ(static_cast<DWORD>(IDCANCEL), ReadDword(MESSAGING_KEY, L"LastAnswer"));
    EXPECT_EQ(dwCallsBefore + 2, ReadDword(MESSAGING_KEY, L"CallCount"));
}

TEST(OfflineDataStore, AnswersFromTheListOfOfflineDocuments)
{
    const std::wstring strListed = L"hostsuite://TESTLIB/4711/2";
    ScopedRegValue listed(HKEY_CURRENT_USER, OFFLINE_KEY, strListed);
    ScopedRegValue other(HKEY_CURRENT_USER, OFFLINE_KEY, L"hostsuite://TESTLIB/4712/1");
    listed.SetString(L"");
    other.SetDword(1);

    OfflineDataStore store;
    EXPECT_TRUE(store.IsDocOffline(strListed));
    EXPECT_TRUE(store.IsDocOffline(L"HostSuite://testlib/4711/2"));
    EXPECT_TRUE(store.IsDocOffline(L"hostsuite://TESTLIB/4712/1"));
    EXPECT_FALSE(store.IsDocOffline(L"hostsuite://TESTLIB/4711/1"));
    EXPECT_FALSE(store.IsDocOffline(L"hostsuite://TESTLIB/4711"));
    EXPECT_FALSE(store.IsDocOffline(L"hostsuite://TESTLIB/4711/20"));
    EXPECT_FALSE(store.IsDocOffline(L""));

    listed.Delete();
    EXPECT_FALSE(OfflineDataStore().IsDocOffline(strListed));
}

// Points the option "ProgramLocation" at a folder for one test.
class ActivationContextLoaderTest : public ::testing::Test
{
protected:
    ActivationContextLoaderTest() : m_location(HKEY_CURRENT_USER, OPTIONS_KEY, L"ProgramLocation") {}
    void SetUp() override { ASSERT_EQ(L"", ActiveManifestPath()) << "a context is active before the test"; }
    void TearDown() override { EXPECT_EQ(L"", ActiveManifestPath()) << "a context is left active"; }

    ScopedRegValue m_location;
};

TEST_F(ActivationContextLoaderTest, ActivatesTheManifestForItsLifetime)
{
    m_location.SetString(ProgramFolder());
    const std::wstring strManifest = ProgramFolder() + L"\\" + MANIFEST_FILE;
    {
        CActivationContextLoader loader;
        EXPECT_TRUE(EqualNoCase(strManifest, ActiveManifestPath())) << ActiveManifestPath();
        EXPECT_NE(nullptr, GetModuleHandleW(L"CVActivationContextLoader.dll"));
        const HANDLE hOuter = ActiveContext();
        {
            // Already active: a second loader activates nothing more, and so deactivates nothing.
            CActivationContextLoader inner;
            EXPECT_EQ(hOuter, ActiveContext()) << "the inner loader activated another context";
            inner.Unload();
            EXPECT_EQ(hOuter, ActiveContext()) << "the inner loader deactivated";
        }
        EXPECT_EQ(hOuter, ActiveContext());
    }
    // The destructor deactivated and freed the library.
    EXPECT_EQ(L"", ActiveManifestPath());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"CVActivationContextLoader.dll"));

    // An explicit Unload does the same, and a second one (or the destructor) does nothing more.
    CActivationContextLoader loader;
    EXPECT_TRUE(EqualNoCase(strManifest, ActiveManifestPath()));
    loader.Unload();
    EXPECT_EQ(L"", ActiveManifestPath());
    EXPECT_NO_THROW(loader.Unload());
}

TEST_F(ActivationContextLoaderTest, RaisesWhenTheLoaderIsMissing)
{
    CScratchFolder folder;
    m_location.SetString(folder.Path());
    const std::string strExpected = "LoadLibrary on '" + Narrow(folder.Path()) +
                                    "\\CVActivationContextLoader.dll'failed. Error code: " +
                                    std::to_string(ERROR_MOD_NOT_FOUND) + ".";
    try
    {
        CActivationContextLoader loader;
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(strExpected, e.what());
    }
}

TEST_F(ActivationContextLoaderTest, RaisesWhenTheManifestCannotBeActivated)
{
    CScratchFolder folder;
    ASSERT_TRUE(folder.CopyIn(ProgramFolder() + L"\\CVActivationContextLoader.dll", L"CVActivationContextLoader.dll"));
    m_location.SetString(folder.Path() + L"\\");
    const std::string strPrefix =
        "Loading Activation Context with manifest '" + Narrow(folder.Path()) + "\\" + Narrow(MANIFEST_FILE) +
        "' failed. Error code: ";
    try
    {
        CActivationContextLoader loader;
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        std::string strText = e.what();
        EXPECT_EQ(strPrefix, strText.substr(0, strPrefix.size()));
        EXPECT_NE("0", strText.substr(strPrefix.size()));
    }
    // The library loaded before the failure is freed again (else the folder could not be removed).
    EXPECT_EQ(nullptr, GetModuleHandleW((folder.Path() + L"\\CVActivationContextLoader.dll").c_str()));
}

// Registers the component manager stand-in for the suite (unregistering it afterwards unless it
// was registered before) and gives each test an initialised apartment.
class ComponentManagerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CLSID clsid = {};
        s_bWasRegistered = SUCCEEDED(CLSIDFromProgID(L"CmManager.ComponentManager", &clsid));
        s_nRegisterExit = RunProgram(L"regsvr32.exe /s \"" + ServerPath() + L"\"");
        CoUninitialize();
    }
    static void TearDownTestSuite()
    {
        if (!s_bWasRegistered)
            RunProgram(L"regsvr32.exe /u /s \"" + ServerPath() + L"\"");
    }
    void SetUp() override
    {
        ASSERT_EQ(0, s_nRegisterExit) << "regsvr32 failed";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override
    {
        // Every object handed out was released: the server may unload.
        if (HMODULE hServer = GetModuleHandleW(L"CmManager.dll"))
        {
            auto pfnCanUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(hServer, "DllCanUnloadNow")));
            ASSERT_NE(nullptr, pfnCanUnload);
            EXPECT_EQ(S_OK, pfnCanUnload());
        }
        CoUninitialize();
    }

    static std::wstring ServerPath() { return ProgramFolder() + L"\\CmManager.dll"; }
    static std::wstring Describe(HRESULT hr)
    {
        BSTR bstr = nullptr;
        HRESULT hrCall = CCVErrorInfo::GetErrorDescription(hr, SOURCE_GUID, &bstr);
        CScopedBstr owned(bstr);
        EXPECT_EQ(S_OK, hrCall);
        return bstr ? std::wstring(bstr, SysStringLen(bstr)) : L"<null>";
    }

    static inline bool s_bWasRegistered = false;
    static inline int s_nRegisterExit = -1;
};

TEST_F(ComponentManagerTest, DescribesHostCodesAndSystemCodes)
{
    EXPECT_EQ(L"The document was not found.", Describe(E_DOCUMENT_NOT_FOUND));
    EXPECT_EQ(L"The document is locked by another user.", Describe(E_DOCUMENT_LOCKED_BY_OTHER));
    EXPECT_EQ(L"No DMS client installation was found.", Describe(E_NO_DMS_CLIENT));
    EXPECT_EQ(L"The document is not available offline.", Describe(E_NOT_AVAILABLE_OFFLINE));

    // Other codes get the system's message, without its line break.
    wchar_t szSystem[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(E_ACCESSDENIED), 0, szSystem, ARRAYSIZE(szSystem), nullptr);
    ASSERT_GT(n, 0u);
    std::wstring strSystem(szSystem);
    while (!strSystem.empty() && (strSystem.back() == L'\n' || strSystem.back() == L'\r'))
        strSystem.pop_back();
    EXPECT_EQ(strSystem, Describe(E_ACCESSDENIED));
    EXPECT_NE(L"", Describe(static_cast<HRESULT>(0x8012007FL)));

    EXPECT_EQ(E_POINTER, CCVErrorInfo::GetErrorDescription(E_DOCUMENT_NOT_FOUND, SOURCE_GUID, nullptr));
}

TEST_F(ComponentManagerTest, AnswersHelpAndDiagnosisQuestions)
{
    BSTR bstr = nullptr;
    ASSERT_EQ(S_OK, CCVErrorInfo::GetHelpFile(E_DOCUMENT_NOT_FOUND, SOURCE_GUID, &bstr));
    CScopedBstr helpFile(bstr);
    ASSERT_NE(nullptr, bstr);
    EXPECT_TRUE(EqualNoCase(ProgramFolder() + L"\\Corvane.chm", bstr)) << bstr;

    VARIANT_BOOL bCan = VARIANT_TRUE;
    EXPECT_EQ(S_OK, CCVErrorInfo::CanDiagnose(E_DOCUMENT_NOT_FOUND, SOURCE_GUID, &bCan));
    EXPECT_EQ(VARIANT_FALSE, bCan);
    bCan = VARIANT_TRUE;
    EXPECT_EQ(S_OK, CCVErrorInfo::CanAutofix(E_DOCUMENT_NOT_FOUND, SOURCE_GUID, &bCan));
    EXPECT_EQ(VARIANT_FALSE, bCan);

    bstr = nullptr;
    ASSERT_EQ(S_OK, CCVDiagnostics::ExamineError(E_DOCUMENT_LOCKED_BY_OTHER, SOURCE_GUID, &bstr));
    CScopedBstr report(bstr);
    ASSERT_NE(nullptr, bstr);
    std::wstring strReport(bstr);
    EXPECT_NE(std::wstring::npos, strReport.find(L"0x80120009")) << strReport;
    EXPECT_NE(std::wstring::npos, strReport.find(L"The document is locked by another user.")) << strReport;

    VARIANT_BOOL bFixed = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, CCVDiagnostics::FixError(E_DOCUMENT_LOCKED_BY_OTHER, SOURCE_GUID, &bFixed));
    EXPECT_EQ(VARIANT_FALSE, bFixed);
    EXPECT_EQ(E_POINTER, CCVDiagnostics::FixError(E_DOCUMENT_LOCKED_BY_OTHER, SOURCE_GUID, nullptr));
}

}  // namespace

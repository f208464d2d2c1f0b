// The adapters to the host suite's libraries, each against the host-suite stand-ins built beside
// this program.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "framework/ActivationContextLoader.h"
#include "framework/OfflineDataStore.h"
#include "framework/OptionApi.h"
#include "local/TempFiles.h"

using testing_support::ProgramFolder;
using testing_support::ScopedRegValue;
namespace Options = Corvane::OptionApi;

namespace {

const wchar_t OPTIONS_KEY[] = L"SOFTWARE\\Corvane\\Options";
const wchar_t TEST_GROUP[] = L"HostSuiteTests";
const wchar_t MANIFEST_FILE[] = L"Corvane.RegFreeCom.manifest";
const wchar_t LOADER_FILE[] = L"CVActivationContextLoader.dll";

using testing_support::Narrow;

// The root manifest of the calling thread's active activation context, in lower case; empty
// when none is active.
std::wstring ActiveManifestPath()
{
    HANDLE hContext = nullptr;
    if (!GetCurrentActCtx(&hContext) || !hContext)
        return std::wstring();
    std::wstring strPath;
    SIZE_T cb = 0;
    QueryActCtxW(0, hContext, nullptr, ActivationContextDetailedInformation, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb + sizeof(ACTIVATION_CONTEXT_DETAILED_INFORMATION));
    auto* pInfo = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
    if (QueryActCtxW(0, hContext, nullptr, ActivationContextDetailedInformation, buffer.data(), cb, &cb) &&
        pInfo->lpRootManifestPath)
        strPath = pInfo->lpRootManifestPath;
    ReleaseActCtx(hContext);
    CharLowerW(&strPath[0]);
    return strPath;
}

// The calling thread's active activation context (compared by identity only), or null.
HANDLE ActiveContext()
{
    HANDLE hContext = nullptr;
    return GetCurrentActCtx(&hContext) && hContext ? (ReleaseActCtx(hContext), hContext) : nullptr;
}

}  // namespace

TEST(OptionApi, OptionsRoundTripWholeInTheirGroupOrGlobally)
{
    registry_sandbox::CRegistrySandbox sandbox({{HKEY_CURRENT_USER, std::wstring(OPTIONS_KEY) + L"\\" + TEST_GROUP}});
    ScopedRegValue global(HKEY_CURRENT_USER, OPTIONS_KEY, L"HostSuiteTests.Flag");
    EXPECT_FALSE(Options::OptionGroupExists(TEST_GROUP, L"Sub/Group"));
    Options::SetBool(TEST_GROUP, L"Sub/Group", L"Flag", true);
    EXPECT_TRUE(Options::GetBool(TEST_GROUP, L"Sub/Group", L"Flag") && Options::OptionGroupExists(TEST_GROUP, L"Sub/Group"));
    // The same name in another subgroup, or globally, is another option.
    EXPECT_FALSE(Options::GetBool(TEST_GROUP, L"Other", L"Flag") || Options::GetBool(L"HostSuiteTests.Flag"));
    global.SetDword(1);
    EXPECT_TRUE(Options::GetBool(L"HostSuiteTests.Flag"));
    // A string longer than a first guess of its size, then an empty one, read back whole.
    for (const std::wstring& strValue : {std::wstring(3000, L'q'), std::wstring()})
    {
        Options::SetString(TEST_GROUP, L"Sub/Group", L"Text", strValue);
        EXPECT_EQ(strValue, Options::GetString(TEST_GROUP, L"Sub/Group", L"Text"));
    }
}

TEST(OfflineDataStore, AnswersFromTheListOfOfflineDocuments)
{
    ScopedRegValue listed(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\StandIns\\OfflineDocuments", L"hostsuite://TESTLIB/4711/2");
    listed.SetString(L"");
    EXPECT_TRUE(OfflineDataStore().IsDocOffline(L"hostsuite://TESTLIB/4711/2"));
    EXPECT_FALSE(OfflineDataStore().IsDocOffline(L"hostsuite://TESTLIB/4711/1"));
}

// Points the option "ProgramLocation" at a folder for one test.
class ActivationContextLoaderTest : public ::testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(L"", ActiveManifestPath()) << "a context is left active"; }

    // A folder of its own under the temporary folder, optionally holding the loader library.
    std::wstring ScratchFolder(bool bWithLoader)
    {
        m_strFolder = GetTempFolder() + L"HostSuiteTests";
        CreateDirectoryW(m_strFolder.c_str(), nullptr);
        EXPECT_TRUE(!bWithLoader || CopyFileW((ProgramFolder() + L"\\" + LOADER_FILE).c_str(),
                                              (m_strFolder + L"\\" + LOADER_FILE).c_str(), FALSE));
        return m_strFolder;
    }
    ~ActivationContextLoaderTest() override
    {
        DeleteFileW((m_strFolder + L"\\" + LOADER_FILE).c_str());
        RemoveDirectoryW(m_strFolder.c_str());
    }
    // What constructing a loader raised, or "" when it did not.
    static std::string Raised()
    {
        try { CActivationContextLoader loader; }
        catch (const std::runtime_error& e) { return e.what(); }
        return "";
    }

    ScopedRegValue m_location{HKEY_CURRENT_USER, OPTIONS_KEY, L"ProgramLocation"};
    std::wstring m_strFolder;
};

TEST_F(ActivationContextLoaderTest, ActivatesTheManifestForItsLifetime)
{
    m_location.SetString(ProgramFolder());
    std::wstring strManifest = ProgramFolder() + L"\\" + MANIFEST_FILE;
    CharLowerW(&strManifest[0]);
    {
        CActivationContextLoader loader;
        EXPECT_EQ(strManifest, ActiveManifestPath());
        EXPECT_NE(nullptr, GetModuleHandleW(LOADER_FILE));
        const HANDLE hOuter = ActiveContext();
        {
            // Already active: a second loader activates nothing more, and so deactivates nothing.
            CActivationContextLoader inner;
            EXPECT_EQ(hOuter, ActiveContext()) << "the inner loader activated another context";
        }
        EXPECT_EQ(hOuter, ActiveContext()) << "the inner loader deactivated";
    }
    // The destructor deactivated (TearDown checks) and freed the library.
    EXPECT_EQ(nullptr, GetModuleHandleW(LOADER_FILE));
}

// The provider loads and frees the loader library around each use of the Save As Type control:
// 200 uses leave no handles, memory or TLS indices behind once the first ones have settled.
TEST_F(ActivationContextLoaderTest, LoadingAndFreeingTheLoaderAgainAndAgainLeavesNothingBehind)
{
    m_location.SetString(ProgramFolder());
    testing_support::ProcessFootprint settled;
    for (int use = 1; use <= 200; ++use)
    {
        CActivationContextLoader().Unload();
        ASSERT_EQ(nullptr, GetModuleHandleW(LOADER_FILE)) << "still loaded after use " << use;
        if (use == 20)
            settled = testing_support::ProcessFootprint();
    }
    EXPECT_EQ("", testing_support::GrowthSince(settled));
}

TEST_F(ActivationContextLoaderTest, RaisesWhenTheLoaderIsMissingOrTheManifestCannotBeActivated)
{
    const std::wstring strEmpty = ScratchFolder(false);
    m_location.SetString(strEmpty);
    EXPECT_EQ("LoadLibrary on '" + Narrow(strEmpty) + "\\CVActivationContextLoader.dll'failed. Error code: " +
                  std::to_string(ERROR_MOD_NOT_FOUND) + ".",
              Raised());

    // The loader is there but finds no manifest beside it (a trailing separator is not doubled);
    // the library loaded before the failure is freed again.
    const std::wstring strWithLoader = ScratchFolder(true);
    m_location.SetString(strWithLoader + L"\\");
    EXPECT_EQ(0u, Raised().find("Loading Activation Context with manifest '" + Narrow(strWithLoader) + "\\" +
                                Narrow(MANIFEST_FILE) + "' failed. Error code: "));
    EXPECT_EQ(nullptr, GetModuleHandleW((strWithLoader + L"\\" + LOADER_FILE).c_str()));
}

// Choosing documents and versions through the provider with the DMS stand-in's scripted forms:
// the selection form, the version chooser, the fall-backs of SelectDocumentEx, offline IDs, and
// a failure injected at every DMS call.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "DmsStandInControl.h"

namespace {

const wchar_t* const kDmsMethods[] = {
    L"IApplication::ParentWindow", L"ISelectForm::Show", L"ISelectForm::Profiles", L"IChosenProfiles::Count",
    L"IChosenProfiles::Item", L"IProfile::Versions", L"IVersions::Count", L"IVersions::Item",
    L"IProfile::ChooseVersion", L"IProfile::CurrentVersion", L"IProfile::DocNumber", L"IVersion::Label",
    L"IProfile::Library", L"ILibrary::Name", L"IVersion::GetProfile", L"IApplication::Libraries",
    L"ILibraries::Item", L"ILibrary::GetProfile", L"IApplicationState::ConnectionState",
    L"CoCreateInstance(SelectForm)", L"CoCreateInstance(Application)"};

std::wstring FormRecord()
{
    BSTR bstr = StandIn_FormRecord();
    std::wstring s = bstr ? bstr : L"";
    SysFreeString(bstr);
    return s;
}

class SelectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        ASSERT_EQ(S_OK, StandIn_Reset());
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
        ASSERT_EQ(S_OK, StandIn_AddUser(L"alice"));
        ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"alice"));
        m_lSingle = AddDocument(L"LIB");
        m_lThree = AddDocument(L"LIB");
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lThree, L"2", "2", 1, L""));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lThree, L"3", "3", 1, L""));
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
        BSTR bstrUser = nullptr;
        ASSERT_EQ(S_OK, m_pProvider->GetCurrentDmsUser(_bstr_t(L""), &bstrUser));
        SysFreeString(bstrUser);
        m_lSessionObjects = SettledLiveObjects();
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
        StandIn_ClearFaults();
    }

    LONG SettledLiveObjects()
    {
        m_pProvider = nullptr;
        EXPECT_EQ(S_OK, CallDllCanUnloadNow());
        return StandIn_LiveObjects();
    }

    void TearDown() override
    {
        StandIn_ClearFaults();
        StandIn_ScriptForms(nullptr);
        StandIn_SetConnectionState(0);
        EXPECT_EQ(m_lSessionObjects, SettledLiveObjects()) << "a DMS object outlived the test";
        StandIn_SetProcessUser(nullptr);
    }

    static LONG AddDocument(const wchar_t* pszLibrary)
    {
        LONG lNumber = 0;
        EXPECT_EQ(S_OK, StandIn_AddDocument(pszLibrary, L"Minutes", L"MS WORD", "1", 1, &lNumber));
        return lNumber;
    }

    static std::wstring Id(LONG lNumber, const wchar_t* pszLabel, const wchar_t* pszLibrary = L"LIB")
    {
        return L"PowerDocs://" + std::wstring(pszLibrary) + L"/" + std::to_wstring(lNumber) + L"/" + pszLabel;
    }

    static void Script(const std::wstring& lines) { ASSERT_EQ(S_OK, StandIn_ScriptForms(lines.c_str())); }

    HRESULT Select(long lParent, std::wstring* pOut)
    {
        BSTR bstr = nullptr;
        HRESULT hr = m_pProvider->SelectDocument(lParent, _bstr_t(L""), &bstr);
        *pOut = bstr ? bstr : L"(null)";
        SysFreeString(bstr);
        return hr;
    }

    HRESULT SelectEx(long lParent, const std::wstring& id, std::wstring* pOut)
    {
        BSTR bstr = nullptr;
        HRESULT hr = m_pProvider->SelectDocumentEx(lParent, _bstr_t(L""), _bstr_t(id.c_str()), &bstr);
        *pOut = bstr ? bstr : L"(null)";
        SysFreeString(bstr);
        return hr;
    }

    ICVDocumentProvider7Ptr m_pProvider;
    LONG m_lSingle = 0;
    LONG m_lThree = 0;
    LONG m_lSessionObjects = 0;
};

TEST_F(SelectionTest, SelectionFormChoosesADocumentAndItsVersion)
{
    std::wstring out;
    // One version: taken without the chooser; the form is shown over the host's window, which
    // is reset afterwards.
    Script(L"select " + Id(m_lSingle, L""));
    EXPECT_EQ(S_OK, Select(0x1234, &out));
    EXPECT_EQ(Id(m_lSingle, L"1"), out);
    EXPECT_EQ(L"select 4660\n", FormRecord());
    EXPECT_EQ(0, StandIn_LastParentWindow());

    // Three versions: the chooser, under its title, picks one.
    StandIn_ClearFaults();
    Script(L"select " + Id(m_lThree, L"") + L"\nversion 2");
    EXPECT_EQ(S_OK, Select(7, &out));
    EXPECT_EQ(Id(m_lThree, L"2"), out);
    EXPECT_EQ(L"select 7\nchoose-version Choose version\n", FormRecord());

    // Cancelled form: S_FALSE and an empty ID. A chooser that gives no version: S_FALSE, no ID.
    Script(L"cancel");
    EXPECT_EQ(S_FALSE, Select(7, &out));
    EXPECT_EQ(L"", out);
    Script(L"select " + Id(m_lThree, L"") + L"\ncancel");
    EXPECT_EQ(S_FALSE, Select(7, &out));
    EXPECT_EQ(L"", out);
    EXPECT_EQ(0, StandIn_LastParentWindow());

    // Any other status of the form is the answer, sign-extended.
    Script(L"status 7");
    EXPECT_EQ(static_cast<HRESULT>(7), Select(7, &out));
    Script(L"status -2");
    EXPECT_EQ(static_cast<HRESULT>(0xFFFFFFFE), Select(7, &out));
    EXPECT_EQ(L"", out);
    EXPECT_EQ(E_POINTER, m_pProvider->SelectDocument(7, _bstr_t(L""), nullptr));
}

TEST_F(SelectionTest, SelectDocumentExChoosesAmongTheGivenDocumentsVersions)
{
    std::wstring out;
    Script(L"version 3");
    EXPECT_EQ(S_OK, SelectEx(9, Id(m_lThree, L"1"), &out));
    EXPECT_EQ(Id(m_lThree, L"3"), out);
    EXPECT_EQ(L"choose-version Choose version\n", FormRecord()) << "no selection form";
    EXPECT_EQ(9, StandIn_LastParentWindow()) << "the parent window is not reset here";

    // Nothing to choose among: an unknown ID, a single version, a chooser that gives none.
    struct Case
    {
        std::wstring id;
        std::wstring script;
    };
    const Case fallbacks[] = {{L"PowerDocs://LIB/999999/1", L""},
                              {Id(m_lSingle, L"1"), L""},
                              {Id(m_lThree, L"1"), L"cancel\n"}};
    for (const Case& c : fallbacks)
    {
        StandIn_ClearFaults();
        Script(c.script + L"select " + Id(m_lSingle, L""));
        EXPECT_EQ(S_OK, SelectEx(9, c.id, &out)) << c.id;
        EXPECT_EQ(Id(m_lSingle, L"1"), out) << c.id;
        EXPECT_NE(std::wstring::npos, FormRecord().find(L"select 9\n")) << c.id;
        EXPECT_EQ(0, StandIn_LastParentWindow()) << "the selection form resets it";
    }
}

TEST_F(SelectionTest, OfflineIDsAreTranslatedBySelectDocumentOnly)
{
    ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB_alice"));
    const LONG lOffline = AddDocument(L"LIB_alice");
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB_alice", lOffline, L"2", "2", 1, L""));
    testing_support::ScopedRegValue record(
        HKEY_CURRENT_USER,
        L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache\\lib\\alice\\" + std::to_wstring(lOffline),
        L"DocNumber");
    record.SetDword(42);
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(1));
    std::wstring out;
    Script(L"select " + Id(lOffline, L"", L"LIB_alice") + L"\nversion 2");
    EXPECT_EQ(S_OK, Select(1, &out));
    EXPECT_EQ(L"offline://" + Id(lOffline, L"2", L"LIB_alice"), out);
    Script(L"version 2");
    EXPECT_EQ(S_OK, SelectEx(1, Id(lOffline, L"1", L"LIB_alice"), &out));
    EXPECT_EQ(Id(lOffline, L"2", L"LIB_alice"), out);
}

// A failure at any DMS call: a code, never S_OK with a wrong ID, and no DMS object left alive.
TEST_F(SelectionTest, SurvivesAFailureAtEveryDmsCall)
{
    std::vector<std::pair<std::wstring, LONG>> calls;
    auto settle = [&]() {
        calls.clear();
        for (const wchar_t* method : kDmsMethods)
            if (LONG n = StandIn_CallCount(method))
                calls.emplace_back(method, n);
        StandIn_ClearFaults();
    };
    auto select = [&]() {
        Script(L"select " + Id(m_lThree, L"") + L"\nversion 2");
        std::wstring out;
        HRESULT hr = Select(3, &out);
        settle();
        if (hr == S_OK)
        {
            EXPECT_EQ(Id(m_lThree, L"2"), out);
        }
        return hr;
    };
    auto selectEx = [&]() {
        Script(L"version 3");
        std::wstring out;
        HRESULT hr = SelectEx(3, Id(m_lThree, L"1"), &out);
        settle();
        if (hr == S_OK)
        {
            EXPECT_EQ(Id(m_lThree, L"3"), out);
        }
        return hr;
    };
    const std::vector<std::pair<const char*, std::function<HRESULT()>>> operations = {{"SelectDocument", select},
                                                                                      {"SelectDocumentEx", selectEx}};
    int injected = 0;
    for (const auto& operation : operations)
    {
        StandIn_ClearFaults();
        ASSERT_EQ(S_OK, operation.second()) << operation.first;
        const auto clean = calls;
        ASSERT_FALSE(clean.empty());
        for (const auto& call : clean)
        {
            for (LONG at = 1; at <= call.second; ++at)
            {
                const std::string where = std::string(operation.first) + ": " +
                                          std::string(call.first.begin(), call.first.end()) + " at " +
                                          std::to_string(at);
                SCOPED_TRACE(where);
                StandIn_ClearFaults();
                ASSERT_EQ(S_OK, StandIn_InjectFault(call.first.c_str(), E_FAIL, 0, at, FALSE));
                operation.second();
                ++injected;
                ASSERT_EQ(m_lSessionObjects, SettledLiveObjects());
                ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
            }
        }
    }
    EXPECT_GT(injected, 20);
}

}  // namespace

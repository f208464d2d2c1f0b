// Choosing documents and versions through the provider with the DMS stand-in's scripted forms:
// the selection form, the version chooser, the fall-backs of SelectDocumentEx, offline IDs, and
// a failure injected at every DMS call.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DocumentFixture.h"

namespace {

std::wstring FormRecord()
{
    BSTR bstr = StandIn_FormRecord();
    std::wstring s = bstr ? bstr : L"";
    SysFreeString(bstr);
    return s;
}

// The document fixture with two documents more: one with a single version, one with three.
class SelectionTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        m_lSingle = AddDocument(L"LIB");
        m_lThree = AddDocument(L"LIB");
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lThree, L"2", "2", 1, L""));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", m_lThree, L"3", "3", 1, L""));
        StandIn_ClearFaults();
    }

    void TearDown() override
    {
        StandIn_ScriptForms(nullptr);
        DocumentTest::TearDown();
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

    LONG m_lSingle = 0;
    LONG m_lThree = 0;
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
    struct Operation
    {
        std::wstring script;
        std::function<HRESULT(ICVDocumentProvider7*, BSTR*)> select;
        std::wstring expected;
    };
    const Operation operations[] = {
        {L"select " + Id(m_lThree, L"") + L"\nversion 2",
         [](ICVDocumentProvider7* p, BSTR* pbstr) { return p->SelectDocument(3, _bstr_t(L""), pbstr); },
         Id(m_lThree, L"2")},
        {L"version 3",
         [&](ICVDocumentProvider7* p, BSTR* pbstr) {
             return p->SelectDocumentEx(3, _bstr_t(L""), _bstr_t(Id(m_lThree, L"1").c_str()), pbstr);
         },
         Id(m_lThree, L"3")},
    };
    for (const Operation& operation : operations)
    {
        std::wstring chosen;
        fault_harness::RunWithFaultAtEachCall([&](ICVDocumentProvider7*) { Script(operation.script); },
                                              [&](ICVDocumentProvider7* p) {
                                                  BSTR bstr = nullptr;
                                                  const HRESULT hr = operation.select(p, &bstr);
                                                  chosen = bstr ? bstr : L"";
                                                  SysFreeString(bstr);
                                                  return hr;
                                              },
                                              [&](const fault_harness::FaultRun& run) {
                                                  EXPECT_TRUE(run.hr != S_OK || chosen == operation.expected)
                                                      << run.Where() << ": " << std::string(chosen.begin(), chosen.end());
                                              });
    }
}

}  // namespace

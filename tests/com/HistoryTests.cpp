// History events through the provider: the five event types as the DMS records them, refused
// types, unknown documents, a DMS that refuses the entry and a fault at every DMS call; with the
// profile display that is not offered and the custom commands other than the dialog's.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "DocumentFixture.h"

namespace {

class HistoryTest : public DocumentTest
{
protected:
    HRESULT Add(long lType, long lParam1, long lParam2, const wchar_t* pszText, const wchar_t* pszSecond = L"unused")
    {
        return m_pProvider->AddHistoryEvent(Id(m_lDoc, L"2"), lType, lParam1, lParam2, _bstr_t(pszText),
                                            _bstr_t(pszSecond));
    }

    // The document's history, one line per event: description, text, numbers and user.
    std::vector<std::wstring> History()
    {
        BSTR bstr = StandIn_ListHistory(L"LIB", m_lDoc);
        std::wistringstream lines(bstr ? bstr : L"");
        SysFreeString(bstr);
        std::vector<std::wstring> entries;
        for (std::wstring line; std::getline(lines, line);)
            entries.push_back(line);
        return entries;
    }
};

TEST_F(HistoryTest, RecordsEachEventTypeAsTheDmsExpectsIt)
{
    for (long lType = 1; lType <= 5; ++lType)
        EXPECT_EQ(S_OK, Add(lType, 10 * lType, 100 + lType, L"Corvane Viewer", L"second text goes nowhere")) << lType;
    const std::vector<std::wstring> expected = {
        L"Launch document\tCorvane Viewer\t10\t101\talice",
        L"View   document\tCorvane Viewer\t20\t102\talice",
        L"Print  document\tCorvane Viewer\t30\t103\talice",
        L"Mail Copy\t\t0\t0\talice",  // a mailed copy is only named
        L"Modify document\tCorvane Viewer\t50\t105\talice",
    };
    EXPECT_EQ(expected, History());

    // Unknown types are refused before the profile is asked for anything.
    for (long lType : {0L, 6L, -1L})
    {
        StandIn_ClearFaults();
        EXPECT_EQ(E_FAIL, Add(lType, 1, 2, L"x")) << lType;
        EXPECT_EQ(0, StandIn_CallCount(L"IProfile::AddHistory")) << lType;
    }
    // An unknown document has no history to add to.
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->AddHistoryEvent(_bstr_t(L"PowerDocs://LIB/999999/1"), 1, 0, 0, _bstr_t(L"a"),
                                                 _bstr_t(L"b")));
    EXPECT_EQ(expected.size(), History().size());

    EXPECT_EQ(E_NOTIMPL, m_pProvider->DisplayProfile(Id(m_lDoc, L"1"), 0));
}

// Whichever DMS call fails, the host hears a failure code, or the entry was recorded whole;
// none leaves a half entry or a DMS object.
TEST_F(HistoryTest, DmsFailuresLeaveNoEntryAndNoObject)
{
    fault_harness::RunWithFaultAtEachCall(
        [&](ICVDocumentProvider7*) { Reseed(); },
        [&](ICVDocumentProvider7* p) {
            return p->AddHistoryEvent(Id(m_lDoc, L"2"), 3, 1, 2, _bstr_t(L"app"), _bstr_t(L"unused"));
        },
        [&](const fault_harness::FaultRun& run) {
            const std::vector<std::wstring> entries = History();
            EXPECT_EQ(SUCCEEDED(run.hr) ? 1u : 0u, entries.size()) << run.Where();
            if (!entries.empty())
            {
                EXPECT_EQ(L"Print  document\tapp\t1\t2\talice", entries[0]) << run.Where();
            }
        });
}

TEST_F(HistoryTest, CustomCommandsOtherThanZeroShowNothing)
{
    ICVCustomCommand2Ptr pCommand(m_pProvider);
    ASSERT_TRUE(pCommand);
    // A modal window would block this thread: returning at all means none was shown.
    for (long lCommand : {1L, 2L, -1L})
        EXPECT_EQ(S_OK, pCommand->InvokeCustomCommand(lCommand, 0)) << lCommand;
}

}  // namespace

// File formats, the save choice and the conversion of the host's save-options mask.
#include <gtest/gtest.h>

#include <cstring>

#include "save/FileFormats.h"
#include "save/SaveAsDlg.h"

namespace {

const wchar_t kDocAndRtf[] = L"Word Document (*.doc)|*.doc|Rich Text (*.rtf)|*.rtf";

TEST(CFileFormats, MatchesThreeCharacterExtensionsByFormatNumber)
{
    const CFileFormats formats(kDocAndRtf);
    EXPECT_EQ(2, formats.FindFormat(L"RTF", 1));
    EXPECT_EQ(1, formats.FindFormat(L"doc", 2));
    EXPECT_EQ(7, formats.FindFormat(L"txt", 7)) << "not found: the format given";
    for (int i : {0, 1, 2, 3})
        EXPECT_EQ(i == 1 ? L"doc" : i == 2 ? L"rtf" : L"", formats.GetExtForIndex(i)) << i;
    // Descriptions never count as patterns, however they end.
    EXPECT_EQ(5, formats.FindFormat(L"oc)", 5));

    // Only three characters of a pattern take part: a four-letter extension never matches.
    const CFileFormats wide(L"Word (*.docx)|*.docx|Text|*.txt");
    EXPECT_EQ(L"ocx", wide.GetExtForIndex(1));
    EXPECT_EQ(9, wide.FindFormat(L"docx", 9));
    EXPECT_EQ(1, wide.FindFormat(L"OCX", 9));

    // Runs of separators count as one; a pattern shorter than three characters has no extension.
    const CFileFormats ragged(L"||Any|*||Text||*.txt|");
    EXPECT_EQ(L"", ragged.GetExtForIndex(1));
    EXPECT_EQ(2, ragged.FindFormat(L"TXT", 3));

    // Only the first 511 characters count: the second pattern ends exactly there, the third beyond.
    std::wstring list = L"A|*.doc|" + std::wstring(511 - 8 - 6, L'x') + L"|*.rtf";
    const CFileFormats cut((list + L"||C|*.txt").c_str());
    EXPECT_EQ(L"rtf", cut.GetExtForIndex(2));
    EXPECT_EQ(L"", cut.GetExtForIndex(3));
}

TEST(CSaveAsDlg, TheMaskDecidesTheChoicesAndTheDefault)
{
    // pszAvailable: the choices 1..5 that are offered, as digits.
    const struct { bool bVersion; long lMask; bool bPrepared; const char* pszAvailable; int nDefault; bool bSaveAsType; } cases[] = {
        {true, 0x40, false, "", 0, false},
        {false, 0x4, false, "", 0, false},
        {false, 0x1 | 0x8, false, "", 0, false},
        {true, 0x1 | 0x2, true, "14", SAVE_CHOICE_ATTACHMENT, true},
        {false, 0x1 | 0x2, true, "1", SAVE_CHOICE_NEW_DOCUMENT, true},
        {false, 0x2 | 0x4 | 0x8, true, "1", SAVE_CHOICE_NEW_DOCUMENT, true},
        {true, 0x4, true, "25", SAVE_CHOICE_NEW_VERSION, false},
        {true, 0x8, true, "3", SAVE_CHOICE_REPLACE_ORIGINAL, false},
        {true, 0x2 | 0x4 | 0x8, true, "1235", SAVE_CHOICE_NEW_DOCUMENT, true},
        {true, 0xF, true, "12345", SAVE_CHOICE_ATTACHMENT, true},
        {true, 0x4 | 0x40 | 0x100, true, "25", SAVE_CHOICE_NEW_VERSION, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << c.lMask << (c.bVersion ? " with" : " without")
                                        << " a version");
        CSaveAsDlg dlg(0, L"");
        // A first preparation that allows everything must not leak into the second.
        long lFirstIndex = 9;
        ASSERT_TRUE(dlg.PrepareSaveAsDlg(true, 0xF, &lFirstIndex, L"x|*.xyz"));
        long lIndex = 2;
        EXPECT_EQ(c.bPrepared, dlg.PrepareSaveAsDlg(c.bVersion, c.lMask, &lIndex, kDocAndRtf));
        if (!c.bPrepared)
            continue;
        for (int nChoice = 1; nChoice <= 5; ++nChoice)
            EXPECT_EQ(strchr(c.pszAvailable, '0' + nChoice) != nullptr, dlg.IsChoiceAvailable(nChoice)) << nChoice;
        EXPECT_EQ(c.nDefault, dlg.GetDefaultChoice());
        EXPECT_EQ(c.bSaveAsType, dlg.UsesSaveAsType());
        EXPECT_EQ((c.lMask & 0x2) != 0, dlg.IsLibraryListAllowed());
        EXPECT_EQ((c.lMask & 0x40) != 0, dlg.IsSilent());
        EXPECT_EQ(2, dlg.GetFormatIndex());
    }
}

TEST(CSaveAsDlg, WithoutSaveAsTypeTheRecordsExtensionStandsOnlyForItsOwnFormat)
{
    CSaveAsDlg dlg(0, L"");
    long lIndex = 1;
    ASSERT_TRUE(dlg.PrepareSaveAsDlg(true, 0x4, &lIndex, kDocAndRtf));
    const struct { long lIndex; const wchar_t* pszRecord; const wchar_t* pszExpected; } cases[] = {
        {1, L"DOC", L"DOC"}, {1, L"rtf", L"doc"}, {1, L"txt", L"txt"},
        {2, L"txt", L"rtf"}, {2, L"", L"rtf"}, {2, L"rtf", L"rtf"}, {3, L"txt", L""}};
    for (const auto& c : cases)
    {
        long lFormat = c.lIndex;
        EXPECT_EQ(c.pszExpected, dlg.GetSaveExtension(kDocAndRtf, &lFormat, c.pszRecord))
            << c.lIndex << " " << testing::PrintToString(std::wstring(c.pszRecord));
        EXPECT_EQ(c.lIndex, lFormat);
    }
}

}  // namespace

// File formats, the save choice and the conversion of the host's save-options mask.
#include <gtest/gtest.h>

#include <string>

#include "save/FileFormats.h"
#include "save/SaveAsDlg.h"
#include "save/SaveAsDlgBase.h"

namespace {

const wchar_t kDocAndRtf[] = L"Word Document (*.doc)|*.doc|Rich Text (*.rtf)|*.rtf";

TEST(CFileFormats, MatchesThreeCharacterExtensionsByFormatNumber)
{
    const CFileFormats formats(kDocAndRtf);
    EXPECT_EQ(2, formats.FindFormat(L"RTF", 1));
    EXPECT_EQ(1, formats.FindFormat(L"doc", 2));
    EXPECT_EQ(1, formats.FindFormat(L"txt", 1));
    EXPECT_EQ(7, formats.FindFormat(L"txt", 7));
    EXPECT_EQ(L"doc", formats.GetExtForIndex(1));
    EXPECT_EQ(L"rtf", formats.GetExtForIndex(2));
    EXPECT_EQ(L"", formats.GetExtForIndex(3));
    EXPECT_EQ(L"", formats.GetExtForIndex(0));
    EXPECT_EQ(L"", formats.GetExtForIndex(-1));
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
    EXPECT_EQ(L"txt", ragged.GetExtForIndex(2));
    EXPECT_EQ(3, ragged.FindFormat(L"", 3));
    EXPECT_EQ(2, ragged.FindFormat(L"TXT", 3));
}

TEST(CFileFormats, KeepsOnlyTheFirst511Characters)
{
    // The second pattern ends exactly at character 511, the third just beyond.
    std::wstring list = L"A|*.doc|";
    list += std::wstring(511 - list.size() - 6, L'x') + L"|*.rtf";
    ASSERT_EQ(511u, list.size());
    list += L"||C|*.txt";
    const CFileFormats formats(list.c_str());
    EXPECT_EQ(L"rtf", formats.GetExtForIndex(2));
    EXPECT_EQ(L"", formats.GetExtForIndex(3));
    EXPECT_EQ(1, formats.FindFormat(L"txt", 1));
    EXPECT_EQ(2, formats.FindFormat(L"rtf", 1));
}

TEST(SaveAsDlgBase, EveryChoiceEnablesTheCommentAndOnlyNewDocumentTheLibraries)
{
    const SaveAsDlgBase none;
    EXPECT_EQ(SAVE_CHOICE_NONE, none.GetUserChoice());
    EXPECT_TRUE(none.GetCommentEnabled());
    EXPECT_FALSE(none.GetLibraryListEnabled());

    SaveAsDlgBase base(SAVE_CHOICE_NEW_DOCUMENT);
    EXPECT_TRUE(base.GetLibraryListEnabled());
    for (int nChoice : {SAVE_CHOICE_NEW_VERSION, SAVE_CHOICE_REPLACE_ORIGINAL, SAVE_CHOICE_ATTACHMENT,
                        SAVE_CHOICE_NEW_SUBVERSION})
    {
        base.SetUserChoice(nChoice);
        EXPECT_EQ(nChoice, base.GetUserChoice());
        EXPECT_TRUE(base.GetCommentEnabled());
        EXPECT_FALSE(base.GetLibraryListEnabled()) << nChoice;
    }
    const SaveAsDlgBase source(SAVE_CHOICE_NEW_DOCUMENT);
    const SaveAsDlgBase copy(source);
    base = copy;
    EXPECT_EQ(SAVE_CHOICE_NEW_DOCUMENT, base.GetUserChoice());
    EXPECT_TRUE(base.GetLibraryListEnabled());
}

TEST(CSaveAsDlg, TheMaskDecidesTheChoicesAndTheDefault)
{
    const struct
    {
        bool bVersion;
        long lMask;
        bool bPrepared;
        const char* pszAvailable;  // choices 1..5 that are offered, as digits
        int nDefault;
        bool bSaveAsType;
    } cases[] = {
        {true, 0x40, false, "", 0, false},
        {true, 0x0, false, "", 0, false},
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
        const std::string available(c.pszAvailable);
        for (int nChoice = 1; nChoice <= 5; ++nChoice)
            EXPECT_EQ(available.find(char('0' + nChoice)) != std::string::npos, dlg.IsChoiceAvailable(nChoice))
                << "choice " << nChoice;
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
    const struct
    {
        long lIndex;
        const wchar_t* pszRecord;
        const wchar_t* pszExpected;
    } cases[] = {
        {1, L"doc", L"doc"}, {1, L"DOC", L"DOC"}, {1, L"rtf", L"doc"}, {1, L"txt", L"txt"},
        {2, L"txt", L"rtf"}, {2, L"", L"rtf"},    {2, L"rtf", L"rtf"}, {3, L"txt", L""},
    };
    for (const auto& c : cases)
    {
        long lFormat = c.lIndex;
        EXPECT_EQ(c.pszExpected, dlg.GetSaveExtension(kDocAndRtf, &lFormat, c.pszRecord))
            << c.lIndex << " " << testing::PrintToString(std::wstring(c.pszRecord));
        EXPECT_EQ(c.lIndex, lFormat);
    }
}

}  // namespace

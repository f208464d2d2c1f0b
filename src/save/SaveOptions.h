#pragma once
// The two vocabularies of a save: the host's save-options mask (which kinds of save it allows)
// and the save choice (the one kind of save the user, or the default, picks).

// Bits of the save-options mask; other bits are ignored.
constexpr long SAVE_OPTION_ATTACHMENT = 0x1;      // "Attachment" may be chosen (needs a version)
constexpr long SAVE_OPTION_NEW_DOCUMENT = 0x2;    // "New Document" may be chosen
constexpr long SAVE_OPTION_NEW_VERSION = 0x4;     // "New Version" and "New Subversion" (need a version)
constexpr long SAVE_OPTION_REPLACE = 0x8;         // "Replace Original" may be chosen (needs a version)
constexpr long SAVE_OPTION_SILENT = 0x40;         // no dialog: carry out the default choice at once
constexpr long SAVE_OPTION_ANY_CHOICE =
    SAVE_OPTION_ATTACHMENT | SAVE_OPTION_NEW_DOCUMENT | SAVE_OPTION_NEW_VERSION | SAVE_OPTION_REPLACE;

// The save choice; 0 means none was made yet.
enum SaveChoice : int
{
    SAVE_CHOICE_NONE = 0,
    SAVE_CHOICE_NEW_DOCUMENT = 1,
    SAVE_CHOICE_NEW_VERSION = 2,
    SAVE_CHOICE_REPLACE_ORIGINAL = 3,
    SAVE_CHOICE_ATTACHMENT = 4,
    SAVE_CHOICE_NEW_SUBVERSION = 5,
};

#pragma once
// SaveAsDlgBase: the save choice and the two control states that follow from it (comment
// enabled, library list enabled). Base of the Save As dialog's state.
#include "save/SaveOptions.h"

class SaveAsDlgBase
{
public:
    SaveAsDlgBase() = default;
    explicit SaveAsDlgBase(int nChoice) { SetUserChoice(nChoice); }
    SaveAsDlgBase(const SaveAsDlgBase&) = default;
    SaveAsDlgBase& operator=(const SaveAsDlgBase&) = default;
    virtual ~SaveAsDlgBase() = default;

    // Every choice enables the comment; only New Document enables the library list.
    void SetUserChoice(int nChoice)
    {
        m_nChoice = nChoice;
        m_bCommentEnabled = true;
        m_bLibraryListEnabled = nChoice == SAVE_CHOICE_NEW_DOCUMENT;
    }
    int GetUserChoice() const { return m_nChoice; }
    bool GetCommentEnabled() const { return m_bCommentEnabled; }
    bool GetLibraryListEnabled() const { return m_bLibraryListEnabled; }

private:
    int m_nChoice = SAVE_CHOICE_NONE;
    bool m_bCommentEnabled = true;
    bool m_bLibraryListEnabled = false;
};

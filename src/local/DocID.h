#pragma once
// Document IDs: a scheme, then library, number and version, as in "PowerDocs://LIB/1234/2".
// One reader takes every spelling apart (any scheme, "\" or "/" between the fields, the ODMA
// form "::ODMA\PCDOCS\LIB\1234\2" in any letter case) and one writer puts the fields together;
// every operation goes through them. All functions accept any input; none throws short of
// running out of memory.
#include <windows.h>

#include "framework/StdStr.h"

// The scheme in the spellings the component writes: records filled from a version, imports and
// selections; a version's own ID (listing, latest version, new version); IDs it translated
// (ODMA IDs, offline copies).
constexpr wchar_t DOCID_SCHEME[] = L"PowerDocs://";
constexpr wchar_t DOCID_SCHEME_VERSION[] = L"PowerDOCS://";
constexpr wchar_t DOCID_SCHEME_TRANSLATED[] = L"powerdocs://";
// What an ID of a document kept in the host's offline store starts with, before its scheme.
constexpr wchar_t DOCID_OFFLINE_PREFIX[] = L"offline://";

// The fields of an ID as written (the number as text), and the text they were read from.
struct DocIDFields
{
    CStdStr strLibrary;
    CStdStr strNumber;
    CStdStr strVersion;
    CStdStr strBody;  // everything after the scheme or the ODMA prefix
    // The number as the standard wide-string-to-long conversion reads it (no digits give 0).
    long Number() const;
};

enum class DocIDForm
{
    None,    // neither a scheme ("//") nor the ODMA prefix: the fields are empty
    Scheme,  // the fields follow the first "//"
    Odma,    // the fields follow "::odma\pcdocs\" (any letter case); text before it is dropped
};

// Reads the fields from the body: the library up to the first "\" or "/", the number up to the
// next, the version the rest (further separators included). A body without a separator is all
// number; with one, a missing second leaves the version empty.
DocIDForm ParseDocID(const CStdStr& strID, DocIDFields& fields);

// scheme + library + "/" + number + "/" + version.
CStdStr FormatDocID(const wchar_t* pszScheme, const CStdStr& strLibrary, const CStdStr& strNumber,
                    const CStdStr& strVersion);
CStdStr FormatDocID(const wchar_t* pszScheme, const CStdStr& strLibrary, long lNumber, const CStdStr& strVersion);

// Turns an ODMA ID into the translated form, all in lower case, mapping an offline library copy
// back to its online library (EnsureOnlineDocIdAndLibrary). Without the prefix it returns
// E_FAIL, leaving strDocID untouched.
HRESULT TranslateOdmaID(const CStdStr& strOdmaID, CStdStr& strDocID);

// If the library names an offline copy ("online_owner") and the current user's offline records
// hold a "DocNumber" for that owner's document, replaces library and number by the online ones.
// A missing record leaves both unchanged.
void EnsureOnlineDocIdAndLibrary(CStdStr& strLibrary, CStdStr& strDocNumber);

// The ID of an attachment: the source version's ID with the attachment label in the version's
// place, in the source's own scheme spelling (just the label when the source is no ID).
CStdStr FormatAttachmentDocID(const CStdStr& strSourceDocID, const CStdStr& strAttachmentLabel);

#pragma once
// Document IDs: "PowerDocs://" + library + "/" + number + "/" + version (the scheme is written
// in three spellings; readers ignore it and find the fields by their separators alone).
// Taking IDs apart, turning ODMA IDs into IDs, and the forms that each producer writes.
// All functions are stateless and accept any input; none throws short of running out of memory.
#include <windows.h>

#include "framework/StdStr.h"

// The text in lower case by the classic locale's rules (letter case of IDs and paths).
CStdStr ToLowerClassic(CStdStr str);

// Splits an ID at the first "//", then at "\" or "/": library, number (read as the standard
// wide-string-to-long conversion reads it; no digits give 0) and version (the rest, further
// separators included). Returns false, with empty fields and 0, when there is no "//".
bool SplitDocID(const CStdStr& strDocID, CStdStr& strLibrary, long& lDocNumber, CStdStr& strVersion);

// Turns an ODMA ID ("::ODMA\PCDOCS\" + library + "\" + number + "\" + version, prefix in any
// letter case) into "powerdocs://library/number/version", all in lower case, mapping an offline
// library copy back to its online library (EnsureOnlineDocIdAndLibrary). Without the prefix it
// returns E_FAIL, leaving strDocID untouched.
HRESULT TranslateOdmaID(const CStdStr& strOdmaID, CStdStr& strDocID);

// If the library names an offline copy ("online_owner") and the current user's offline records
// hold a "DocNumber" for that owner's document, replaces library and number by the online ones.
// A missing record leaves both unchanged; the version is never changed.
void EnsureOnlineDocIdAndLibrary(CStdStr& strLibrary, CStdStr& strDocNumber, const CStdStr& strVersion);

// "PowerDocs://%s/%d/%s": the ID written into a document record filled from a DMS version.
CStdStr FormatProfileDocID(const CStdStr& strLibrary, long lDocNumber, const CStdStr& strVersion);

// "PowerDocs://%s/%d/1": the ID of a newly imported document (always its first version).
CStdStr FormatImportedDocID(const CStdStr& strLibrary, long lDocNumber);

// "PowerDocs://" + library + "/" + number + "/" + version: the ID of a document chosen in the
// DMS selection form.
CStdStr FormatSelectedDocID(const CStdStr& strLibrary, long lDocNumber, const CStdStr& strVersion);

// The ID of an attachment: the source version's ID up to and including its last "/", then the
// attachment label in the version's place (just the label when the source has no "/").
CStdStr FormatAttachmentDocID(const CStdStr& strSourceDocID, const CStdStr& strAttachmentLabel);

#pragma once
// The provider's private temporary folder, unique temporary files and placeholder files (a file
// that stands in for a document until its real content is copied over it), and the file-name
// clean-up they use. The folder path and the name counter are process-wide and unguarded: the
// component calls these on its apartment thread.
#include "framework/StdStr.h"

// "<system temp>\Corvane\cmtemp<pid in lower-case hex>\", computed once per process; the folder
// is created again whenever it has gone missing.
CStdStr GetTempFolder();

// Creates a new empty file "~ctfXXXXXXXX" in the temporary folder, with the given extension
// ("doc" and ".doc" alike; none when empty). Returns its path, or "" after five failed tries.
CStdStr CreateUniqueTempFile(const CStdStr& strExtension);

// Copies a file into a new unique file of the temporary folder (named as CreateUniqueTempFile
// names one, at most 240 characters) and returns its path; "" when the copy failed.
CStdStr CopyToUniqueTempFile(const CStdStr& strSource, const CStdStr& strExtension);

// Creates a placeholder file holding three lines of text and returns its path ("" on failure).
// With a name the file is that name (cleaned) in the temporary folder, and the extension is not
// used; without one it is a unique temporary file with the extension (".tmp" when empty).
// Paths longer than 240 characters are shortened, keeping the extension.
CStdStr CreatePlaceholderFile(const CStdStr& strName, const CStdStr& strExtension);

// Replaces each of / * ? < > | " \ : by "_".
void ReplaceInvalidFileNameChars(CStdStr& strName);

// A path longer than the limit is cut to exactly the limit, keeping the text from its last "."
// on; a path within the limit is returned as it is.
CStdStr TruncatePath(const CStdStr& strPath, size_t nLimit);

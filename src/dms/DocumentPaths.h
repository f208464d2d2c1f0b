#pragma once
// Path and name pieces used when documents are fetched and described.
#include "framework/StdStr.h"

// The text up to and including the last "\" (empty when there is none).
CStdStr GetPathOnly(const CStdStr& strPath);
// The text after the last "\" (the whole text when there is none).
CStdStr GetFileNameOnly(const CStdStr& strPath);

// The cache file-name form of a document: library + "-#" + number + "-v" + version + "-" +
// name with spaces made "_". The ID is taken apart by forward slashes behind its "//".
CStdStr DescribeDocID(const CStdStr& strDocID, const CStdStr& strName);

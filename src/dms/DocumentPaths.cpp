#include "dms/DocumentPaths.h"

#include <algorithm>

CStdStr GetPathOnly(const CStdStr& strPath)
{
    size_t slash = strPath.rfind(L'\\');
    return slash == CStdStr::npos ? CStdStr() : CStdStr(strPath.substr(0, slash + 1));
}

CStdStr GetFileNameOnly(const CStdStr& strPath)
{
    size_t slash = strPath.rfind(L'\\');
    return slash == CStdStr::npos ? strPath : CStdStr(strPath.substr(slash + 1));
}

CStdStr DescribeDocID(const CStdStr& strDocID, const CStdStr& strName)
{
    const size_t scheme = strDocID.find(L'/');
    const CStdStr strRest = scheme == CStdStr::npos ? CStdStr() : CStdStr(strDocID.substr(std::min(scheme + 2, strDocID.size())));
    const size_t first = strRest.find(L'/');
    const size_t last = strRest.rfind(L'/');
    const CStdStr strLibrary = strRest.substr(0, first);
    const CStdStr strNumber =
        first == CStdStr::npos || last <= first ? CStdStr() : CStdStr(strRest.substr(first + 1, last - first - 1));
    const CStdStr strVersion = last == CStdStr::npos ? CStdStr() : CStdStr(strRest.substr(last + 1));
    CStdStr strFileName = strName;
    for (wchar_t& c : strFileName)
        if (c == L' ')
            c = L'_';
    return strLibrary + L"-#" + strNumber + L"-v" + strVersion + L"-" + strFileName;
}

#include "dms/PowerDocsDocInfo.h"

#include <string>

CPowerDocsDocInfo::CPowerDocsDocInfo(long lDocNumber, const CStdStr& strLibraryName, const CStdStr& strVersionLabel)
    : m_lDocNumber(lDocNumber), m_strLibraryName(strLibraryName), m_strVersionLabel(strVersionLabel)
{
}

CStdStr CPowerDocsDocInfo::AsDocID() const
{
    return L"PowerDOCS://" + m_strLibraryName + L"/" + std::to_wstring(m_lDocNumber) + L"/" + m_strVersionLabel;
}

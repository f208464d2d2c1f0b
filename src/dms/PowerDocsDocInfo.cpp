#include "dms/PowerDocsDocInfo.h"

#include <string>

#include "dms/DmsValues.h"
#include "framework/Logging.h"

CPowerDocsDocInfo::CPowerDocsDocInfo(long lDocNumber, const CStdStr& strLibraryName, const CStdStr& strVersionLabel)
    : m_lDocNumber(lDocNumber), m_strLibraryName(strLibraryName), m_strVersionLabel(strVersionLabel)
{
}

CStdStr CPowerDocsDocInfo::AsDocID() const
{
    return L"PowerDOCS://" + m_strLibraryName + L"/" + std::to_wstring(m_lDocNumber) + L"/" + m_strVersionLabel;
}

bool CPowerDocsDocInfo::Populate(IVersionPtr pVersion)
{
    try
    {
        IProfilePtr pProfile = ProfileOf(pVersion);
        const CStdStr strLibrary = LibraryNameOf(pProfile);
        long lNumber = 0;
        DmsCheck(pProfile->get_DocNumber(&lNumber));
        const CStdStr strLabel = VersionLabelOf(pVersion);
        m_strLibraryName = strLibrary;
        m_lDocNumber = lNumber;
        m_strVersionLabel = strLabel;
        return true;
    }
    catch (...)
    {
        LOG_ERROR(L"CPowerDocsDocInfo::Populate", L"Caught unknown error");
        return false;
    }
}

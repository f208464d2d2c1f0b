#include "dms/PowerDocsDocInfo.h"

#include <string>

#include <corvane/QuendrelResults.h>

#include "dms/DmsValues.h"
#include "framework/Logging.h"
#include "local/DocID.h"

CPowerDocsDocInfo::CPowerDocsDocInfo(long lDocNumber, const CStdStr& strLibraryName, const CStdStr& strVersionLabel)
    : m_lDocNumber(lDocNumber), m_strLibraryName(strLibraryName), m_strVersionLabel(strVersionLabel)
{
}

CStdStr CPowerDocsDocInfo::AsDocID() const
{
    return FormatDocID(DOCID_SCHEME_VERSION, m_strLibraryName, m_lDocNumber, m_strVersionLabel);
}

bool CPowerDocsDocInfo::Populate(IVersionPtr pVersion)
{
    try
    {
        IProfilePtr pProfile = ProfileOf(pVersion);
        const CStdStr strLibrary = LibraryNameOf(pProfile);
        long lNumber = 0;
        DmsCheckNumber(pProfile, pProfile->get_DocNumber(&lNumber));
        // A DMS that answers without a value names no document: never an ID of nothing.
        if (strLibrary.empty() || lNumber <= 0)
            _com_issue_error(E_PD_NO_DOCUMENT_FOR_ID);
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

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
        IProfilePtr pProfile;
        DmsCheck(pVersion->GetProfile(&pProfile));
        ILibraryPtr pLibrary;
        DmsCheck(pProfile->get_Library(&pLibrary));
        _bstr_t bstrLibrary;
        DmsCheck(pLibrary->get_Name(bstrLibrary.GetAddress()));
        long lNumber = 0;
        DmsCheck(pProfile->get_DocNumber(&lNumber));
        _bstr_t bstrLabel;
        DmsCheck(pVersion->get_Label(bstrLabel.GetAddress()));
        m_strLibraryName = DmsText(bstrLibrary);
        m_lDocNumber = lNumber;
        m_strVersionLabel = DmsText(bstrLabel);
        return true;
    }
    catch (...)
    {
        LOG_ERROR(L"CPowerDocsDocInfo::Populate", L"Caught unknown error");
        return false;
    }
}

#pragma once
// CPowerDocsDocInfo: document number, library name and version label of one DMS version, and
// the document ID that names it.
#include "dms/DmsTypes.h"
#include "framework/StdStr.h"

class CPowerDocsDocInfo
{
public:
    CPowerDocsDocInfo() = default;
    CPowerDocsDocInfo(long lDocNumber, const CStdStr& strLibraryName, const CStdStr& strVersionLabel);

    // "PowerDOCS://" + library + "/" + number in decimal + "/" + version.
    CStdStr AsDocID() const;

    // Fills the record from a DMS version: its profile's library name and document number
    // and its label. False (logged) when the DMS cannot tell.
    bool Populate(IVersionPtr pVersion);
    // True when library, number and label are all known, so that the ID names one version.
    bool IsComplete() const { return m_lDocNumber > 0 && !m_strLibraryName.empty() && !m_strVersionLabel.empty(); }

    long m_lDocNumber = 0;
    CStdStr m_strLibraryName;
    CStdStr m_strVersionLabel;
};

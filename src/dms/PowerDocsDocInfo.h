#pragma once
// CPowerDocsDocInfo: document number, library name and version label of one DMS version, and
// the document ID that names it. A plain value; filled from a DMS version by the DMS layer.
#include "framework/StdStr.h"

class CPowerDocsDocInfo
{
public:
    CPowerDocsDocInfo() = default;
    CPowerDocsDocInfo(long lDocNumber, const CStdStr& strLibraryName, const CStdStr& strVersionLabel);

    // "PowerDOCS://" + library + "/" + number in decimal + "/" + version.
    CStdStr AsDocID() const;

    long m_lDocNumber = 0;
    CStdStr m_strLibraryName;
    CStdStr m_strVersionLabel;
};

#pragma once
// Value records that mirror the host structures CVDOCUMENT, CVDOCUMENTVERSION and CVFILEINFO.
// The records own their strings; BSTR ownership stays at the conversions (ToCom and the
// constructors from host structures).
#include <windows.h>
#include <oleauto.h>

#include <corvane/CorvaneHost.h>

#include "framework/StdStr.h"

// Reads a BSTR that the host handed over as a zero-terminated string: its length prefix is not
// consulted, so a plain wide string reads whole. Unreadable memory, a null BSTR or a text that
// runs into unreadable memory before its terminator give the empty string.
CStdStr StdStrFromBstr(const BSTR* pbstrPlace);
inline CStdStr StdStrFromBstr(BSTR bstr) { return StdStrFromBstr(&bstr); }

// A fresh BSTR copy of the string; raises _com_error(E_OUTOFMEMORY) when allocation fails.
BSTR BstrFromStdStr(const CStdStr& str);

// Replaces the BSTR in *pbstr with a fresh copy of str, freeing the old one; raises
// _com_error(E_OUTOFMEMORY) and leaves *pbstr as it was when the copy cannot be made.
void ReplaceBstr(BSTR* pbstr, const CStdStr& str);

// True when [p, p + cb) lies in committed, readable memory.
bool IsReadableMemory(const void* p, size_t cb);

class CVDocNonCom
{
public:
    CVDocNonCom() = default;
    explicit CVDocNonCom(const CVDOCUMENT* pDoc);
    CVDocNonCom(const CVDocNonCom&) = default;
    CVDocNonCom& operator=(const CVDocNonCom&) = default;
    virtual ~CVDocNonCom() = default;

    void Clear();
    // Frees the BSTRs that *pDoc holds and stores fresh copies; E_POINTER for null.
    HRESULT ToCom(CVDOCUMENT* pDoc) const;

    CStdStr GetDocID() const { return m_strDocID; }
    void SetDocID(const CStdStr& s) { m_strDocID = s; }
    CStdStr GetLocalFile() const { return m_strLocalFile; }
    void SetLocalFile(const CStdStr& s) { m_strLocalFile = s; }
    CStdStr GetName() const { return m_strName; }
    void SetName(const CStdStr& s) { m_strName = s; }
    CStdStr GetExtension() const { return m_strExtension; }
    void SetExtension(const CStdStr& s) { m_strExtension = s; }
    CStdStr GetAppID() const { return m_strAppID; }
    void SetAppID(const CStdStr& s) { m_strAppID = s; }
    CStdStr GetTypeID() const { return m_strTypeID; }
    void SetTypeID(const CStdStr& s) { m_strTypeID = s; }
    CStdStr GetAuthorID() const { return m_strAuthorID; }
    void SetAuthorID(const CStdStr& s) { m_strAuthorID = s; }
    CStdStr GetTypistID() const { return m_strTypistID; }
    void SetTypistID(const CStdStr& s) { m_strTypistID = s; }
    double GetVersionDate() const { return m_dtVersionDate; }
    void SetVersionDate(double dt) { m_dtVersionDate = dt; }
    LONG GetFileSizeHigh() const { return m_lFileSizeHigh; }
    void SetFileSizeHigh(LONG l) { m_lFileSizeHigh = l; }
    LONG GetFileSizeLow() const { return m_lFileSizeLow; }
    void SetFileSizeLow(LONG l) { m_lFileSizeLow = l; }
    LONG GetFlags() const { return m_lFlags; }
    void SetFlags(LONG l) { m_lFlags = l; }

private:
    CStdStr m_strDocID;
    CStdStr m_strLocalFile;
    CStdStr m_strName;
    CStdStr m_strExtension;
    CStdStr m_strAppID;
    CStdStr m_strTypeID;
    CStdStr m_strAuthorID;
    CStdStr m_strTypistID;
    double m_dtVersionDate = 0.0;
    LONG m_lFileSizeHigh = 0;
    LONG m_lFileSizeLow = 0;
    LONG m_lFlags = 0;
};

class CVDocumentVersionNoCom
{
public:
    CVDocumentVersionNoCom() = default;
    CVDocumentVersionNoCom(const CVDocumentVersionNoCom&) = default;
    CVDocumentVersionNoCom& operator=(const CVDocumentVersionNoCom&) = default;
    virtual ~CVDocumentVersionNoCom() = default;

    HRESULT ToCom(CVDOCUMENTVERSION* pVersion) const;

    const CVDocNonCom& GetDocument() const { return m_Document; }
    void SetDocument(const CVDocNonCom& doc) { m_Document = doc; }
    CStdStr GetVersionLabel() const { return m_strVersionLabel; }
    void SetVersionLabel(const CStdStr& s) { m_strVersionLabel = s; }

private:
    CVDocNonCom m_Document;
    CStdStr m_strVersionLabel;
};

class CVFileInfoNoCom
{
public:
    CVFileInfoNoCom() = default;
    CVFileInfoNoCom(const CVFileInfoNoCom&) = default;
    CVFileInfoNoCom& operator=(const CVFileInfoNoCom&) = default;
    virtual ~CVFileInfoNoCom() = default;

    // Stores a fresh copy of the ID without freeing what bstrID held, and the four numbers.
    HRESULT ToCom(CVFILEINFO* pInfo) const;

    CStdStr GetID() const { return m_strID; }
    void SetID(const CStdStr& s) { m_strID = s; }
    LONG GetMajor() const { return m_lMajor; }
    void SetMajor(LONG l) { m_lMajor = l; }
    LONG GetMinor() const { return m_lMinor; }
    void SetMinor(LONG l) { m_lMinor = l; }
    LONG GetBuild() const { return m_lBuild; }
    void SetBuild(LONG l) { m_lBuild = l; }
    LONG GetRevision() const { return m_lRevision; }
    void SetRevision(LONG l) { m_lRevision = l; }

private:
    CStdStr m_strID;
    LONG m_lMajor = 0;
    LONG m_lMinor = 0;
    LONG m_lBuild = 0;
    LONG m_lRevision = 0;
};

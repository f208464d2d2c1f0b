#pragma once
// DocIDResolver: recovers a document ID from the path of a file in the DMS client's local cache
// (the shadow folder or the local path). Resolves once, at construction; afterwards it only
// answers. Two cache forms are known, matched without regard to letter case, each capture the
// shortest text that lets the whole form match:
//   DM 6: a UNC path \\server\...\DMNFSL1\library\number\version\file (the whole path);
//   DM 5: a file name library-#number-vversion-rest (the text after the last "\").
#include "framework/StdStr.h"
#include "local/PowerDocsRegReader.h"

class DocIDResolver
{
public:
    // Resolves strLocalPath against the shadow folder and, failing that, the client's local
    // path; the registry reader tells the client generation (which form applies) and the local
    // path. An empty shadow folder contains every file. Never throws.
    DocIDResolver(const CStdStr& strLocalPath, const CStdStr& strShadowPath);
    DocIDResolver(const CStdStr& strLocalPath, const CStdStr& strShadowPath, const PowerDocsRegReader& reader);
    // The installed client's answer (a fresh registry reader's). Resolution itself asks the reader
    // it was given, since it runs during construction.
    virtual bool IsDM6Installed() const;

    // True when library, number and version were all captured non-empty.
    bool ResolvedOK() const { return m_bResolved; }
    // The captured pieces (each at most 999 characters); empty until captured.
    const CStdStr& LibraryName() const { return m_strLibraryName; }
    const CStdStr& DocumentNumber() const { return m_strDocumentNumber; }
    const CStdStr& VersionNumber() const { return m_strVersionNumber; }
    // "PowerDocs://library/number/version"; throws std::runtime_error when not resolved.
    CStdStr AsDocID() const;

    // True when the first n characters of the long form of strFile equal the long form of
    // strFolder (n its length), compared without regard to letter case. No separator test:
    // C:\Cache2\x lies within C:\Cache, and every file lies within "".
    static bool IsFileWithinFolder(const CStdStr& strFile, const CStdStr& strFolder);
    // The long form of an existing path (up to 2,600 characters), else the path unchanged.
    static CStdStr EnsureLongFilePath(const CStdStr& strPath);

private:
    void Resolve(const CStdStr& strFile, const CStdStr& strShadow, const PowerDocsRegReader& reader);
    void ResolveFileName(const CStdStr& strFile, const PowerDocsRegReader& reader);
    void ResolveDM5formFileName(const CStdStr& strFile);
    void ResolveDM6formFileName(const CStdStr& strFile);
    void ExtractDocInfo(const CStdStr& strText, const wchar_t* pszPattern);
    static void RemovePathInfo(CStdStr& strPath);

    bool m_bResolved = false;
    CStdStr m_strLibraryName;
    CStdStr m_strDocumentNumber;
    CStdStr m_strVersionNumber;
};

// Turns what the host hands to GetDocument into a document ID: an ODMA ID is written as a
// document ID ("PowerDocs://" form); in an ID with a scheme, the text after the scheme is tried
// as a cache path (in any folder). Anything else, an ordinary document ID included, comes back
// unchanged. Never throws.
CStdStr StripID(const CStdStr& strID);
CStdStr StripID(const CStdStr& strID, const PowerDocsRegReader& reader);

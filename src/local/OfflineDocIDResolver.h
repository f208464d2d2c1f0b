#pragma once
// OfflineDocIDResolver: translates document IDs between the online libraries and the per-user
// offline library copies that the client's offline component keeps while the DMS works offline.
// The offline component records, under HKEY_CURRENT_USER,
//   <attache location>\<online library>\<user>\<offline number>  "DocNumber" = online number.
// Nothing throws: a record that is not there (logged once) leaves the ID as it came.
#include <windows.h>

#include "framework/StdStr.h"

class OfflineDocIDResolver
{
public:
    OfflineDocIDResolver() = default;
    virtual ~OfflineDocIDResolver() = default;

    // Where the offline component keeps its records (tests point it elsewhere).
    virtual CStdStr GetAttacheLocation() const;

    // The ID in the offline copy of the first user (in registry order) who holds the document:
    // "powerdocs://" + library + "_" + user + "/" + offline number + "/" + version; else the ID.
    CStdStr ResolveToOfflineDocID(const CStdStr& strDocID) const;

    // For an ID in strUser's offline library: "offline://" + the online ID when the offline data
    // store lists that ID, "offline://" + strDocID when it does not; strDocID itself when the
    // offline record is missing. strUser is the current DMS user.
    CStdStr ResolveToOnlineDocID(const CStdStr& strDocID, const CStdStr& strUser) const;

protected:
    // Whether the host's offline data store holds a copy of the document.
    virtual bool IsDocOffline(const CStdStr& strDocID) const;

private:
    bool GetOfflineDocumentInfo(const CStdStr& strLibraryKey, const CStdStr& strDocNumber, CStdStr& strOfflineNumber,
                                CStdStr& strUser) const;
    bool SearchOfflineLibrary(const CStdStr& strUserKey, const CStdStr& strDocNumber, CStdStr& strOfflineNumber) const;
    static DWORD GetDWORDValue(const CStdStr& strKey, const CStdStr& strValueName);
};

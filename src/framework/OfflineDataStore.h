#pragma once
// The host's offline data store (CmDMSHelper.dll): tells whether a document has an offline
// copy. Made on the stack for one question; without the library every answer is false.
#include "framework/StdStr.h"

class OfflineDataStore
{
public:
    OfflineDataStore();
    ~OfflineDataStore();
    OfflineDataStore(const OfflineDataStore&) = delete;
    OfflineDataStore& operator=(const OfflineDataStore&) = delete;

    bool IsDocOffline(const CStdStr& strDocID) const;
};

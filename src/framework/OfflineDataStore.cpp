#include "framework/OfflineDataStore.h"

#include "framework/HostLibrary.h"
#include "framework/HostSuiteExports.h"

namespace {
CHostLibrary g_offlineLibrary(L"CmDMSHelper.dll");
}

// The library stays loaded for the process (see CHostLibrary), so an instance holds nothing.
OfflineDataStore::OfflineDataStore() = default;
OfflineDataStore::~OfflineDataStore() = default;

bool OfflineDataStore::IsDocOffline(const CStdStr& strDocID) const
{
    auto pfn = g_offlineLibrary.Resolve<HostSuite::PfnIsDocOffline>("IsDocOffline");
    return pfn && pfn(strDocID.c_str()) != FALSE;
}

#include "framework/OptionApi.h"

#include <vector>

#include "framework/HostLibrary.h"
#include "framework/HostSuiteExports.h"

namespace {

CHostLibrary g_optionLibrary(L"CmOption.dll");

CStdStr ReadString(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName)
{
    auto pfn = g_optionLibrary.Resolve<HostSuite::PfnOptionGetString>("OptionGetString");
    if (!pfn)
        return CStdStr();
    DWORD cch = pfn(pszGroup, pszSubgroup, pszName, nullptr, 0);
    // The value may change between the two calls: ask again with the larger size, a few times.
    for (int attempt = 0; cch > 0 && attempt < 4; ++attempt)
    {
        std::vector<wchar_t> buffer(cch);
        DWORD cchNeeded = pfn(pszGroup, pszSubgroup, pszName, buffer.data(), cch);
        if (cchNeeded == 0)
            break;
        if (cchNeeded <= cch)
            return CStdStr(buffer.data());
        cch = cchNeeded;
    }
    return CStdStr();
}

}  // namespace

namespace Corvane {
namespace OptionApi {

bool GetBool(const CStdStr& strName)
{
    auto pfn = g_optionLibrary.Resolve<HostSuite::PfnOptionGetBool>("OptionGetBool");
    return pfn && pfn(nullptr, nullptr, strName.c_str()) != FALSE;
}

bool GetBool(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName)
{
    auto pfn = g_optionLibrary.Resolve<HostSuite::PfnOptionGetBool>("OptionGetBool");
    return pfn && pfn(strGroup.c_str(), strSubgroup.c_str(), strName.c_str()) != FALSE;
}

CStdStr GetString(const CStdStr& strName)
{
    return ReadString(nullptr, nullptr, strName.c_str());
}

CStdStr GetString(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName)
{
    return ReadString(strGroup.c_str(), strSubgroup.c_str(), strName.c_str());
}

bool OptionGroupExists(const CStdStr& strGroup, const CStdStr& strSubgroup)
{
    auto pfn = g_optionLibrary.Resolve<HostSuite::PfnOptionGroupExists>("OptionGroupExists");
    return pfn && pfn(strGroup.c_str(), strSubgroup.c_str()) != FALSE;
}

void SetString(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName, const CStdStr& strValue)
{
    if (auto pfn = g_optionLibrary.Resolve<HostSuite::PfnOptionSetString>("OptionSetString"))
        pfn(strGroup.c_str(), strSubgroup.c_str(), strName.c_str(), strValue.c_str());
}

void SetBool(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName, bool bValue)
{
    if (auto pfn = g_optionLibrary.Resolve<HostSuite::PfnOptionSetBool>("OptionSetBool"))
        pfn(strGroup.c_str(), strSubgroup.c_str(), strName.c_str(), bValue ? TRUE : FALSE);
}

}  // namespace OptionApi
}  // namespace Corvane

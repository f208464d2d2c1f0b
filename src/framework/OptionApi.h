#pragma once
// The host's option store (CmOption.dll). Names are wide strings; options without a group
// are the host's global ones. When the library is not present, reads answer false or the
// empty string and writes do nothing.
#include "framework/StdStr.h"

namespace Corvane {
namespace OptionApi {

bool GetBool(const CStdStr& strName);
bool GetBool(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName);
CStdStr GetString(const CStdStr& strName);
CStdStr GetString(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName);
bool OptionGroupExists(const CStdStr& strGroup, const CStdStr& strSubgroup);
void SetString(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName, const CStdStr& strValue);
void SetBool(const CStdStr& strGroup, const CStdStr& strSubgroup, const CStdStr& strName, bool bValue);

}  // namespace OptionApi
}  // namespace Corvane

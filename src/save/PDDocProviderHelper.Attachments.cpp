// CPDDocProviderHelper: attachment labels and the forced replacement of a version's content.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <utility>

#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "framework/Logging.h"
#include "local/FileReplace.h"

namespace {

const wchar_t kForceReplace[] = L"CPDDocProviderHelper::ForceReplaceFileInProfileWithNewFile";

}  // namespace

CStdStr CPDDocProviderHelper::CreateAttachmentLabelFromExtension(const CStdStr& strExtension) const
{
    // Short labels keep three characters: the first, the third and the fourth (docx: dcx).
    if (!m_bUseExtendedAttachmentLabels && strExtension.size() > 3)
        return CStdStr(1, strExtension[0]) + strExtension.substr(2, 2);
    return strExtension;
}

// Writes doc.LocalFile into the version: locked around the copy (and on DM 5 the upload), and
// unlocked the way the success path unlocks on every failure after the lock. A copy that fails
// uploads nothing and answers the Windows error.
HRESULT CPDDocProviderHelper::ForceReplaceFileInProfileWithNewFile(IVersionPtr pVersion, CVDocNonCom& doc)
{
    bool bLocked = false;
    auto unlock = [&] {
        if (!std::exchange(bLocked, false))
            return;
        try
        {
            short nStatus = 0;
            DmsCheck(pVersion->UnlockVersion(DMS_OF_NORMAL, &nStatus));
        }
        catch (const _com_error& e)
        {
            LOG_ERROR(kForceReplace, e);
        }
    };
    try
    {
        if (!pVersion)
            _com_issue_error(E_POINTER);
        short nStatus = 0;
        DmsCheck(pVersion->LockVersionForEdit(DMS_OF_NORMAL, &nStatus));
        if (nStatus == 0)
            return GetReturnCode(pVersion, L"ForceReplaceFileInProfileWithNewFile - LockVersionForEdit", E_PD_SAVE_FAILED);
        bLocked = true;
        const bool bDM6 = IsDM6Installed();
        if (!bDM6)
            DmsCheck(pVersion->Prepare(DMS_PREPARE_NORMAL, &nStatus));
        const HRESULT hrCopy = ReplaceFileContent(doc.GetLocalFile(), VersionFilePathOf(pVersion));
        if (FAILED(hrCopy))
        {
            LOG_ERROR(kForceReplace, FormatHResult(hrCopy));
            unlock();
            return hrCopy;
        }
        if (!bDM6)
            DmsCheck(pVersion->UploadFile(DMS_UPLOAD_NORMAL));
        bLocked = false;
        DmsCheck(pVersion->UnlockVersion(DMS_OF_NORMAL, &nStatus));
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kForceReplace, e);
        LOG_ERROR(kForceReplace, L"Failed to upload new document");
        unlock();
        return e.Error();
    }
}

// CPDDocProviderHelper: listing a document's versions, finding its latest version and making a
// new version from the current content.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include <cwctype>
#include <set>

#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "dms/PowerDocsDocInfo.h"
#include "framework/Logging.h"


namespace {

bool FileExists(const CStdStr& strPath)
{
    const DWORD dwAttributes = GetFileAttributesW(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The "PowerDOCS://" ID of a version; raises when the DMS cannot describe it.
CStdStr DocIDOf(IVersionPtr pVersion)
{
    CPowerDocsDocInfo info;
    if (!info.Populate(pVersion))
        _com_issue_error(E_FAIL);
    return info.AsDocID();
}

// What one VersionDocument call has taken from the DMS: the profile (when it selected it for
// editing) and the new version (once made). Unless the call is completed, the destructor gives
// both back: the new version is unlocked and deleted, the profile released. A failure while
// giving back is logged; the call's own result stands.
class CNewVersionTake
{
public:
    CNewVersionTake() = default;
    CNewVersionTake(const CNewVersionTake&) = delete;
    CNewVersionTake& operator=(const CNewVersionTake&) = delete;
    ~CNewVersionTake()
    {
        if (m_bCompleted)
            return;
        if (m_pNewVersion)
        {
            if (m_pProfile)
                GiveBack([&] {
                    short nStatus = 0;
                    return m_pNewVersion->UnlockVersion(DMS_VERSION_CHECK_OUT, &nStatus);
                });
            GiveBack([&] { return m_pNewVersion->Delete(); });
        }
        if (m_pProfile)
            GiveBack([&] { return m_pProfile->ReleaseDoc(); });
    }

    // The profile that the call selected for editing; release it at the end.
    void Selected(IProfilePtr pProfile) { m_pProfile = pProfile; }
    void Made(IVersionPtr pNewVersion) { m_pNewVersion = pNewVersion; }
    // The new version stays; the profile is released now, and its failure is the call's.
    void Complete()
    {
        if (m_pProfile)
            DmsCheck(m_pProfile->ReleaseDoc());
        m_bCompleted = true;
    }

private:
    template <class Step>
    static void GiveBack(Step step) noexcept
    {
        try
        {
            const HRESULT hr = step();
            if (FAILED(hr))
                LOG_ERROR(L"CPDDocProviderHelper::VersionDocument", FormatHResult(hr));
        }
        catch (const _com_error& e)
        {
            LOG_ERROR(L"CPDDocProviderHelper::VersionDocument", FormatHResult(e.Error()));
        }
        catch (...)
        {
            LOG_ERROR(L"CPDDocProviderHelper::VersionDocument", L"Caught unknown error");
        }
    }

    IProfilePtr m_pProfile;
    IVersionPtr m_pNewVersion;
    bool m_bCompleted = false;
};

}  // namespace

bool CPDDocProviderHelper::IsAttachment(IVersionPtr pVersion)
{
    if (!pVersion)
        _com_issue_error(E_POINTER);
    const CStdStr strLabel = VersionLabelOf(pVersion);
    return !strLabel.empty() && !(strLabel[0] >= L'0' && strLabel[0] <= L'9');
}

HRESULT CPDDocProviderHelper::GetVersions(CStdStr strDocID, long* plCount,
                                          std::vector<CVDocumentVersionNoCom>& versions)
{
    if (plCount)
        *plCount = 0;
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    try
    {
        IVersionPtr pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_FAIL;
        IVersionsPtr pVersions = VersionsOf(pVersion);
        long lCount = 0;
        DmsCheck(pVersions->get_Count(&lCount));

        // The same version may be reached twice; the first in the DMS's order is kept.
        std::set<CStdStr> listed;
        const bool bOffline = WorkingOffLine();
        for (long i = 1; i <= lCount; ++i)
        {
            IVersionPtr pItem;
            DmsCheck(pVersions->get_Item(_variant_t(i, VT_I4), &pItem));
            if (IsAttachment(pItem))
                continue;
            CVDocNonCom doc;
            if (!PopulateDocumentProperties(doc, pItem, bOffline ? 1 : 0))
                continue;
            if (!listed.insert(doc.GetDocID()).second)
                continue;
            CVDocumentVersionNoCom record;
            record.SetDocument(doc);
            record.SetVersionLabel(VersionLabelOf(pItem));
            versions.push_back(record);
        }
        if (plCount)
            *plCount = static_cast<long>(versions.size());
        return S_OK;
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetVersions", L"Caught unknown error");
        if (plCount)
            *plCount = 0;
        return E_FAIL;
    }
}

HRESULT CPDDocProviderHelper::GetLatestVersion(CStdStr& strDocID)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
        return E_PD_NO_DOCUMENT_FOR_ID;
    if (IsAttachment(pVersion))
        return S_OK;
    // Which version is the latest, and how ties are broken, is the DMS's decision.
    IVersionPtr pLatest;
    DmsCheck(ProfileOf(pVersion)->get_LatestVersion(&pLatest));
    if (!pLatest)
        _com_issue_error(E_POINTER);
    strDocID = DocIDOf(pLatest);
    return S_OK;
}

HRESULT CPDDocProviderHelper::VersionDocument(CStdStr& strDocID, CStdStr strComment)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    try
    {
        CNewVersionTake take;
        IVersionPtr pVersion = GetVersion(strDocID);
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        if (IsAttachment(pVersion))
            return E_PD_CANNOT_SAVE_AS_NEW_VERSION;

        IProfilePtr pProfile = ProfileOf(pVersion);
        CStdStr strOwner;
        const long lState = GetProfileLockStatus(pProfile, strOwner);
        if (lState == LOCK_STATE_OTHER_USER)
            return E_DOCUMENT_LOCKED_BY_OTHER;
        // A document that the user holds already is the host's check-out: the call works inside
        // it and leaves it as it was.
        if (lState != LOCK_STATE_CURRENT_USER)
        {
            short nStatus = 0;
            DmsCheck(pProfile->SelectForEdit(DMS_SELECT_FOR_CHECK_OUT, &nStatus));
            take.Selected(pProfile);
        }
        short nPrepared = 0;
        DmsCheck(pVersion->Prepare(DMS_PREPARE_NEW_VERSION, &nPrepared));

        // The current content must be in the local cache before it can be copied.
        CStdStr strSource = VersionFilePathOf(pVersion);
        if (!FileExists(strSource))
        {
            DmsCheck(pVersion->Fetch(DMS_FETCH_NORMAL));
            strSource = VersionFilePathOf(pVersion);
        }
        _bstr_t bstrAuthor, bstrTypist;
        DmsCheck(pVersion->get_Author(bstrAuthor.GetAddress()));
        DmsCheck(pVersion->get_Typist(bstrTypist.GetAddress()));

        IVersionPtr pNewVersion;
        DmsCheck(pVersion->NewVersion(DMS_NEW_VERSION, _bstr_t(strComment.c_str()),
                                      _variant_t(DmsText(bstrAuthor).c_str()), _variant_t(DmsText(bstrTypist).c_str()),
                                      DMS_NEW_VERSION_FROM_CURRENT_RESERVED, DMS_NEW_VERSION_FROM_CURRENT_RESERVED,
                                      &pNewVersion));
        if (!pNewVersion)
            _com_issue_error(E_POINTER);
        take.Made(pNewVersion);

        const CStdStr strTarget = VersionFilePathOf(pNewVersion);
        if (!CopyFileW(strSource.c_str(), strTarget.c_str(), FALSE))
        {
            const DWORD dwError = GetLastError();
            LOG_ERROR(L"CPDDocProviderHelper::VersionDocument",
                      CStdStr::Format(L"Could not copy %ls to %ls", strSource.c_str(), strTarget.c_str()));
            return HRESULT_FROM_WIN32(dwError != ERROR_SUCCESS ? dwError : ERROR_FILE_NOT_FOUND);
        }
        DmsCheck(pNewVersion->UploadFile(DMS_UPLOAD_NORMAL));
        if (lState != LOCK_STATE_CURRENT_USER)
        {
            short nStatus = 0;
            DmsCheck(pNewVersion->UnlockVersion(DMS_VERSION_CHECK_OUT, &nStatus));
        }
        const CStdStr strNewID = DocIDOf(pNewVersion);
        take.Complete();
        strDocID = strNewID;
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::VersionDocument", FormatHResult(e.Error()));
        return e.Error();
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::VersionDocument", L"Caught unknown error");
        return E_FAIL;
    }
}

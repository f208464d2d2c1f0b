// CPDDocProviderHelper: opening, fetching and closing documents, and filling document
// records from DMS versions.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "framework/ComPtr.h"
#include "local/DocID.h"
#include "dms/DmsValues.h"
#include "dms/DmsErrors.h"
#include "dms/DocumentPaths.h"
#include "framework/Logging.h"
#include "local/DocIDResolver.h"
#include "local/OfflineDocIDResolver.h"
#include "local/TempFiles.h"
#include "local/FileReplace.h"
#include "framework/TakeGuard.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"


namespace {

const wchar_t kCloseDocument[] = L"CPDDocProviderHelper::CloseDocument";
const wchar_t kGetDocument[] = L"CPDDocProviderHelper::GetDocument";

// Brings the version's file into the DMS's local cache, retrying once after clearing the
// parent window. False when the DMS reported an error twice.
bool FetchIntoCache(IVersionPtr pVersion, IProfilePtr pProfile)
{
    DmsCheck(pVersion->Fetch(DMS_FETCH_NORMAL));
    DmsError error = ReadDmsError(pVersion);
    if (error.lNumber == 0)
        return true;
    ClearParentWindow(pProfile);
    DmsCheck(pVersion->Fetch(DMS_FETCH_NORMAL));
    return ReadDmsError(pVersion).lNumber == 0;
}

// Fills a record field from a profile column, logging (and skipping) a DMS error.
template <class Setter>
void ReadColumnInto(IColumnsPtr pColumns, const wchar_t* pszColumn, Setter set)
{
    try
    {
        set(DmsText(static_cast<_bstr_t>(ReadColumn(pColumns, pszColumn))));
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::PopulateDocumentProperties",
                 CStdStr::Format(L"Trying to get %ls, hr = 0x%x, %ls", pszColumn, static_cast<unsigned>(e.Error()),
                                 ComErrorMessage(e.Error()).c_str()));
    }
}

// Runs one step of filling a record: true when it went through, false (logged) on a DMS failure.
template <class Step>
bool FillStep(Step step)
{
    try
    {
        step();
        return true;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::PopulateDocumentProperties", FormatHResult(e.Error()));
        return false;
    }
}

}  // namespace

HRESULT CPDDocProviderHelper::OpenDocument(CVDocNonCom& doc)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    CStdStr strDocID = doc.GetDocID();
    if (WorkingOffLine())
        strDocID = OfflineDocIDResolver().ResolveToOfflineDocID(strDocID);
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
    {
        LOG_ERROR(L"CPDDocProviderHelper::OpenDocument", L"OpenDocument() : GetVersion() failed");
        return E_DOCUMENT_NOT_FOUND;
    }
    DmsCheck(pVersion->Open(DMS_OPEN_BY_HOST));
    return S_OK;
}

HRESULT CPDDocProviderHelper::GetDocument(CStdStr strDocID, long lFlags, CVDocNonCom& doc)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    const bool bOffline = WorkingOffLine();
    if (bOffline)
        strDocID = OfflineDocIDResolver().ResolveToOfflineDocID(strDocID);
    doc.SetDocID(::StripID(strDocID));
    CProfileReads profile;
    IVersionPtr pVersion = GetVersion(doc.GetDocID(), profile.pProfile);
    if (!pVersion)
    {
        LOG_ERROR(kGetDocument, L"GetDocument() : E_DOCUMENT_NOT_FOUND");
        return E_DOCUMENT_NOT_FOUND;
    }
    try
    {
        const IProfilePtr pProfile = profile.pProfile;
        if (!pProfile)
            _com_issue_error(E_POINTER);
        _bstr_t bstrWorkingFolder;
        DmsCheck(pProfile->get_WorkingFolder(bstrWorkingFolder.GetAddress()));
        const CStdStr strWorkingFolder = DmsText(bstrWorkingFolder);
        const CStdStr strFileName = GetFileNameOnly(VersionFilePathOf(pVersion));
        const size_t dot = strFileName.rfind(L'.');
        m_strExtension = dot == CStdStr::npos ? strFileName : CStdStr(strFileName.substr(dot + 1));

        HRESULT hr = S_OK;
        if (strWorkingFolder.empty())
            hr = FetchPrivateCopy(pVersion, profile, lFlags, doc);
        else if ((lFlags & GET_DOCUMENT_NO_FILE) == 0)
            doc.SetLocalFile(WorkingCopyOf(pVersion, strWorkingFolder + strFileName));
        const CStdStr strLocal = doc.GetLocalFile();
        if (!strLocal.empty())
        {
            // The host edits the file: a read-only one is made writable (setting attributes is a
            // round trip of its own, made only when there is something to change).
            DWORD dwAttributes = GetFileAttributesW(strLocal.c_str());
            if (dwAttributes == INVALID_FILE_ATTRIBUTES ||
                ((dwAttributes & FILE_ATTRIBUTE_READONLY) != 0 &&
                 !SetFileAttributesW(strLocal.c_str(), dwAttributes & ~FILE_ATTRIBUTE_READONLY)))
                LOG_ERROR(kGetDocument,
                          CStdStr(L"Could not get local file from CvDocNonCom structure, and change access permissions"));
        }
        PopulateDocumentProperties(doc, pVersion, bOffline ? 1 : 0, &profile);
        return hr;
    }
    catch (...)
    {
        CaughtFailure(kGetDocument);
        return E_PD_CANNOT_RETRIEVE_FILE;
    }
}

// The DMS keeps a working copy: that is handed out (fetched when it is missing), never a
// private copy or a lock.
CStdStr CPDDocProviderHelper::WorkingCopyOf(IVersionPtr pVersion, const CStdStr& strWorkingCopy)
{
    if (FileExists(strWorkingCopy))
        return strWorkingCopy;
    DmsCheck(pVersion->Fetch(DMS_FETCH_NORMAL));
    return VersionFilePathOf(pVersion);
}

// Without a working folder: the version is fetched into the DMS's cache and copied into a
// private file, then checked out when asked. A fetch that failed hands out no file and takes no
// lock.
HRESULT CPDDocProviderHelper::FetchPrivateCopy(IVersionPtr pVersion, CProfileReads& profile, long lFlags,
                                               CVDocNonCom& doc)
{
    if ((lFlags & GET_DOCUMENT_NO_FILE) == 0)
    {
        if (!FetchIntoCache(pVersion, profile.pProfile))
            return S_OK;
        const CStdStr strCached = VersionFilePathOf(pVersion);
        if (!FileExists(strCached))
            return S_OK;
        const CStdStr strCopy = CopyToUniqueTempFile(strCached, m_strExtension.empty() ? CStdStr(L"tmp") : m_strExtension);
        if (strCopy.empty())
            return S_OK;
        doc.SetLocalFile(strCopy);
    }
    if ((lFlags & GET_DOCUMENT_LOCK) == 0)
        return S_OK;
    CStdStr strOwner;
    switch (GetProfileLockStatus(profile, strOwner))
    {
    case LOCK_STATE_NONE:
    {
        const HRESULT hr = LockVersion(pVersion, profile.pProfile);
        if (SUCCEEDED(hr))
            doc.SetFlags(RECORD_CHECKED_OUT);
        return hr;
    }
    case LOCK_STATE_CURRENT_USER:
        doc.SetFlags(RECORD_CHECKED_OUT);
        return S_OK;
    default:
        return E_DOCUMENT_LOCKED_BY_OTHER;
    }
}

HRESULT CPDDocProviderHelper::CloseDocument(CVDocNonCom& doc, long lFlags)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    try
    {
        const CStdStr strLocal = doc.GetLocalFile();
        // What a save decision made and no save wrote is deleted, its check-out with it; one
        // deleted already has nothing left to give back.
        const bool bUnwritten = IsMade(doc.GetDocID());
        if (bUnwritten || IsDiscarded(doc.GetDocID()))
        {
            const HRESULT hr = bUnwritten ? DiscardMade(doc) : S_OK;
            if (SUCCEEDED(hr) && (lFlags & CLOSE_KEEP_FILE) == 0)
                DeleteFileW(strLocal.c_str());
            return hr;
        }
        IVersionPtr pVersion = GetVersion(doc.GetDocID());
        if (!pVersion)
            return E_DOCUMENT_NOT_FOUND;
        // A check-out that the host asks to give back is never reported closed while it may
        // still be held; the host's local file is then kept.
        if ((doc.GetFlags() & RECORD_CHECKED_OUT) != 0)
        {
            const HRESULT hr = IsDM6Installed() ? UnlockVersion(pVersion) : CheckInDm5(pVersion, strLocal);
            if (FAILED(hr))
                return hr;
        }
        if ((lFlags & CLOSE_KEEP_FILE) == 0)
            DeleteFileW(strLocal.c_str());
        return S_OK;
    }
    catch (...)
    {
        return CaughtFailure(kCloseDocument);
    }
}

// Gives back a DM 5 check-out: the local file's place, the profile, the version's lock. Every
// step is tried even when one before it failed; the first failure is the answer.
HRESULT CPDDocProviderHelper::CheckInDm5(IVersionPtr pVersion, const CStdStr& strLocal)
{
    CTakeGuard guard(kCloseDocument);
    guard.Took(L"the version's lock", [=] {
        short nStatus = 0;
        return DmsCheck(pVersion->UnlockVersion(DMS_OF_NORMAL, &nStatus));
    });
    IProfilePtr pProfile = ProfileOf(pVersion);
    TookSelection(guard, pProfile);
    guard.Took(L"the local file's place", [=] {
        CDispatchPtr pResult;
        return DmsCheckNumber(pProfile, pProfile->PutLocalFile(0, 0, _bstr_t(strLocal.c_str()), 0, &pResult));
    });
    const HRESULT hr = guard.GiveBackAll();
    guard.Commit();
    return hr;
}

bool CPDDocProviderHelper::PopulateDocumentProperties(CVDocNonCom& doc, IVersionPtr pVersion, int nOffline,
                                                      CProfileReads* pProfile)
{
    CProfileFields fields;
    CStdStr strLabel;
    const bool bShared = FillStep([&] {
        CProfileReads own;
        CProfileReads& profile = pProfile ? *pProfile : own;
        if (!profile.pProfile)
            profile.pProfile = ProfileOf(pVersion);
        const bool bOffline = nOffline < 0 ? WorkingOffLine() : nOffline != 0;
        fields = PopulateProfileFields(doc, profile, bOffline);
        strLabel = VersionLabelOf(pVersion);
    });
    return bShared && PopulateVersion(doc, pVersion, strLabel, fields);
}

// The fields every version of a profile shares: its name and columns, its number and library.
// A column that cannot be read is logged and left out; the rest raises.
CPDDocProviderHelper::CProfileFields CPDDocProviderHelper::PopulateProfileFields(CVDocNonCom& doc,
                                                                                CProfileReads& profile, bool bOffline)
{
    const IColumnsPtr pColumns = profile.Columns();
    doc.SetName(DmsText(static_cast<_bstr_t>(ReadColumn(pColumns, L"DOCNAME"))));
    ReadColumnInto(pColumns, L"APP_ID", [&](const CStdStr& s) { doc.SetAppID(s); });
    if (!bOffline)
        ReadColumnInto(pColumns, L"TYPE_ID", [&](const CStdStr& s) { doc.SetTypeID(s); });
    ReadColumnInto(pColumns, L"AUTHOR_ID", [&](const CStdStr& s) { doc.SetAuthorID(s); });
    if (!bOffline)
        ReadColumnInto(pColumns, L"TYPIST_ID", [&](const CStdStr& s) { doc.SetTypistID(s); });
    CProfileFields fields;
    DmsCheckNumber(profile.pProfile, profile.pProfile->get_DocNumber(&fields.lNumber));
    fields.strLibrary = LibraryNameOf(profile.pProfile);
    // A record is never given an ID that names no document.
    if (fields.strLibrary.empty() || fields.lNumber <= 0)
        DmsCheck(E_PD_NO_DOCUMENT_FOR_ID);
    return fields;
}

bool CPDDocProviderHelper::PopulateVersion(CVDocNonCom& doc, IVersionPtr pVersion, const CStdStr& strLabel,
                                           const CProfileFields& fields)
{
    return FillStep([&] { PopulateVersionFields(doc, pVersion, strLabel, fields); });
}

// The fields of one version: its extension and ID, its date, the size of the record's local file.
void CPDDocProviderHelper::PopulateVersionFields(CVDocNonCom& doc, IVersionPtr pVersion, const CStdStr& strLabel,
                                                 const CProfileFields& fields)
{
    const bool bFormatLabel = !strLabel.empty() && !iswdigit(strLabel[0]);
    doc.SetExtension(bFormatLabel ? strLabel : m_strExtension);
    // A record is never given an ID that names another version.
    if (strLabel.empty())
        DmsCheck(E_PD_NO_DOCUMENT_FOR_ID);
    doc.SetDocID(FormatDocID(DOCID_SCHEME, fields.strLibrary, fields.lNumber, strLabel));

    DATE dtDate = 0;
    DmsCheck(pVersion->get_Date(&dtDate));
    doc.SetVersionDate(dtDate);

    const CStdStr strLocal = doc.GetLocalFile();
    if (!strLocal.empty())
    {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExW(strLocal.c_str(), GetFileExInfoStandard, &data))
        {
            doc.SetFileSizeHigh(static_cast<LONG>(data.nFileSizeHigh));
            doc.SetFileSizeLow(static_cast<LONG>(data.nFileSizeLow));
        }
        else
        {
            doc.SetFileSizeHigh(0);
            doc.SetFileSizeLow(0);
        }
    }
}

HRESULT CPDDocProviderHelper::GetDocIDDescription(CStdStr strDocID, CStdStr& strDescription)
{
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
        return E_DOCUMENT_NOT_FOUND;
    CVDocNonCom doc;
    if (!PopulateDocumentProperties(doc, pVersion))
        return E_FAIL;
    strDescription = DescribeDocID(strDocID, doc.GetName());
    return S_OK;
}

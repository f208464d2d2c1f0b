// CPDDocProviderHelper: writing a local file's content into its DMS version.
#include "provider/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/DmsConstants.h"
#include "dms/DmsErrors.h"
#include "dms/DmsValues.h"
#include "framework/GiveBack.h"
#include "framework/Logging.h"
#include "local/FileReplace.h"

namespace {

const wchar_t kSaveDocument[] = L"CPDDocProviderHelper::SaveDocument";

// Gives back what a save took, step after step: a step that fails is logged and the giving back
// goes on, so that one refusal does not keep the rest; the first failure is remembered.
class CGiveBack
{
public:
    template <class Step>
    HRESULT Run(Step step)
    {
        const HRESULT hr = GiveBackStep(LOG_SITE, kSaveDocument, step);
        if (FAILED(hr) && SUCCEEDED(m_hrFirstFailure))
            m_hrFirstFailure = hr;
        return hr;
    }

    HRESULT FirstFailure() const { return m_hrFirstFailure; }

private:
    HRESULT m_hrFirstFailure = S_OK;
};

}  // namespace

// Writes doc.LocalFile into the version doc.DocID names. On DM 6 the copy into the DMS's local
// store is the save; on DM 5 the version is locked around an upload. Whatever the call takes
// (the profile selected for editing, a version lock) it gives back before it returns, on every
// path, except what a record checked out through the provider keeps by design.
HRESULT CPDDocProviderHelper::SaveDocument(CVDocNonCom& doc, long)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;

    bool bDm6Locked = false;        // LockVersion taken for this save on DM 6
    bool bSelected = false;         // SelectForEdit taken for this save on DM 5
    bool bVersionLocked = false;    // LockVersionForEdit around the DM 5 upload
    IVersionPtr pVersion;
    IProfilePtr pProfile;
    const bool bCheckedOut = (doc.GetFlags() & RECORD_CHECKED_OUT) != 0;

    // The success path's own way of giving back: the upload lock first, then the profile,
    // which a record checked out through the provider keeps.
    auto giveBack = [&](CGiveBack& back) {
        if (bVersionLocked)
            back.Run([&] {
                short nStatus = 0;
                HRESULT hr = DmsCheck(pVersion->UnlockVersion(DMS_OF_NORMAL, &nStatus));
                GetReturnCode(pVersion, L"SaveDocument : pVer->UnlockVersion( OF_NORMAL );", S_OK);
                return hr;
            });
        if (bSelected && !bCheckedOut)
            back.Run([&] {
                HRESULT hr = DmsCheck(pProfile->ReleaseDoc());
                GetReturnCode(pProfile, L"SaveDocument() - pProf->ReleaseDoc", S_OK);
                return hr;
            });
        // A check-in that failed may have stopped before the release: give the document back.
        if (bDm6Locked && FAILED(back.Run([&] { return UnlockVersion(pVersion); })))
            back.Run([&] { return pProfile->ReleaseDoc(); });
        bVersionLocked = bSelected = bDm6Locked = false;
    };
    // Ends the save with hr after giving back what it took.
    auto fail = [&](HRESULT hr) {
        CGiveBack back;
        giveBack(back);
        return hr;
    };

    try
    {
        pVersion = GetVersion(doc.GetDocID());
        if (!pVersion)
            return E_PD_NO_DOCUMENT_FOR_ID;
        pProfile = ProfileOf(pVersion);
        GetReturnCode(pVersion, L"SaveDocument : IProfilePtr pProf = pVer->GetProfile();", S_OK);
        const bool bDM6 = IsDM6Installed();

        if (bDM6)
        {
            if (!bCheckedOut)
            {
                const HRESULT hr = LockVersion(pVersion);
                if (FAILED(hr))
                    return hr;
                bDm6Locked = true;
            }
        }
        else
        {
            // A status of 0 is a refusal, whatever the DMS reports with it.
            short nStatus = 0;
            DmsCheck(pProfile->SelectForEdit(bCheckedOut ? DMS_SELECT_CHECKED_OUT : DMS_SELECT_FOR_SAVE, &nStatus));
            const HRESULT hrSelect = GetReturnCode(pProfile, L"SaveDocument() - SelectForEdit", S_OK);
            if (nStatus == 0)
                return FAILED(hrSelect) ? hrSelect : E_PD_SAVE_FAILED;
            bSelected = true;
        }

        const HRESULT hrCopy = ReplaceFileContent(doc.GetLocalFile(), VersionFilePathOf(pVersion));
        if (FAILED(hrCopy))
            return fail(hrCopy);
        if (bDM6)
        {
            // The copy is the save; what was locked for it alone is unlocked now.
            CGiveBack back;
            giveBack(back);
            return back.FirstFailure();
        }

        // A refused lock, or one the DMS reports an error with, stops the save before the upload.
        short nStatus = 0;
        DmsCheck(pVersion->LockVersionForEdit(DMS_OF_NORMAL, &nStatus));
        bVersionLocked = nStatus != 0;
        const HRESULT hrLock = GetReturnCode(pVersion, L"SaveDocument : pVer->LockVersionForEdit( OF_NORMAL );", S_OK);
        if (nStatus == 0 || FAILED(hrLock))
            return fail(FAILED(hrLock) ? hrLock : E_PD_SAVE_FAILED);

        ClearParentWindow(pVersion);
        HRESULT hrUpload = pVersion->UploadFile(DMS_UPLOAD_NORMAL);
        if (SUCCEEDED(hrUpload))
            hrUpload = GetReturnCode(pVersion, L"SaveDocument : pVer->UploadFile();", hrUpload);
        else
            LOG_ERROR(kSaveDocument, FormatHResult(hrUpload));
        if (FAILED(hrUpload))
            return fail(hrUpload);

        // The content is stored: what follows only gives back, and its failures do not make
        // the save a failure.
        CGiveBack back;
        back.Run([&] {
            _bstr_t bstrUser(GetCurrentUser().c_str());
            return pVersion->put_Typist(bstrUser);
        });
        giveBack(back);
        return hrUpload;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kSaveDocument, FormatHResult(e.Error()));
        return fail(E_PD_SAVE_FAILED);
    }
    catch (...)
    {
        LOG_ERROR(kSaveDocument, L"Caught unknown error");
        return fail(E_PD_SAVE_FAILED);
    }
}

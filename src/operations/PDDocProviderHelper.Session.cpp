// CPDDocProviderHelper: the installation and mode tests, and the current user.
#include "operations/PDDocProviderHelper.h"

#include "dms/AppWrapper.h"
#include "dms/DmsValues.h"
#include "framework/Logging.h"
#include "framework/OptionApi.h"
#include "local/PowerDocsRegReader.h"


bool CPDDocProviderHelper::IsInstalled()
{
    PowerDocsRegReader reader;
    CStdStr strExe = reader.GetExeName();
    return !strExe.empty() && GetFileAttributesW(strExe.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CPDDocProviderHelper::IsDM5Installed()
{
    PowerDocsRegReader reader;
    return reader.IsPowerDocs50Installed();
}

bool CPDDocProviderHelper::IsDM6Installed()
{
    PowerDocsRegReader reader;
    return reader.IsDM6Installed();
}

bool CPDDocProviderHelper::ShouldResolveFileNames()
{
    return Corvane::OptionApi::GetBool(L"DM5ResolveFilenames");
}

bool CPDDocProviderHelper::WorkingOffLine()
{
    return CAppWrapper::WorkingOffline();
}

HRESULT CPDDocProviderHelper::SetCallingApplication(CStdStr strApplication)
{
    m_strCallingApplication = strApplication;
    return S_OK;
}

CStdStr CPDDocProviderHelper::GetCurrentUser()
{
    IApplicationPtr pApp = OpenDmsApplication();
    ILibraryPtr pLibrary;
    DmsCheck(pApp->get_CurrentLibrary(&pLibrary));
    return TextOf(pLibrary, &ILibrary::get_UserID);
}

HRESULT CPDDocProviderHelper::GetCurrentDmsUser(CStdStr, CStdStr& strUser)
{
    try
    {
        strUser = GetCurrentUser();
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetCurrentDmsUser", FormatHResult(e.Error()));
        return e.Error();
    }
}

#pragma once
// The DMS things that several operations take, registered with a take guard together with the
// step that gives each back.
#include "dms/DmsTypes.h"
#include "framework/TakeGuard.h"

// Takes the profile for editing with the DMS's lFlags and registers its release; a refusal in
// any of the DMS's forms raises, a status of 0 without an error number as hrRefused.
CTakeGuard::Take SelectForEdit(CTakeGuard& guard, IProfilePtr pProfile, long lFlags, HRESULT hrRefused);
// A profile taken for editing (SelectForEdit), given back with its release.
CTakeGuard::Take TookSelection(CTakeGuard& guard, IProfilePtr pProfile, const wchar_t* pszWhat = L"the profile");
// A new profile that the DMS may have stored: given back by deleting the document, when the DMS
// gave it a number.
CTakeGuard::Take TookNewProfile(CTakeGuard& guard, IProfilePtr pProfile);

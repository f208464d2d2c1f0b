#pragma once
// Calling the DMS and checking its answer. The DMS reports a failure in three ways: a raised
// error (a failed HRESULT), a call that returns with an error number recorded on the object, or
// a 16-bit status of 0 with or without an error number. One helper per form; each raises a
// CDmsFailure that remembers the file and line of the call that failed, and the operation's
// boundary (CaughtFailure) logs it there.
//
//   DmsCheck(pProfile->get_Versions(&pVersions));                        raised
//   DmsCheckNumber(pVersion, pVersion->UploadFile(DMS_UPLOAD_NORMAL));   raised or error number
//   short nStatus = 0;
//   DmsCheckStatus(pProfile, pProfile->SelectForEdit(lFlags, &nStatus), nStatus, E_PD_SAVE_FAILED);
//                                                                        raised, number or status 0
#include "dms/DmsTypes.h"
#include "framework/StdStr.h"

// Raises when the object reports an error number after hr (a call on it) returned; raises hr
// itself when it failed. Answers hr.
HRESULT DmsRaiseNumber(IUnknown* pObject, HRESULT hr, const DmsCallSite& site);
// As DmsRaiseNumber, and a status of 0 without an error number raises hrRefused. The status is
// taken by reference so that it is read after the call that writes it.
void DmsRaiseStatus(IUnknown* pObject, HRESULT hr, const short& nStatus, HRESULT hrRefused, const DmsCallSite& site);

#define DmsCheckNumber(pObject, call) ::DmsRaiseNumber((pObject), (call), DMS_CALL_SITE)
#define DmsCheckStatus(pObject, call, nStatus, hrRefused) \
    ::DmsRaiseStatus((pObject), (call), (nStatus), (hrRefused), DMS_CALL_SITE)

// Answers the exception in flight at an operation's boundary; call it only inside a catch
// block. A DMS failure is logged under pszFunction with the file and line of the call that
// failed, another COM error with its code, anything else as "Caught unknown error". The answer
// is the failure's own code: for an error number the DMS's code, for a refused status the code
// the check named; a raised error's own HRESULT unless hrRaised names another; hrUnknown for
// anything that is not a COM error.
HRESULT CaughtFailure(const wchar_t* pszFunction, HRESULT hrUnknown = E_FAIL, HRESULT hrRaised = S_OK) noexcept;

#pragma once
// Result codes of the document provider: the component's own failures (facility 0x1D) and
// the host's contract codes (facility 0x12) that the provider returns.
#include <winerror.h>

// The component's own codes. 0x801D0002..0x801D000C mirror the DMS's error codes 1..11.
#define E_PD_SUCCEEDED                     ((HRESULT)0x801D0001L)
#define E_PD_USER_CANCELLED                ((HRESULT)0x801D0002L)
#define E_PD_SYSTEM_ERROR                  ((HRESULT)0x801D0003L)
#define E_PD_INVALID_ARGUMENTS             ((HRESULT)0x801D0004L)
#define E_PD_INSUFFICIENT_RIGHTS           ((HRESULT)0x801D0005L)
#define E_PD_FORM_LOAD_FAILED              ((HRESULT)0x801D0006L)
#define E_PD_MODULE_LOAD_FAILED            ((HRESULT)0x801D0007L)
#define E_PD_MODULE_ERROR                  ((HRESULT)0x801D0008L)
#define E_PD_INVALID_STATE                 ((HRESULT)0x801D0009L)
#define E_PD_CANNOT_INVOKE                 ((HRESULT)0x801D000AL)
#define E_PD_SERVER_CALL_FAILED            ((HRESULT)0x801D000BL)
#define E_PD_INTERNAL_ERROR                ((HRESULT)0x801D000CL)
#define E_PD_CANNOT_RETRIEVE_FILE          ((HRESULT)0x801D000DL)
#define E_PD_CANNOT_SAVE_AS_NEW_VERSION    ((HRESULT)0x801D000EL)
#define E_PD_CANNOT_SAVE_AS_NEW_SUBVERSION ((HRESULT)0x801D000FL)
#define E_PD_NOT_INSTALLED                 ((HRESULT)0x801D0010L)
#define E_PD_NO_DOCUMENT_FOR_ID            ((HRESULT)0x801D0011L)
#define E_PD_SAVE_FAILED                   ((HRESULT)0x801D0012L)
#define E_PD_UNKNOWN_ERROR                 ((HRESULT)0x801D0013L)

// The host's contract codes.
#define E_DOCUMENT_NOT_FOUND               ((HRESULT)0x80120005L)
#define E_DOCUMENT_ALREADY_LOCKED          ((HRESULT)0x80120006L)
#define E_LOCAL_FILE_NOT_FOUND             ((HRESULT)0x80120008L)
#define E_DOCUMENT_LOCKED_BY_OTHER         ((HRESULT)0x80120009L)
#define E_DOCUMENT_NOT_LOCKED              ((HRESULT)0x8012000AL)
#define E_NOT_AVAILABLE_OFFLINE            ((HRESULT)0x80120014L)
#define E_NO_DMS_CLIENT                    ((HRESULT)0x8012001BL)
#define S_DMS_OFFLINE                      ((HRESULT)0x00120018L)

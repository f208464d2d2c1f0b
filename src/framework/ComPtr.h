#pragma once
// Smart pointers for the system interfaces the component uses. Declared here with explicit
// IIDs so that they do not depend on which headers came before comdef.h.
#include <windows.h>
#include <oaidl.h>
#include <comdef.h>

using CUnknownPtr = _com_ptr_t<_com_IIID<IUnknown, &IID_IUnknown>>;
using CTypeLibPtr = _com_ptr_t<_com_IIID<ITypeLib, &IID_ITypeLib>>;
using CTypeInfoPtr = _com_ptr_t<_com_IIID<ITypeInfo, &IID_ITypeInfo>>;
using CDispatchPtr = _com_ptr_t<_com_IIID<IDispatch, &IID_IDispatch>>;
using CCreateErrorInfoPtr = _com_ptr_t<_com_IIID<ICreateErrorInfo, &IID_ICreateErrorInfo>>;
using CErrorInfoPtr = _com_ptr_t<_com_IIID<IErrorInfo, &IID_IErrorInfo>>;

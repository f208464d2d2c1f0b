#pragma once
// The host structures' 32-bit layout is a contract with every host: pin it at compile time.
// The 64-bit build gets its layout from the same declarations.
#include <cstddef>

#include <corvane/CorvaneHost.h>

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(CVDOCUMENT) == 56 && alignof(CVDOCUMENT) == 8, "CVDOCUMENT is 56 bytes, 8-aligned");
static_assert(offsetof(CVDOCUMENT, bstrDocID) == 0, "");
static_assert(offsetof(CVDOCUMENT, bstrLocalFile) == 4, "");
static_assert(offsetof(CVDOCUMENT, bstrName) == 8, "");
static_assert(offsetof(CVDOCUMENT, bstrExtension) == 12, "");
static_assert(offsetof(CVDOCUMENT, bstrAppID) == 16, "");
static_assert(offsetof(CVDOCUMENT, bstrTypeID) == 20, "");
static_assert(offsetof(CVDOCUMENT, bstrAuthorID) == 24, "");
static_assert(offsetof(CVDOCUMENT, bstrTypistID) == 28, "");
static_assert(offsetof(CVDOCUMENT, dtVersionDate) == 32, "");
static_assert(offsetof(CVDOCUMENT, lFileSizeHigh) == 40, "");
static_assert(offsetof(CVDOCUMENT, lFileSizeLow) == 44, "");
static_assert(offsetof(CVDOCUMENT, lFlags) == 48, "");
static_assert(sizeof(CVDOCUMENTVERSION) == 64, "CVDOCUMENTVERSION is 64 bytes");
static_assert(offsetof(CVDOCUMENTVERSION, bstrVersion) == 0, "");
static_assert(offsetof(CVDOCUMENTVERSION, cvDocument) == 8, "");
static_assert(sizeof(CVFILEINFO) == 20, "CVFILEINFO is 20 bytes");
static_assert(offsetof(CVFILEINFO, lMajor) == 4 && offsetof(CVFILEINFO, lMinor) == 8, "");
static_assert(offsetof(CVFILEINFO, lBuild) == 12 && offsetof(CVFILEINFO, lRevision) == 16, "");
#else
static_assert(offsetof(CVDOCUMENTVERSION, cvDocument) % alignof(CVDOCUMENT) == 0, "");
static_assert(sizeof(CVDOCUMENT) % alignof(double) == 0, "");
#endif

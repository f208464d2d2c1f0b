#pragma once
// Every number the component passes to the DMS or reads back from it, and the bits of the
// host's document records and call flags, each under one name. The DMS defines what its flag
// values mean; the component passes them exactly as they stand here.

// The lock state of a profile as the component reports it to the host.
enum LockState : long
{
    LOCK_STATE_NONE = 0,           // not locked
    LOCK_STATE_CURRENT_USER = 1,   // locked by the DMS user of this process
    LOCK_STATE_OTHER_USER = 2,     // locked by someone else
};

// What the DMS's "%CheckLocked" column itself answers; note that its 1 and 2 are the other
// way round from LockState.
constexpr long DMS_CHECK_LOCKED_NONE = 0;
constexpr long DMS_CHECK_LOCKED_OTHER_USER = 1;
constexpr long DMS_CHECK_LOCKED_CURRENT_USER = 2;

// The connection states of the DMS application; both offline states count as working offline.
constexpr long DMS_CONNECTION_OFFLINE = 1;
constexpr long DMS_CONNECTION_OFFLINE_PENDING = 2;

// Profile::SelectForEdit.
constexpr long DMS_SELECT_FOR_SAVE = 0x13;         // take a document for one save (DM 5)
constexpr long DMS_SELECT_CHECKED_OUT = 3;         // take a document already checked out (DM 5)
constexpr long DMS_SELECT_FOR_CHECK_OUT = 0x23;    // check a document out

// Version::LockVersionForEdit and Version::UnlockVersion.
constexpr long DMS_OF_NORMAL = 0;                  // "OF_NORMAL": the lock around one upload
constexpr long DMS_VERSION_CHECK_OUT = 3;          // the lock of a check-out

// Version::Fetch, Version::Prepare and Version::UploadFile.
constexpr long DMS_FETCH_NORMAL = 0;
constexpr long DMS_PREPARE_NORMAL = 0;
constexpr long DMS_UPLOAD_NORMAL = 0;

// The label of a document's first version.
constexpr wchar_t DMS_FIRST_VERSION_LABEL[] = L"1";

// Session::Logon, and Version::Open, which tells the DMS that the host opens the version.
constexpr long DMS_LOGON_DEFAULT = 0;
constexpr long DMS_OPEN_BY_HOST = 1;

// Profile::Save.
constexpr long DMS_PROFILE_SAVE = 0x20;            // the usual save of a profile
constexpr long DMS_PROFILE_SAVE_AGAIN = 0;         // the second save, after a folder was linked
constexpr long DMS_PROFILE_SAVE_IMPORT = 3;        // the save of an imported document's profile

// Version::NewVersion and Version::NewSubversion: the flags, then the two trailing values.
constexpr long DMS_NEW_VERSION = 3;
constexpr long DMS_NEW_VERSION_RESERVED = 10;
constexpr long DMS_NEW_VERSION_FROM_CURRENT_RESERVED = 0;  // the trailing values of a new version
                                                           // made from the current content

// Version::Prepare before a new version is made from the version.
constexpr long DMS_PREPARE_NEW_VERSION = 0;

// Application::ParentWindow: no window, written back after a form.
constexpr long DMS_NO_PARENT_WINDOW = 0;

// SelectForm::Show and its 16-bit status.
constexpr long DMS_SELECT_FORM_SHOW = 1;
constexpr short DMS_FORM_CANCELLED = 0;
constexpr short DMS_FORM_CONFIRMED = 1;

// Profile::ChooseVersion.
constexpr long DMS_CHOOSE_VERSION = 0;

// Library::NewProfile and the DM 6 new-profile form.
constexpr long DMS_NEW_PROFILE_FORM = 0xF0;
constexpr long DMS_NEW_PROFILE_FROM_FORM = 0;      // the argument names the profile form

// Form::Type: a form an imported document may be profiled with has any of these bits; the form
// used when the library offers none.
constexpr long DMS_FORM_TYPE_IMPORT = 0x21;
constexpr wchar_t DMS_IMPORT_FORM[] = L"LAWPROF";

// Application IDs: the one for extensions no application claims, and the one for the viewer
// formats "XDF" and "RDF".
constexpr wchar_t DMS_APP_ID_DEFAULT[] = L"MS WORD";
constexpr wchar_t DMS_APP_ID_VIEWER[] = L"VT Vadedovorido";

// Profile::DeleteDocument: the document with all its versions.
constexpr long DMS_DELETE_DOCUMENT = 0;

// Profile::FinishForm, the profile form's final step.
constexpr long DMS_FINISH_FORM = 1;

// The DM 5 profile form's Show.
constexpr long DMS_DM5_FORM_SHOW = 0;

// CVDOCUMENT::lFlags: the document is checked out (locked for editing) through this provider.
constexpr long RECORD_CHECKED_OUT = 1;

// The host's GetDocument flags.
constexpr long GET_DOCUMENT_LOCK = 2;              // check the document out
constexpr long GET_DOCUMENT_NO_FILE = 8;           // no local file wanted

// The host's CloseDocument flags.
constexpr long CLOSE_KEEP_FILE = 1;                // keep the host's local copy

// The host's lock actions (LockDocument).
constexpr long LOCK_ACTION_LOCK = 1;
constexpr long LOCK_ACTION_UNLOCK = 2;

// The host's capability bits (GetCapabilities).
constexpr long CAPABILITY_OFFLINE = 8;             // offline work supported

// Profile::NewAttachment: make an attachment from a file, and its last value.
constexpr long DMS_NEW_ATTACHMENT = 3;
constexpr wchar_t DMS_NEW_ATTACHMENT_RESERVED[] = L"";

// The library right that allows the current user to delete versions (Library::Rights).
constexpr wchar_t DMS_RIGHT_DELETE_VERSIONS[] = L"User.DeleteVersions";

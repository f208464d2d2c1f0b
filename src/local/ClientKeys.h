#pragma once
// The DMS client's registry keys and values that the component reads, each named once. Registry
// names are compared without regard to letter case.

// The client's installation (HKEY_LOCAL_MACHINE), by generation: 5.x and later, 4.0, 3.9, 3.1.
constexpr wchar_t CLIENT_ROOT_KEY[] = L"SOFTWARE\\Hummingbird\\PowerDOCS";
constexpr wchar_t CLIENT_ROOT_KEY_40[] = L"SOFTWARE\\Hummingbird\\PowerDOCS 4.0";
constexpr wchar_t CLIENT_ROOT_KEY_39[] = L"SOFTWARE\\Hummingbird\\PowerDOCS 3.9";
constexpr wchar_t CLIENT_ROOT_KEY_31[] = L"SOFTWARE\\PC DOCS Inc.\\PowerDOCS\\Installation";
// Under the root: where the client is installed, and its cache plug-in's settings.
constexpr wchar_t CLIENT_INSTALL_PATH[] = L"InstallPath";
constexpr wchar_t CLIENT_FUSION_KEY[] = L"\\Core\\Plugins\\Fusion";

// How the client integrates with the word processor (HKEY_LOCAL_MACHINE), followed by
// "Active\ActiveAutomation", "Active\ActiveMacro", "Passive\PassiveMacro" or
// "Passive\PassiveAutomation".
constexpr wchar_t CLIENT_INTEGRATION_KEY[] =
    L"SOFTWARE\\Hummingbird\\Hummingbird DM Application Integration\\Installation\\Microsoft\\Word\\";

// The offline component's records (HKEY_CURRENT_USER):
//   <key>\<online library>\<user>\<offline number>  "DocNumber" = the online number.
constexpr wchar_t CLIENT_OFFLINE_RECORDS_KEY[] = L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache";
constexpr wchar_t CLIENT_OFFLINE_DOC_NUMBER[] = L"DocNumber";

#pragma once
// The registry facility: string values under a key path of HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER. On Windows the real registry; elsewhere an INI-style file whose section
// names are the key paths ("[HKLM\SOFTWARE\...]"), at $ALTIVANE_REGISTRY or
// $XDG_CONFIG_HOME/altivane/registry.ini (~/.config when unset).
#include <cstddef>
#include <string>

// CurrentUserClasses: the current user's class registrations (HKEY_CURRENT_USER\Software\Classes),
// which need no administrator rights, in the program's own registry view, where COM clients
// built like it look.
enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, CurrentUserClasses };

// Reads a string value. False when the key or value is missing, or when the value with its
// terminating zero does not fit in maxBytes.
bool RegistryReadString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                        std::size_t maxBytes, std::string& out);

// Writes (creating the key as needed) a string value. False when it cannot be stored.
bool RegistryWriteString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                         const std::string& value);

#if defined(_WIN32)
// Deletes a key with all its values and sub-keys. True when the key is gone (also when there
// was none).
bool RegistryDeleteTree(RegistryRoot root, const std::string& keyPath);
#endif

// Where values live, for telling the user: " in FILE" for the INI file, "" for the registry.
std::string RegistryStoreSuffix();

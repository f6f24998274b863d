//===- RegistrySandbox.h - A classes root of this process's own -*- C++ -*-===//
//
// Test support: while a sandbox lives, HKEY_CLASSES_ROOT (or, for a
// registration for the user, HKEY_CURRENT_USER) of this process is an empty
// key of its own, so that a test can register the server into it, break it
// (keys missing or read-only) and read back everything that landed there,
// without touching the registration that the rest of the test run relies
// on.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_REGISTRYSANDBOX_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_REGISTRYSANDBOX_H

#include "ClassesRoot.h"

#include <windows.h>

#include <string>
#include <vector>

namespace ServerTest {

/// Maps this process's HKEY_CLASSES_ROOT (for `scope` Machine) or
/// HKEY_CURRENT_USER (for User, whose classes root is Software\Classes
/// below it) onto a new, empty key under HKEY_CURRENT_USER
/// (RegOverridePredefKey) for as long as it lives: what the registrar and
/// RegisterTypeLib write, and what the test reads through that key, goes
/// there. The platform's own class lookups (CoCreateInstance of the
/// registrar, ProgIDFromCLSID) still read the machine's classes, and so do
/// Wine's registry functions given a registry view (KEY_WOW64_32KEY or
/// KEY_WOW64_64KEY) with HKEY_CLASSES_ROOT. One sandbox at a time; on
/// destruction the mapping is undone and the key is deleted, read-only
/// parts included. A sandbox left by a test process that died is deleted by
/// the next one. A test must not go on when the sandbox is not `Ready`: it
/// would change the machine's registration.
class RegistrySandbox {
public:
  explicit RegistrySandbox(
      VariantCollection::RegistrationScope scope = VariantCollection::RegistrationScope::Machine);
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox &) = delete;
  RegistrySandbox &operator=(const RegistrySandbox &) = delete;

  /// False when the sandbox could not be made (nothing is mapped then).
  bool Ready() const noexcept { return m_root != nullptr; }

  /// Everything in the sandbox, sorted: a line for each key (its path in
  /// lower case, as the registry compares key names) and one for each
  /// value, "path|name=text" (the default value has an empty name; values
  /// other than strings read "path|name=?"). Paths are from the classes
  /// root; the keys above it are left out, and anything else outside it
  /// reads "..\" and its path from the sandbox's root.
  std::vector<std::wstring> Contents() const;
  /// The path of every key in the sandbox from its root (the classes root
  /// and the keys above it included), its names spelt as they were created,
  /// parents before their children: what MakeReadOnly, MakeWritable and
  /// Delete take.
  std::vector<std::wstring> Keys() const;

  /// Creates `path` (with its parents) unless it exists, and lets nobody
  /// set its values, add keys to it or delete it; reading it and changing
  /// its permissions stay allowed. False when that fails.
  bool MakeReadOnly(const std::wstring &path);
  /// Allows everything on `path` again; true also when `path` is gone.
  bool MakeWritable(const std::wstring &path);
  /// Deletes `path` with everything below it. False when it did not exist.
  bool Delete(const std::wstring &path);

private:
  bool SetPermissions(const std::wstring &path, const wchar_t *descriptor, bool create);

  HKEY m_mapped;
  std::wstring m_classes; ///< The classes root's path from the sandbox's root.
  HKEY m_root = nullptr;
  std::wstring m_name;
};

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_REGISTRYSANDBOX_H

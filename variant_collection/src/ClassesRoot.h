//===- ClassesRoot.h - The classes root a registration writes to -*- C++ -*-===//
//
// RegistrationScope: whom a registration is for, the machine or the user.
// ClassesRoot: that scope's classes root, open. ClassesRootRedirection: the
// process's HKEY_CLASSES_ROOT standing for the user's classes root, for the
// platform's registrar, which writes nowhere else.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_CLASSESROOT_H
#define VARIANT_COLLECTION_CLASSESROOT_H

#include <windows.h>

namespace VariantCollection {

/// Whom a registration is for: every user of the machine (under
/// HKEY_CLASSES_ROOT, whose writes land in HKEY_LOCAL_MACHINE\Software\Classes
/// and on Windows need an administrator), or the calling user alone (under
/// HKEY_CURRENT_USER\Software\Classes).
enum class RegistrationScope { Machine, User };

/// The classes root of a scope, open for reading and writing from
/// construction to destruction: HKEY_CLASSES_ROOT itself for the machine,
/// HKEY_CURRENT_USER\Software\Classes (created when missing) for the user.
/// O(1); never throws.
class ClassesRoot {
public:
  explicit ClassesRoot(RegistrationScope scope) noexcept;
  ~ClassesRoot();
  ClassesRoot(const ClassesRoot &) = delete;
  ClassesRoot &operator=(const ClassesRoot &) = delete;

  /// S_OK, or the registry's status when the user's classes root cannot be
  /// opened or created (Key() is null then).
  HRESULT Status() const noexcept { return m_status; }
  /// The root's key, under which paths such as "CLSID\{...}" lie.
  HKEY Key() const noexcept { return m_key; }
  RegistrationScope Scope() const noexcept { return m_scope; }

private:
  RegistrationScope m_scope;
  HKEY m_key = nullptr;
  HRESULT m_status = S_OK;
};

/// For the user's classes root: while it lives, this process's
/// HKEY_CLASSES_ROOT stands for that root (RegOverridePredefKey), so that
/// what the platform writes and removes there lands in the user's classes;
/// on destruction HKEY_CLASSES_ROOT is the machine's classes root again.
/// For the machine's it does nothing. The redirection is the whole
/// process's: no other thread may use HKEY_CLASSES_ROOT meanwhile, and
/// redirections must not nest. `root` must outlive it. O(1); never throws.
class ClassesRootRedirection {
public:
  explicit ClassesRootRedirection(const ClassesRoot &root) noexcept;
  ~ClassesRootRedirection();
  ClassesRootRedirection(const ClassesRootRedirection &) = delete;
  ClassesRootRedirection &operator=(const ClassesRootRedirection &) = delete;

  /// S_OK, or the registry's status when the redirection failed (nothing
  /// is redirected then).
  HRESULT Status() const noexcept { return m_status; }

private:
  bool m_redirected = false;
  HRESULT m_status = S_OK;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_CLASSESROOT_H

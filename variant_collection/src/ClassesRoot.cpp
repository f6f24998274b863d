//===- ClassesRoot.cpp - The classes root a registration writes to --------===//

#include "ClassesRoot.h"

namespace VariantCollection {

ClassesRoot::ClassesRoot(RegistrationScope scope) noexcept : m_scope(scope) {
  if (scope == RegistrationScope::Machine) {
    m_key = HKEY_CLASSES_ROOT;
    return;
  }
  const LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                     nullptr, &m_key, nullptr);
  if (error != ERROR_SUCCESS) {
    m_key = nullptr;
    m_status = HRESULT_FROM_WIN32(error);
  }
}

ClassesRoot::~ClassesRoot() {
  if (m_scope == RegistrationScope::User && m_key != nullptr)
    RegCloseKey(m_key);
}

ClassesRootRedirection::ClassesRootRedirection(const ClassesRoot &root) noexcept {
  if (root.Scope() == RegistrationScope::Machine)
    return;
  const LONG error =
      root.Key() != nullptr ? RegOverridePredefKey(HKEY_CLASSES_ROOT, root.Key()) : ERROR_INVALID_HANDLE;
  m_redirected = error == ERROR_SUCCESS;
  m_status = m_redirected ? S_OK : HRESULT_FROM_WIN32(error);
}

ClassesRootRedirection::~ClassesRootRedirection() {
  if (m_redirected)
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

} // namespace VariantCollection

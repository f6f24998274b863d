//===- RegistrySandbox.cpp - A classes root of this process's own ---------===//

#include "RegistrySandbox.h"

#include <sddl.h>

#include <algorithm>
#include <cwctype>

namespace ServerTest {

namespace {

const wchar_t kSandboxes[] = L"Software\\CollectionTestSandboxes";
// Everyone may do everything; in the read-only form everyone is denied
// first setting values, adding keys and links, and deleting (0x10026), but
// may still read the key and change its permissions.
const wchar_t kWritable[] = L"D:(A;;KA;;;WD)";
const wchar_t kReadOnly[] = L"D:(D;;0x10026;;;WD)(A;;KA;;;WD)";

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

/// Allows everything on `key` and every key below it, so that a tree with
/// read-only parts can be deleted.
void OpenUp(HKEY parent, const std::wstring &path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kWritable, SDDL_REVISION_1, &descriptor, nullptr)) {
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
      LocalFree(descriptor);
    }
    RegCloseKey(key);
  }
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return;
  std::vector<std::wstring> children;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    children.emplace_back(name, length);
  }
  for (const std::wstring &child : children)
    OpenUp(key, child);
  RegCloseKey(key);
}

void DeleteTree(HKEY parent, const std::wstring &path) {
  OpenUp(parent, path);
  RegDeleteTreeW(parent, path.c_str());
  RegDeleteKeyW(parent, path.c_str());
}

/// The lines of Contents (or only the keys, as named, for `keysOnly`).
void Collect(HKEY key, const std::wstring &path, bool keysOnly, std::vector<std::wstring> &lines) {
  if (!path.empty())
    lines.push_back(keysOnly ? path : Lower(path));
  wchar_t name[16384];
  BYTE data[8192];
  for (DWORD i = 0; !keysOnly; ++i) {
    DWORD length = 16384;
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size) != ERROR_SUCCESS)
      break;
    std::wstring text = L"?";
    if (type == REG_SZ) {
      text.assign(reinterpret_cast<const wchar_t *>(data), size / sizeof(wchar_t));
      text.erase(std::find(text.begin(), text.end(), L'\0'), text.end());
    }
    lines.push_back(Lower(path) + L"|" + std::wstring(name, length) + L"=" + text);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = 16384;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    const std::wstring child(name, length);
    const std::wstring childPath = path.empty() ? child : path + L"\\" + child;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      Collect(sub, childPath, keysOnly, lines);
      RegCloseKey(sub);
    } else {
      lines.push_back(Lower(childPath) + L" (unreadable)");
    }
  }
}

} // namespace

RegistrySandbox::RegistrySandbox(VariantCollection::RegistrationScope scope)
    : m_mapped(scope == VariantCollection::RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT),
      m_classes(scope == VariantCollection::RegistrationScope::User ? L"software\\classes" : L"") {
  // Sandboxes of test processes that died on the way.
  DeleteTree(HKEY_CURRENT_USER, kSandboxes);
  // A name of its own, in case an older one could not be deleted.
  static unsigned made = 0;
  m_name = std::wstring(kSandboxes) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++made);
  HKEY root = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, m_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr) !=
      ERROR_SUCCESS)
    return;
  if (RegOverridePredefKey(m_mapped, root) != ERROR_SUCCESS) {
    RegCloseKey(root);
    DeleteTree(HKEY_CURRENT_USER, m_name);
    return;
  }
  m_root = root;
}

RegistrySandbox::~RegistrySandbox() {
  if (m_root == nullptr)
    return;
  RegOverridePredefKey(m_mapped, nullptr);
  RegCloseKey(m_root);
  DeleteTree(HKEY_CURRENT_USER, kSandboxes);
}

std::vector<std::wstring> RegistrySandbox::Contents() const {
  std::vector<std::wstring> all;
  if (m_root != nullptr)
    Collect(m_root, L"", false, all);
  if (m_classes.empty()) {
    std::sort(all.begin(), all.end());
    return all;
  }
  std::vector<std::wstring> lines;
  const std::wstring inside = m_classes + L"\\";
  for (const std::wstring &line : all) {
    if (line.rfind(inside, 0) == 0)
      lines.push_back(line.substr(inside.size()));
    else if (line != m_classes && inside.rfind(line + L"\\", 0) != 0) // not a key above the classes root
      lines.push_back(L"..\\" + line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::wstring> RegistrySandbox::Keys() const {
  std::vector<std::wstring> keys;
  if (m_root != nullptr)
    Collect(m_root, L"", true, keys);
  return keys;
}

bool RegistrySandbox::SetPermissions(const std::wstring &path, const wchar_t *descriptorText, bool create) {
  if (m_root == nullptr)
    return false;
  HKEY key = nullptr;
  LONG status = create ? RegCreateKeyExW(m_root, path.c_str(), 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr)
                       : RegOpenKeyExW(m_root, path.c_str(), 0, WRITE_DAC, &key);
  if (status != ERROR_SUCCESS)
    return !create && status == ERROR_FILE_NOT_FOUND;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool done = false;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptorText, SDDL_REVISION_1, &descriptor, nullptr)) {
    done = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
  }
  RegCloseKey(key);
  return done;
}

bool RegistrySandbox::MakeReadOnly(const std::wstring &path) { return SetPermissions(path, kReadOnly, true); }

bool RegistrySandbox::MakeWritable(const std::wstring &path) { return SetPermissions(path, kWritable, false); }

bool RegistrySandbox::Delete(const std::wstring &path) {
  if (m_root == nullptr || path.empty())
    return false;
  HKEY key = nullptr;
  if (RegOpenKeyExW(m_root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  DeleteTree(m_root, path);
  return true;
}

} // namespace ServerTest

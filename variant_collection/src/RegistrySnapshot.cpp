//===- RegistrySnapshot.cpp - Parts of the classes root, put back ---------===//

#include "RegistrySnapshot.h"

#include <algorithm>
#include <cctype>

namespace VariantCollection {

namespace {

/// The registrar's tokens: a quoted text (quotes doubled inside), or a run
/// of characters up to white space.
class ScriptTokens {
public:
  explicit ScriptTokens(std::string_view script) : m_script(script) {}

  /// The next token, or empty at the end.
  std::string_view Next() {
    while (m_at < m_script.size() && std::isspace(static_cast<unsigned char>(m_script[m_at])))
      ++m_at;
    const std::size_t start = m_at;
    if (m_at < m_script.size() && m_script[m_at] == '\'') {
      for (++m_at; m_at < m_script.size(); ++m_at) {
        if (m_script[m_at] != '\'')
          continue;
        if (m_at + 1 < m_script.size() && m_script[m_at + 1] == '\'')
          ++m_at;
        else
          break;
      }
      m_at = std::min(m_at + 1, m_script.size());
    } else {
      while (m_at < m_script.size() && !std::isspace(static_cast<unsigned char>(m_script[m_at])))
        ++m_at;
    }
    return m_script.substr(start, m_at - start);
  }

private:
  std::string_view m_script;
  std::size_t m_at = 0;
};

bool Is(std::string_view token, const char *word) {
  const std::string_view other(word);
  return token.size() == other.size() && std::equal(token.begin(), token.end(), other.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

/// A key name as the registry takes it: quotes taken off and doubled
/// quotes made single.
std::wstring KeyName(std::string_view token) {
  std::wstring name;
  const bool quoted = token.size() >= 2 && token.front() == '\'' && token.back() == '\'';
  if (quoted)
    token = token.substr(1, token.size() - 2);
  for (std::size_t i = 0; i < token.size(); ++i) {
    name += static_cast<wchar_t>(static_cast<unsigned char>(token[i]));
    if (quoted && token[i] == '\'' && i + 1 < token.size() && token[i + 1] == '\'')
      ++i;
  }
  return name;
}

bool KeyExists(HKEY root, const std::wstring &path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

/// Deletes the key at `path` under `root` with everything below it, as far
/// as it can: past a key that cannot be deleted it goes on with the others,
/// and of a key that stays it deletes the values. The first failure, or
/// ERROR_SUCCESS.
LONG Erase(HKEY root, const std::wstring &path) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS)
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
  std::vector<std::wstring> children;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    children.push_back(path + L"\\" + std::wstring(name, length));
  }
  RegCloseKey(key);
  for (const std::wstring &child : children) {
    const LONG error = Erase(root, child);
    if (result == ERROR_SUCCESS)
      result = error;
  }
  const LONG error = RegDeleteKeyW(root, path.c_str());
  if (error == ERROR_SUCCESS)
    return result;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    DWORD length = 256;
    while (RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           RegDeleteValueW(key, name) == ERROR_SUCCESS)
      length = 256;
    RegCloseKey(key);
  }
  return result == ERROR_SUCCESS ? error : result;
}

} // namespace

std::vector<std::wstring> KeysWrittenBy(std::string_view script) {
  struct Open {
    std::wstring path;
    bool kept; ///< NoRemove: the keys inside are recorded, not this one.
  };
  std::vector<std::wstring> keys;
  std::vector<Open> open; // the keys whose braces enclose the next token
  ScriptTokens tokens(script);
  bool rootSeen = false;
  std::string_view token = tokens.Next();
  while (!token.empty()) {
    if (token == "}") {
      if (open.empty())
        break;
      open.pop_back();
      token = tokens.Next();
      continue;
    }
    if (!rootSeen) { // "HKCR {"
      rootSeen = true;
      if (tokens.Next() != "{")
        break;
      open.push_back({std::wstring(), true});
      token = tokens.Next();
      continue;
    }
    if (open.empty())
      break;
    if (Is(token, "val")) { // val name = type value
      for (int skip = 0; skip < 4 && !token.empty(); ++skip)
        token = tokens.Next();
      token = tokens.Next();
      continue;
    }
    bool kept = false;
    if (Is(token, "NoRemove") || Is(token, "ForceRemove") || Is(token, "Delete")) {
      kept = Is(token, "NoRemove");
      token = tokens.Next();
    }
    const Open &parent = open.back();
    const std::wstring path = parent.path.empty() ? KeyName(token) : parent.path + L"\\" + KeyName(token);
    bool recorded = true;
    for (const Open &enclosing : open)
      recorded = recorded && enclosing.kept;
    if (recorded && !kept)
      keys.push_back(path);
    token = tokens.Next();
    if (token == "=") { // = type value
      tokens.Next();
      tokens.Next();
      token = tokens.Next();
    }
    if (token == "{") {
      open.push_back({path, kept});
      token = tokens.Next();
    }
  }
  return keys;
}

HRESULT RegistrySnapshot::Read(const std::wstring &path, std::vector<Key> &keys) {
  HKEY key = nullptr;
  LONG error = RegOpenKeyExW(m_root, path.c_str(), 0, KEY_READ, &key);
  if (error != ERROR_SUCCESS)
    return FromWin32(error);
  DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
  error = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values, &longestName,
                           &longestData, nullptr, nullptr);
  Key read{path, {}};
  std::vector<std::wstring> children;
  for (DWORD i = 0; error == ERROR_SUCCESS && i < values; ++i) {
    Value value{std::wstring(longestName + 1, L'\0'), 0, std::vector<BYTE>(longestData + 1)};
    DWORD nameLength = longestName + 1, size = longestData + 1;
    error = RegEnumValueW(key, i, &value.name[0], &nameLength, nullptr, &value.type, value.data.data(), &size);
    value.name.resize(nameLength);
    value.data.resize(size);
    read.values.push_back(std::move(value));
  }
  for (DWORD i = 0; error == ERROR_SUCCESS && i < subkeys; ++i) {
    std::wstring name(longestSubkey + 1, L'\0');
    DWORD length = longestSubkey + 1;
    error = RegEnumKeyExW(key, i, &name[0], &length, nullptr, nullptr, nullptr, nullptr);
    name.resize(length);
    children.push_back(path + L"\\" + name);
  }
  RegCloseKey(key);
  if (error != ERROR_SUCCESS)
    return FromWin32(error);
  keys.push_back(std::move(read));
  for (const std::wstring &child : children) {
    const HRESULT status = Read(child, keys);
    if (FAILED(status))
      return status;
  }
  return S_OK;
}

HRESULT RegistrySnapshot::Take(const std::wstring &path) noexcept {
  try {
    for (const Tree &tree : m_trees)
      if (CompareStringOrdinal(tree.path.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL)
        return S_OK;
    Tree tree{path, {}, {}};
    for (std::size_t end = path.size(); end != std::wstring::npos && end > 0; end = path.rfind(L'\\', end - 1)) {
      const std::wstring above = path.substr(0, end);
      if (KeyExists(m_root, above))
        break;
      if (end != path.size())
        tree.newAncestors.push_back(above);
    }
    if (KeyExists(m_root, path)) {
      const HRESULT status = Read(path, tree.keys);
      if (FAILED(status))
        return status;
    }
    m_trees.push_back(std::move(tree));
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RegistrySnapshot::Restore() const noexcept {
  HRESULT result = S_OK;
  const auto note = [&result](LONG error) {
    if (error != ERROR_SUCCESS && SUCCEEDED(result))
      result = FromWin32(error);
  };
  for (auto tree = m_trees.rbegin(); tree != m_trees.rend(); ++tree) {
    note(Erase(m_root, tree->path));
    for (const Key &saved : tree->keys) {
      HKEY key = nullptr;
      const LONG error =
          RegCreateKeyExW(m_root, saved.path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
      note(error);
      if (error != ERROR_SUCCESS)
        continue;
      for (const Value &value : saved.values)
        note(RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                            static_cast<DWORD>(value.data.size())));
      RegCloseKey(key);
    }
    for (const std::wstring &above : tree->newAncestors) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(m_root, above.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        continue;
      DWORD subkeys = 1, values = 1;
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr);
      RegCloseKey(key);
      if (subkeys == 0 && values == 0)
        note(RegDeleteKeyW(m_root, above.c_str()));
    }
  }
  return result;
}

} // namespace VariantCollection

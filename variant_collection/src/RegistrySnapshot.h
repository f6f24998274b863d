//===- RegistrySnapshot.h - Parts of the classes root, put back -*- C++ -*-===//
//
// RegistrySnapshot: records subtrees of a classes root (the machine's or the
// user's) before a registration writes into them, so that a registration
// that fails part way can put them back as they were.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_REGISTRYSNAPSHOT_H
#define VARIANT_COLLECTION_REGISTRYSNAPSHOT_H

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace VariantCollection {

/// The keys of the classes root (the script's HKCR) that the registry script
/// `script` (the registrar's language, as the module embeds it) creates or
/// replaces as a whole: every key whose enclosing keys below the root are
/// all marked NoRemove and that is not so marked itself, as paths from the
/// classes root ("CLSID\{...}", "Some.ProgID"). Values ("val") are skipped;
/// a script that is not well formed yields the keys read up to the fault.
/// O(length); throws std::bad_alloc.
std::vector<std::wstring> KeysWrittenBy(std::string_view script);

/// What some subtrees of a classes root hold (keys, values and whether they
/// and the keys above them exist), and their restoration. Not thread-safe;
/// the registry may change between `Take` and `Restore` only through the
/// registration that the snapshot guards.
class RegistrySnapshot {
public:
  /// A snapshot of nothing yet, of the classes root `root`
  /// (HKEY_CLASSES_ROOT, or the open key of the user's classes root), which
  /// must stay open while the snapshot is used.
  explicit RegistrySnapshot(HKEY root = HKEY_CLASSES_ROOT) noexcept : m_root(root) {}

  /// Records the subtree at `path` (a path from the root) and, for
  /// `path` and each key above it, whether it exists. A path recorded
  /// twice is recorded once. O(size of the subtree). Answers E_OUTOFMEMORY
  /// or the registry's status for a key that exists but cannot be read;
  /// never throws.
  HRESULT Take(const std::wstring &path) noexcept;

  /// Puts every recorded subtree back: deletes what lies at its path now
  /// and, when it existed, writes its keys and values again; then deletes
  /// the keys above it that did not exist and are empty. Goes on after a
  /// failure and answers the first failing status, else S_OK. O(size of
  /// the subtrees); never throws.
  HRESULT Restore() const noexcept;

private:
  struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
  };
  struct Key {
    std::wstring path; ///< From the root; parents before children.
    std::vector<Value> values;
  };
  struct Tree {
    std::wstring path;
    std::vector<std::wstring> newAncestors; ///< Did not exist; deepest first.
    std::vector<Key> keys;                  ///< Empty when `path` did not exist.
  };

  HRESULT Read(const std::wstring &path, std::vector<Key> &keys);

  HKEY m_root;
  std::vector<Tree> m_trees;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_REGISTRYSNAPSHOT_H

//===- internal/FileReplacement.h - Files replaced in one step -*- C++ -*-===//
//
// What every writer of JSON files in the project shares to replace a file
// in one step: the name of the temporary file written beside it and, on
// Windows, the retries and turns that let replacements and reads of one
// file meet. Header-only and free of the value library, so that the
// variant collection server's XJson includes it too.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_FILEREPLACEMENT_H
#define ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_FILEREPLACEMENT_H

#include <atomic>
#include <chrono>
#include <string>

#if defined(_WIN32)
#  include <shared_mutex>
#  include <wctype.h>
#  include <windows.h>
#endif

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

/// How many temporary names a writer tries, each taken already, before it
/// gives up.
constexpr int kTemporaryNameAttempts = 100;

/// A name for a temporary file, short and of one length (".json-", twelve
/// hexadecimal digits and ".tmp"), so that it fits wherever the name it
/// replaces fits; different at each call and, but for chance, from other
/// processes' names. The caller creates the file exclusively and tries
/// another name when this one is taken. Never throws but std::bad_alloc.
inline std::string TemporaryFileName(unsigned long processId) {
  static std::atomic<unsigned long long> s_counter{0};
  unsigned long long bits =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<unsigned long long>(processId) << 32) ^ (s_counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  // SplitMix64's finaliser: every input bit reaches the digits kept.
  bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
  bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
  bits ^= bits >> 31;
  char name[] = ".json-000000000000.tmp";
  for (int digit = 17; digit >= 6; --digit, bits >>= 4)
    name[digit] = "0123456789abcdef"[bits & 15];
  return name;
}

/// The folder part of `path`: up to and with the last of `separators` in it
/// (a drive's colon too on Windows), empty for a bare name.
template <typename Char>
std::basic_string<Char> FolderOf(const std::basic_string<Char> &path, const Char *separators) {
  const std::size_t last = path.find_last_of(separators);
  return last == std::basic_string<Char>::npos ? std::basic_string<Char>() : path.substr(0, last + 1);
}

#if defined(_WIN32)

/// Another thread's or process's passing hold on a file (a reader, a writer
/// replacing it, a scanner) makes Windows refuse to open or replace it for a
/// moment; a file that is open at all cannot be replaced. Such a refusal is
/// tried again, with short pauses so that a gap between a reader's reads is
/// met, for up to about a second.
class SharingRetries {
public:
  /// Whether to try again after `error`, once paused.
  bool Again(DWORD error) noexcept {
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
      return false;
    const DWORD now = GetTickCount();
    if (!m_started) {
      m_start = now;
      m_started = true;
    } else if (now - m_start >= kMilliseconds) {
      return false;
    }
    Sleep(1);
    return true;
  }

private:
  static const DWORD kMilliseconds = 1000;
  DWORD m_start = 0;
  bool m_started = false;
};

/// Within one process (one module), the reads of a file and its
/// replacements take turns: a thread reading it in a loop could otherwise
/// keep a writer from ever finding it closed. Readers share the turn of a
/// file, a replacement takes it alone. The turns are kept per hash of the
/// full path, upper case; other processes are met by the retries alone.
inline std::shared_mutex &TurnsFor(const std::wstring &name) {
  static std::shared_mutex s_turns[64];
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = GetFullPathNameW(name.c_str(), length, &full[0], nullptr);
  }
  full.resize(length != 0 && length < full.size() ? length : 0);
  const std::wstring &key = full.empty() ? name : full;
  unsigned long hash = 2166136261u; // FNV-1a
  for (wchar_t c : key)
    hash = (hash ^ static_cast<unsigned long>(towupper(c))) * 16777619u;
  return s_turns[hash % 64];
}

#endif

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_FILEREPLACEMENT_H

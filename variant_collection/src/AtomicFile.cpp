//===- AtomicFile.cpp - A file replaced all at once -----------------------===//

#include "AtomicFile.h"

#include "internal/FileReplacement.h"

#include <mutex>
#include <string>

namespace VariantCollection {

namespace internal = Zorbin::Tessel::Collection::internal;

namespace {

/// Writes all `size` bytes at `data` to `file`.
DWORD WriteAll(HANDLE file, const char *data, std::size_t size) noexcept {
  while (size > 0) {
    const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr))
      return GetLastError();
    if (written == 0)
      return ERROR_WRITE_FAULT;
    data += written;
    size -= written;
  }
  return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

/// Renames `from` over `to`, taking the turn of `to` in this module and
/// trying again while another thread or process holds `to` for a moment.
DWORD Replace(const std::wstring &from, const wchar_t *to) {
  std::shared_mutex &turns = internal::TurnsFor(to);
  for (internal::SharingRetries retries;;) {
    DWORD error;
    {
      std::lock_guard<std::shared_mutex> turn(turns);
      if (MoveFileExW(from.c_str(), to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_SUCCESS;
      error = GetLastError();
    }
    if (!retries.Again(error))
      return error;
  }
}

} // namespace

DWORD ReplaceFileAtomically(const wchar_t *path, const void *data, std::size_t size) noexcept {
  try {
    const std::wstring folder = internal::FolderOf(std::wstring(path), L"/\\:");
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < internal::kTemporaryNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
      const std::string name = internal::TemporaryFileName(GetCurrentProcessId());
      temporary = folder + std::wstring(name.begin(), name.end());
      file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
        break;
    }
    if (file == INVALID_HANDLE_VALUE)
      return error;
    error = WriteAll(file, static_cast<const char *>(data), size);
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
      error = GetLastError();
    if (error == ERROR_SUCCESS)
      error = Replace(temporary, path);
    if (error != ERROR_SUCCESS)
      DeleteFileW(temporary.c_str());
    return error;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

DWORD OpenForReading(const wchar_t *path, HANDLE &file) noexcept {
  try {
    std::shared_mutex &turns = internal::TurnsFor(path);
    for (internal::SharingRetries retries;;) {
      DWORD error;
      {
        std::shared_lock<std::shared_mutex> turn(turns);
        file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
          return ERROR_SUCCESS;
        error = GetLastError();
      }
      if (!retries.Again(error))
        return error;
    }
  } catch (...) {
    file = INVALID_HANDLE_VALUE;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

} // namespace VariantCollection

//===- AtomicFile.cpp - A file replaced all at once -----------------------===//

#include "AtomicFile.h"

#include <cwchar>
#include <string>

namespace VariantCollection {

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

} // namespace

DWORD ReplaceFileAtomically(const wchar_t *path, const void *data, std::size_t size) noexcept {
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
  try {
    // A name nobody else uses: the process's number and a count, tried
    // until the file can be created anew.
    static volatile LONG s_count = 0;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
      wchar_t suffix[40];
      std::swprintf(suffix, 40, L".%lu-%ld.tmp", GetCurrentProcessId(), InterlockedIncrement(&s_count));
      temporary = std::wstring(path) + suffix;
      file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
        break;
    }
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (file == INVALID_HANDLE_VALUE)
    return error;
  error = WriteAll(file, static_cast<const char *>(data), size);
  if (!CloseHandle(file) && error == ERROR_SUCCESS)
    error = GetLastError();
  if (error == ERROR_SUCCESS &&
      !MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error != ERROR_SUCCESS)
    DeleteFileW(temporary.c_str());
  return error;
}

} // namespace VariantCollection

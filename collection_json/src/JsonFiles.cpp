//===- JsonFiles.cpp - JsonError, and JSON files read and replaced --------===//

#include <Collection/Json.h>

#include "internal/JsonFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <sys/stat.h>
#  include <windows.h>
#else
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace Zorbin {
namespace Tessel {
namespace Collection {

JsonError::JsonError(const std::string &message, std::size_t line, std::size_t column, std::size_t offset,
                     const std::string &path)
    : std::runtime_error(message), m_line(line), m_column(column), m_offset(offset), m_path(path) {}

JsonError::~JsonError() = default;

namespace {

[[noreturn]] void FileError(const char *action, const std::string &path, const std::string &reason) {
  throw JsonError(std::string("cannot ") + action + " " + path + ": " + reason, 0, 0, 0, "");
}

std::string ErrnoText(int error) { return std::strerror(error); }

#if defined(_WIN32)

// File names are UTF-8; Windows takes them as UTF-16.
std::wstring Wide(const std::string &path) {
  if (path.empty())
    return std::wstring();
  int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), nullptr, 0);
  if (length <= 0)
    FileError("use the file name", path, "it is not valid UTF-8");
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), &wide[0], length);
  return wide;
}

std::string SystemText(DWORD error) {
  char *text = nullptr;
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string message = length != 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(error);
  if (text != nullptr)
    LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message;
}

std::FILE *OpenForReading(const std::string &path) { return _wfopen(Wide(path).c_str(), L"rb"); }
int CreateNew(const std::string &path) {
  return _wopen(Wide(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int WriteSome(int file, const char *data, std::size_t size) {
  return _write(file, data, static_cast<unsigned>(size > 0x40000000u ? 0x40000000u : size));
}
int Flush(int file) { return _commit(file); }
int CloseFile(int file) { return _close(file); }
void RemoveFile(const std::string &path) { _wremove(Wide(path).c_str()); }
unsigned long ProcessId() { return GetCurrentProcessId(); }
void Replace(const std::string &from, const std::string &to) {
  if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    std::string reason = SystemText(GetLastError());
    RemoveFile(from);
    FileError("replace", to, reason);
  }
}

#else

std::FILE *OpenForReading(const std::string &path) { return std::fopen(path.c_str(), "rb"); }
int CreateNew(const std::string &path) { return ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666); }
long WriteSome(int file, const char *data, std::size_t size) { return static_cast<long>(::write(file, data, size)); }
int Flush(int file) { return ::fsync(file); }
int CloseFile(int file) { return ::close(file); }
void RemoveFile(const std::string &path) { ::unlink(path.c_str()); }
unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }
void Replace(const std::string &from, const std::string &to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    std::string reason = ErrnoText(errno);
    RemoveFile(from);
    FileError("replace", to, reason);
  }
}

#endif

// A name for the temporary file beside `path` that no other writer uses.
std::string TemporaryName(const std::string &path) {
  static std::atomic<unsigned long> s_counter{0};
  unsigned long long stamp =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return path + ".tmp" + std::to_string(ProcessId()) + "-" + std::to_string(s_counter.fetch_add(1)) + "-" +
         std::to_string(stamp % 1000000007ull);
}

} // namespace

Runtime::Ref<const Value> ReadJsonFile(const std::string &path) {
  std::FILE *file = OpenForReading(path);
  if (file == nullptr)
    FileError("open", path, ErrnoText(errno));
  std::string text;
  try {
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0)
      text.append(chunk, got);
    if (std::ferror(file)) {
      std::string reason = ErrnoText(errno);
      std::fclose(file);
      FileError("read", path, reason);
    }
  } catch (const std::bad_alloc &) {
    std::fclose(file);
    throw;
  }
  std::fclose(file);
  return internal::ReadJsonText(text, path.c_str());
}

void WriteJsonFile(const Value &value, const std::string &path, const JsonWriteOptions &options) {
  std::string text = WriteJson(value, options);
  text += '\n';
  std::string temporary = TemporaryName(path);
  int file = CreateNew(temporary);
  if (file < 0)
    FileError("write", path, ErrnoText(errno));
  const char *data = text.data();
  std::size_t left = text.size();
  while (left != 0) {
    auto written = WriteSome(file, data, left);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      std::string reason = ErrnoText(written < 0 ? errno : ENOSPC);
      CloseFile(file);
      RemoveFile(temporary);
      FileError("write", path, reason);
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (Flush(file) != 0) {
    std::string reason = ErrnoText(errno);
    CloseFile(file);
    RemoveFile(temporary);
    FileError("write", path, reason);
  }
  if (CloseFile(file) != 0) {
    std::string reason = ErrnoText(errno);
    RemoveFile(temporary);
    FileError("write", path, reason);
  }
  Replace(temporary, path);
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

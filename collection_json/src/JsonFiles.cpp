//===- JsonFiles.cpp - JsonError, and JSON files read and replaced --------===//

#include <Collection/Json.h>

#include "internal/FileReplacement.h"
#include "internal/JsonFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <mutex>
#  include <shared_mutex>
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

using NativeName = std::wstring;

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

// The text of a system error code: for the codes the C runtime knows by an
// errno value its English text, as the C runtime's own functions and every
// other system give it ("No such file or directory"); for any other the
// system's message, in UTF-8 whatever the language of the system.
std::string SystemText(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME:
  case ERROR_BAD_PATHNAME:
    return ErrnoText(ENOENT);
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
  case ERROR_NETWORK_ACCESS_DENIED:
  case ERROR_WRITE_PROTECT:
  case ERROR_CURRENT_DIRECTORY:
  case ERROR_DRIVE_LOCKED:
    return ErrnoText(EACCES);
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS:
    return ErrnoText(EEXIST);
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return ErrnoText(ENOSPC);
  case ERROR_TOO_MANY_OPEN_FILES:
    return ErrnoText(EMFILE);
  case ERROR_NOT_SAME_DEVICE:
    return ErrnoText(EXDEV);
  case ERROR_FILENAME_EXCED_RANGE:
    return ErrnoText(ENAMETOOLONG);
  default:
    break;
  }
  wchar_t *text = nullptr;
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string message;
  if (length != 0 && text != nullptr) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      message.resize(static_cast<std::size_t>(size));
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &message[0], size, nullptr, nullptr);
    }
  }
  if (text != nullptr)
    LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

// Everything `file` holds, closing it.
std::string ReadAll(HANDLE file, const std::string &path) {
  std::string text;
  try {
    char chunk[65536];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
      if (got == 0) {
        CloseHandle(file);
        return text;
      }
      text.append(chunk, got);
    }
    std::string reason = SystemText(GetLastError());
    CloseHandle(file);
    FileError("read", path, reason);
  } catch (const std::bad_alloc &) {
    CloseHandle(file);
    throw;
  }
}

// Opens with every sharing mode, so that a writer may replace the file
// meanwhile.
std::string ReadFileText(const std::string &path) {
  std::wstring name = Wide(path);
  std::shared_mutex &turns = internal::TurnsFor(name);
  for (internal::SharingRetries retries;;) {
    std::shared_lock<std::shared_mutex> turn(turns);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      return ReadAll(file, path);
    DWORD error = GetLastError();
    turn.unlock();
    if (!retries.Again(error))
      FileError("open", path, SystemText(error));
  }
}

// The name a write to `path` replaces.
std::wstring TargetOf(const std::string &path) { return Wide(path); }

// Creates a new temporary file beside `target` for writing, naming it in
// `temporary`.
int CreateTemporary(const std::wstring &target, const std::string &path, std::wstring &temporary) {
  std::wstring folder = internal::FolderOf(target, L"/\\:");
  for (int attempt = 1;; ++attempt) {
    std::string name = internal::TemporaryFileName(GetCurrentProcessId());
    temporary = folder + std::wstring(name.begin(), name.end());
    int file = _wopen(temporary.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file >= 0)
      return file;
    if (errno != EEXIST || attempt == internal::kTemporaryNameAttempts)
      FileError("write", path, ErrnoText(errno));
  }
}
int WriteSome(int file, const char *data, std::size_t size) {
  return _write(file, data, static_cast<unsigned>(size > 0x40000000u ? 0x40000000u : size));
}
int Flush(int file) { return _commit(file); }
int CloseFile(int file) { return _close(file); }
void RemoveFile(const std::wstring &name) { _wremove(name.c_str()); }
void Replace(const std::wstring &from, const std::wstring &to, const std::string &path) {
  std::shared_mutex &turns = internal::TurnsFor(to);
  for (internal::SharingRetries retries;;) {
    DWORD error;
    {
      std::lock_guard<std::shared_mutex> turn(turns);
      if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
      error = GetLastError();
    }
    if (!retries.Again(error)) {
      RemoveFile(from);
      FileError("replace", path, SystemText(error));
    }
  }
}

#else

using NativeName = std::string;

std::string ReadFileText(const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
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
  return text;
}

// As many links as Linux follows in one path.
constexpr int kMaxLinks = 40;

// The name a write to `path` replaces: `path` itself or, where it is a
// symbolic link, the end of its chain of links (which need not exist yet),
// so that the links stay.
std::string TargetOf(const std::string &path) {
  std::string target = path;
  for (int links = 0;; ++links) {
    struct stat status;
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
      return target;
    if (links == kMaxLinks)
      FileError("write", path, ErrnoText(ELOOP));
    std::string link(static_cast<std::size_t>(status.st_size) + 1, '\0');
    ssize_t length;
    while ((length = ::readlink(target.c_str(), &link[0], link.size())) >= 0 &&
           static_cast<std::size_t>(length) == link.size())
      link.resize(link.size() * 2); // the link changed meanwhile
    if (length < 0)
      FileError("write", path, ErrnoText(errno));
    link.resize(static_cast<std::size_t>(length));
    target = !link.empty() && link[0] == '/' ? link : internal::FolderOf(target, "/") + link;
  }
}

// Creates a new temporary file beside `target` for writing, naming it in
// `temporary`. Where it will replace a file, it takes that file's owner
// (where this process may give it) and permission bits, and is never more
// open than that file even for a moment; else it has a new file's mode.
int CreateTemporary(const std::string &target, const std::string &path, std::string &temporary) {
  struct stat status;
  bool replacing = ::stat(target.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  std::string folder = internal::FolderOf(target, "/");
  for (int attempt = 1;; ++attempt) {
    temporary = folder + internal::TemporaryFileName(static_cast<unsigned long>(::getpid()));
    int file =
        ::open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, replacing ? status.st_mode & 0777 : 0666);
    if (file >= 0) {
      if (replacing) {
        // The owner first: a change of owner may clear the set-user-ID and
        // set-group-ID bits. Either may be refused, leaving the file the
        // writer's or without the bits the umask took: never more open.
        if (::fchown(file, status.st_uid, status.st_gid) != 0) {
          // An owner this process may not give away.
        }
        ::fchmod(file, status.st_mode & 07777);
      }
      return file;
    }
    if (errno != EEXIST || attempt == internal::kTemporaryNameAttempts)
      FileError("write", path, ErrnoText(errno));
  }
}
long WriteSome(int file, const char *data, std::size_t size) { return static_cast<long>(::write(file, data, size)); }
int Flush(int file) { return ::fsync(file); }
int CloseFile(int file) { return ::close(file); }
void RemoveFile(const std::string &name) { ::unlink(name.c_str()); }
void Replace(const std::string &from, const std::string &to, const std::string &path) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    std::string reason = ErrnoText(errno);
    RemoveFile(from);
    FileError("replace", path, reason);
  }
}

#endif

} // namespace

Runtime::Ref<const Value> ReadJsonFile(const std::string &path) {
  return internal::ReadJsonText(ReadFileText(path), path.c_str());
}

void WriteJsonFile(const Value &value, const std::string &path, const JsonWriteOptions &options) {
  std::string text = WriteJson(value, options);
  text += '\n';
  NativeName target = TargetOf(path);
  NativeName temporary;
  int file = CreateTemporary(target, path, temporary);
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
  Replace(temporary, target, path);
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

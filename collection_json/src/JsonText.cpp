//===- JsonText.cpp - Numbers, positions and paths of JSON text -----------===//

#include "internal/JsonText.h"

#include <charconv>
#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

std::size_t FormatDouble(double value, char *buffer) noexcept {
  std::to_chars_result result = std::to_chars(buffer, buffer + 31, value);
  std::size_t length = static_cast<std::size_t>(result.ptr - buffer);
  for (std::size_t i = 0; i < length; ++i)
    if (buffer[i] == '.' || buffer[i] == 'e')
      return length;
  buffer[length++] = '.';
  buffer[length++] = '0';
  return length;
}

void LineAndColumn(const std::string &text, std::size_t offset, std::size_t &line, std::size_t &column) noexcept {
  if (offset > text.size())
    offset = text.size();
  line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  column = offset - lineStart + 1;
}

void AppendKeyToPath(std::string &path, const std::string &key) {
  if (!key.empty() && key.find_first_of(".[]\"") == std::string::npos) {
    if (!path.empty())
      path += '.';
    path += key;
    return;
  }
  path += "[\"";
  for (char c : key) {
    if (c == '"' || c == '\\')
      path += '\\';
    path += c;
  }
  path += "\"]";
}

void AppendIndexToPath(std::string &path, unsigned long index) {
  path += '[';
  path += std::to_string(index);
  path += ']';
}

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

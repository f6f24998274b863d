//===- Collection/Json.h - JSON text in and out of value trees --*- C++ -*-===//
//
// ReadJson and WriteJson: RFC 8259 JSON text read into values of the value
// library and values written back as JSON text; JsonError, what both raise.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_H
#define ZORBIN_TESSEL_COLLECTION_JSON_H

#include <Collection/JsonExport.h>
#include <Collection/Value.h>
#include <Runtime/Ref.h>

#include <cstddef>
#include <iosfwd>
#include <stdexcept>
#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// The failure of a JSON operation: malformed or unrepresentable input, a
/// value with no JSON form, a stream that fails, a file that cannot be
/// opened, written or replaced. `what()` is a sentence a person can act on:
/// "line 2, column 9: invalid value", "view.zoom: NaN has no JSON form",
/// "cannot open settings.json: No such file or directory". The cause of a
/// file error is the C library's text of its errno value (`strerror`); on
/// Windows the C runtime's English text for the system errors it maps to
/// one ("Permission denied" for a sharing violation too), the system's own
/// message converted to UTF-8 for the others.
///
/// Every operation of this header raises `JsonError` for every failure but
/// memory exhaustion, which passes through as std::bad_alloc.
class COLLECTION_JSON_API JsonError : public std::runtime_error {
public:
  /// `message` is the whole text `what()` answers. May raise std::bad_alloc.
  JsonError(const std::string &message, std::size_t line, std::size_t column, std::size_t offset,
            const std::string &path);
  JsonError(const JsonError &) = default;
  JsonError &operator=(const JsonError &) = default;
  ~JsonError() override;

  /// 1-based line of the byte where reading stopped making sense (lines end
  /// at each line feed); 0 for writing and file errors.
  std::size_t Line() const noexcept { return m_line; }
  /// 1-based column of that byte in its line, counted in bytes; 0 for
  /// writing and file errors.
  std::size_t Column() const noexcept { return m_column; }
  /// 0-based offset of that byte in the input as given (a byte-order mark
  /// counts); 0 for writing and file errors.
  std::size_t Offset() const noexcept { return m_offset; }
  /// Where in the value tree: member names joined by dots and element
  /// indexes in brackets ("view.zoom", "items[3]", "items[3].name"); a
  /// member name that is empty or holds `.`, `[`, `]` or `"` in brackets
  /// and double quotes, its `"` and `\` escaped by a backslash
  /// (`["a.b"]["c[0]"]`, `view[""]`, `["a.b"].zoom`). Empty for the
  /// top-level value and for stream and file errors.
  const std::string &Path() const noexcept { return m_path; }

private:
  std::size_t m_line;
  std::size_t m_column;
  std::size_t m_offset;
  std::string m_path;
};

/// Reads one JSON value (RFC 8259) from `text`: white space may surround it,
/// nothing else may follow it; a leading UTF-8 byte-order mark is skipped.
///
/// | JSON                                          | value                           |
/// |-----------------------------------------------|---------------------------------|
/// | null                                          | `Value::Null()`                 |
/// | true, false                                   | `Boolean::True()`, `False()`    |
/// | integer literal in [-2^31, 2^31)              | `Number`, type `Int`            |
/// | integer literal in [2^31, 2^32)               | `Number`, type `UnsignedInt`    |
/// | every other number                            | `Number`, type `Double`, the nearest double (ties to even); 0 or a subnormal on underflow |
/// | string                                        | `String` of its UTF-8 bytes, escapes decoded (`\u0000` is a zero byte) |
/// | array                                         | `Array`                         |
/// | object                                        | `Dictionary`; of a repeated key the last value stays |
///
/// Raises JsonError for invalid syntax, invalid UTF-8, lone surrogates in
/// escapes, control characters in strings (a zero byte too), a number
/// beyond the double range ("number out of range"), nesting deeper than
/// 1,000 arrays and objects, an empty input; its position is that of the
/// byte where the input stopped making sense (for an input that is empty or
/// only white space its end, where a value was expected) and its path names
/// the member being read. Nothing is kept of a failed read.
///
/// Complexity: O(length of the text); the parser does not recurse, so deep
/// input costs no stack. May raise std::bad_alloc.
COLLECTION_JSON_API Runtime::Ref<const Value> ReadJson(const std::string &text);

/// `ReadJson` of everything `in` yields up to its end, which leaves `in`
/// with eofbit alone set. A stream that has failed already (failbit or
/// badbit: a file that did not open) or that fails before its end raises
/// JsonError "cannot read the input stream". `in`'s exception mask makes no
/// difference and is left as it was: no std::ios_base::failure comes out.
/// May raise std::bad_alloc.
COLLECTION_JSON_API Runtime::Ref<const Value> ReadJson(std::istream &in);

/// `ReadJson` of the whole file at `path` (UTF-8 on Windows too). A file that
/// cannot be opened or read raises JsonError ("cannot open settings.json: No
/// such file or directory"); errors in its text name the file before their
/// position ("settings.json: line 2, column 9: invalid value"). On Windows
/// the file is opened with every sharing mode, it takes turns with the
/// process's own `WriteJsonFile` of the same path (see there), and an open
/// refused for a sharing violation or "access denied" (another process's
/// passing hold, a file in the middle of its replacement) is tried again
/// for up to about a second before it fails. May raise std::bad_alloc.
COLLECTION_JSON_API Runtime::Ref<const Value> ReadJsonFile(const std::string &path);

/// How `WriteJson` lays out its text.
struct JsonWriteOptions {
  /// 0: compact, no white space at all. N: pretty, each member and element
  /// on a line of its own indented N spaces per level, `"key": value`, empty
  /// containers as `{}` and `[]`, no line feed after the last bracket.
  unsigned indent = 0;
};

/// The JSON text of `value`:
///
/// | value                                 | JSON                                            |
/// |---------------------------------------|-------------------------------------------------|
/// | `Value::Null()`                       | null                                            |
/// | `Boolean`                             | true, false                                     |
/// | `Number` of type `Int`, `UnsignedInt` | decimal integer                                 |
/// | `Number` of type `Double`             | shortest text that reads back as the same double, always with a fraction or an exponent (3.0, -0.0, 1e+300) |
/// | `Number` of type `Float`              | the same of the float's own value as a double   |
/// | `String`                              | string: `"` and `\` escaped, control bytes as `\b \f \n \r \t` or `\u00XX`, other bytes as they are |
/// | `Array` and derived classes           | array, read through `Count` and `GetValueAtIndex` |
/// | `Dictionary` and derived classes      | object in the dictionary's key order, walked with `Apply` |
///
/// Raises JsonError naming the path of the first value that has no JSON
/// form: NaN and infinities, a `String` that is not valid UTF-8, a `Data`, an
/// `Object`, a value of any other kind, nesting deeper than 1,000 arrays and
/// objects (a dictionary that holds itself ends there).
///
/// Complexity: O(size of the tree). May raise std::bad_alloc.
COLLECTION_JSON_API std::string WriteJson(const Value &value, const JsonWriteOptions &options = JsonWriteOptions());

/// Writes the text `WriteJson(value, options)` gives into `out`, without
/// flushing it. On a value with no JSON form nothing is written; a stream
/// that has failed already or fails now raises JsonError "cannot write the
/// output stream", whatever `out`'s exception mask, which is left as it was.
/// May raise std::bad_alloc.
COLLECTION_JSON_API void WriteJson(const Value &value, std::ostream &out,
                                   const JsonWriteOptions &options = JsonWriteOptions());

/// Writes the text `WriteJson(value, options)` gives and one line feed into
/// the file at `path` (UTF-8 on Windows too), replacing it atomically: the
/// text goes to a temporary file in the same folder (".json-" and twelve
/// hexadecimal digits and ".tmp", so that any name the folder allows can be
/// written), which is renamed over the file only when all of it was written
/// and flushed to the disk. On any failure (a value with no JSON form, a
/// full disk, a folder that cannot be written) an existing file stays as it
/// was, no temporary file is left and JsonError names `path` and the cause.
///
/// Elsewhere than on Windows, where `path` is a symbolic link (or a chain
/// of them) the file it leads to is replaced, or made where it is missing,
/// and the links stay; a replaced file keeps its permission bits and, where
/// the process may give it, its owner and group; a new file gets the mode
/// of any new file (0666 less the umask).
///
/// Windows replaces no file that is open: within one process the
/// replacement takes turns with the reads of `ReadJsonFile` and the other
/// replacements of the same full path (in any case), and a replacement refused
/// for a sharing violation or "access denied" (another process holding the
/// file for a moment) is tried again for up to about a second before it
/// fails. The file gets the attributes and access rights of a new file in
/// its folder. May raise std::bad_alloc.
COLLECTION_JSON_API void WriteJsonFile(const Value &value, const std::string &path,
                                       const JsonWriteOptions &options = JsonWriteOptions());

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_H

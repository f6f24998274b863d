//===- AtomicFile.h - A file replaced all at once ---------------*- C++ -*-===//
//
// ReplaceFileAtomically: writes a file's new contents beside it and puts
// them in its place only when all of them were written, so that a reader
// never meets half a file and a failure leaves the old one; OpenForReading:
// opens a file so that a replacement may proceed meanwhile.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_ATOMICFILE_H
#define VARIANT_COLLECTION_ATOMICFILE_H

#include <windows.h>

#include <cstddef>

namespace VariantCollection {

/// Makes the file at `path` hold exactly the `size` bytes at `data`: they
/// are written to a new temporary file in the same folder (a short name of
/// one length, ".json-<12 hex digits>.tmp", created exclusively, so that
/// any name the folder allows can be written), flushed, and the temporary
/// file is then renamed over `path` (MoveFileEx with
/// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), which replaces an
/// existing file in one step. The replacement takes turns with this
/// module's reads of the same file (OpenForReading), and one refused for a
/// sharing violation or access denied (another process holding the file
/// for a moment) is tried again for about a second.
///
/// Answers ERROR_SUCCESS, or the system's error code of the step that
/// failed (the folder missing or not writable, the disk full, `path` a
/// folder or a file that cannot be replaced, ...); a failure leaves an
/// existing file at `path` as it was and no temporary file behind. O(size);
/// never throws.
DWORD ReplaceFileAtomically(const wchar_t *path, const void *data, std::size_t size) noexcept;

/// Opens the existing file at `path` for reading into `file`, with every
/// sharing mode, so that a writer may replace it meanwhile; taking turns
/// with this module's replacements of it and trying again for about a
/// second as ReplaceFileAtomically does. Answers ERROR_SUCCESS (`file`
/// then open, the caller's to close) or the system's error code (`file`
/// INVALID_HANDLE_VALUE). Never throws.
DWORD OpenForReading(const wchar_t *path, HANDLE &file) noexcept;

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_ATOMICFILE_H

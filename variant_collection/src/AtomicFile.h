//===- AtomicFile.h - A file replaced all at once ---------------*- C++ -*-===//
//
// ReplaceFileAtomically: writes a file's new contents beside it and puts
// them in its place only when all of them were written, so that a reader
// never meets half a file and a failure leaves the old one.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_ATOMICFILE_H
#define VARIANT_COLLECTION_ATOMICFILE_H

#include <windows.h>

#include <cstddef>

namespace VariantCollection {

/// Makes the file at `path` hold exactly the `size` bytes at `data`: they
/// are written to a new temporary file in the same folder ("<path>.<n>.tmp",
/// created exclusively), flushed, and the temporary file is then renamed
/// over `path` (MoveFileEx with MOVEFILE_REPLACE_EXISTING |
/// MOVEFILE_WRITE_THROUGH), which replaces an existing file in one step.
///
/// Answers ERROR_SUCCESS, or the system's error code of the step that
/// failed (the folder missing or not writable, the disk full, `path` a
/// folder or a file that cannot be replaced, ...); a failure leaves an
/// existing file at `path` as it was and no temporary file behind. O(size);
/// never throws.
DWORD ReplaceFileAtomically(const wchar_t *path, const void *data, std::size_t size) noexcept;

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_ATOMICFILE_H

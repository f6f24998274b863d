//===- Quorrel/NativeAllocator.h - The process-wide native allocator -*- C++ -*-===//
//
// The allocator through which the framework's libraries take their memory.
//
// What goes through it in the value library: every value object, the element
// and entry storage of the containers, and every byte buffer. Standard strings
// (values' text, dictionary keys, the results of StringValue and ToString)
// keep the standard allocator, because they cross module boundaries and the
// module that frees them is the client's. The default allocator is malloc and
// free, so both kinds of memory still come from the one C heap.
//
//===----------------------------------------------------------------------===//
#ifndef QUORREL_NATIVEALLOCATOR_H
#define QUORREL_NATIVEALLOCATOR_H

#include <Quorrel/Export.h>

#include <cstddef>

/// A source of raw memory blocks.
class QUORREL_API NativeAllocator {
public:
  virtual ~NativeAllocator();

  /// A block of at least `size` bytes (0 included), aligned for any type, or
  /// null when no memory is available. Never throws.
  virtual void *Allocate(std::size_t size) = 0;

  /// Takes back a block that `Allocate` of this allocator returned. Accepts
  /// null, which does nothing. Never throws.
  virtual void Free(void *block) = 0;
};

/// The allocator in use now. Ask anew for every allocation and every release:
/// a host or a test may install another one. Never null.
QUORREL_API NativeAllocator *GetNativeAllocator() noexcept;

/// Installs `allocator` as the one `GetNativeAllocator` answers and returns
/// the one installed before; null reinstalls the default (malloc and free).
/// Blocks must go back to the allocator that gave them: install another one
/// only while no block of the current one is outstanding, or make the new one
/// hand foreign blocks on to the old one.
QUORREL_API NativeAllocator *SetNativeAllocator(NativeAllocator *allocator) noexcept;

#endif // QUORREL_NATIVEALLOCATOR_H

//===- TaskMemory.h - Count the blocks of the COM task allocator -*- C++ -*-===//
//
// Test support: a spy on the platform's task allocator (CoTaskMemAlloc, and
// through it BSTRs, SAFEARRAYs and ProgID strings), so that a test can see
// that every block handed out during an operation was given back.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_TASKMEMORY_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_TASKMEMORY_H

namespace ServerTest {

/// Installs the spy (once, for the rest of the process) and turns the BSTR
/// cache off, so that a freed string goes back to the allocator at once
/// rather than being kept for reuse. False when the platform refused the
/// spy: nothing is counted then.
bool CountTaskMemory();

/// The number of task-allocator blocks allocated since the spy was
/// installed and not freed yet (0 without the spy). May be called on any
/// thread.
long LiveTaskMemoryBlocks();

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_TASKMEMORY_H

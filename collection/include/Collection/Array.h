//===- Collection/Array.h - Ordered container of values ---------*- C++ -*-===//
//
// Array: the value kind that holds a sequence of values by position.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_ARRAY_H
#define ZORBIN_TESSEL_COLLECTION_ARRAY_H

#include <Collection/internal/NativeStlAllocator.h>
#include <Collection/Value.h>

#include <cstddef>
#include <iterator>
#include <vector>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// A sequence of values addressed by a zero-based index.
///
/// An array never copies the values given to it: each element holds one
/// reference on its value, taken when the element is stored and given back
/// when it is removed, replaced or the array dies. The same value may stand
/// at several indexes, each occurrence with its own reference. The values are
/// reached read-only, as `const Value&`, valid as long as the array holds the
/// element.
///
/// The elements are stored contiguously in memory from the native allocator.
/// Indexes and `Count()` are unsigned 32-bit numbers; where `unsigned long` is
/// wider (64-bit Linux), an index that does not fit 32 bits is out of range.
///
/// Index checks: `GetValueAtIndex` answers the null value for an index at or
/// beyond `Count()`. The mutators expect the caller to keep the index in
/// range; given one outside it (insert above `Count()`, remove or replace at
/// or above it) they do nothing.
///
/// Equality: two arrays are equal when they have the same `Count()` and equal
/// values at every index, in order, to any depth. An array equals no value of
/// another kind. `Print` writes every element straight into the caller's
/// stream, so the stream's formatting reaches the elements:
///
///     { a,
///     b,
///     { },
///     }
///
/// Range-for walks the stored elements in index order:
///
///     for (const Value &value : *list)
///       std::cout << value << '\n';
///
/// Arrays are made with `new` and die by their last `Release`; they cannot be
/// copied. No lock guards an array: do not change it while another thread
/// uses it. Reading it from many threads at once is safe (see `Value`).
class COLLECTION_API Array : public Value {
  using Elements = std::vector<Runtime::Ref<const Value>, NativeStlAllocator<Runtime::Ref<const Value>>>;

public:
  /// A read-only, non-virtual, random-access iterator over the elements this
  /// array stores, in index order; dereferencing gives the element's
  /// `const Value&`. It walks the storage itself: a derived class that
  /// answers `GetValueAtIndex` in its own way is walked through
  /// `GetValueAtIndex` instead. Every operation is O(1), allocates nothing
  /// and never throws.
  ///
  /// Invalidation, as for the std::vector that stores the elements:
  /// `InsertValueAtIndex` and `AddValue` may invalidate every iterator (the
  /// storage may move); removing an element invalidates the iterators at and
  /// after it; the array's death invalidates all of them. Replacing an
  /// element keeps iterators valid, but a `const Value&` taken earlier from
  /// it may then refer to a dead value.
  class const_iterator {
  public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = Value;
    using difference_type = std::ptrdiff_t;
    using reference = const Value &;
    using pointer = const Value *;

    /// A singular iterator: only assignment and destruction are allowed.
    const_iterator() noexcept = default;

    reference operator*() const noexcept { return **m_at; }
    pointer operator->() const noexcept { return m_at->Get(); }
    reference operator[](difference_type n) const noexcept { return *m_at[n]; }
    const_iterator &operator++() noexcept {
      ++m_at;
      return *this;
    }
    const_iterator operator++(int) noexcept { return const_iterator(m_at++); }
    const_iterator &operator--() noexcept {
      --m_at;
      return *this;
    }
    const_iterator operator--(int) noexcept { return const_iterator(m_at--); }
    const_iterator &operator+=(difference_type n) noexcept {
      m_at += n;
      return *this;
    }
    const_iterator &operator-=(difference_type n) noexcept {
      m_at -= n;
      return *this;
    }
    friend const_iterator operator+(const_iterator it, difference_type n) noexcept { return it += n; }
    friend const_iterator operator+(difference_type n, const_iterator it) noexcept { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) noexcept { return it -= n; }
    friend difference_type operator-(const const_iterator &a, const const_iterator &b) noexcept {
      return a.m_at - b.m_at;
    }
    friend bool operator==(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at == b.m_at; }
    friend bool operator!=(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at != b.m_at; }
    friend bool operator<(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at < b.m_at; }
    friend bool operator>(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at > b.m_at; }
    friend bool operator<=(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at <= b.m_at; }
    friend bool operator>=(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at >= b.m_at; }

  private:
    friend class Array;
    explicit const_iterator(Elements::const_iterator at) noexcept : m_at(at) {}
    Elements::const_iterator m_at;
  };
  using iterator = const_iterator;

  /// The element at index 0, or `end()` when the array is empty. O(1).
  /// Never throws.
  const_iterator begin() const noexcept { return const_iterator(m_elements.begin()); }
  /// Just past the last element. O(1). Never throws.
  const_iterator end() const noexcept { return const_iterator(m_elements.end()); }

  /// An empty array carrying one reference for its creator. Allocates
  /// nothing. Never throws.
  Array() noexcept;

  Array(const Array &) = delete;
  Array &operator=(const Array &) = delete;

  /// True exactly when `other` is an array (or of a class derived from
  /// `Array`) and `other == *this` by the typed equality below, `other` being
  /// the receiver. Allocates nothing; never throws. O(n) element comparisons.
  bool operator==(const Value &other) const override;

  /// The number of elements. O(1). Never throws.
  unsigned long Count() const override;

  /// The value at `index`, or the null value when `index` is at or beyond
  /// `Count()`. O(1). Never throws.
  const Value &GetValueAtIndex(unsigned long index) const override;

  /// Writes "{ ", then for each element its own `Print` into `os` followed
  /// by "," and `std::endl`, then "}". An empty array prints "{ }". O(n) plus
  /// the elements' printing. Throws only what the stream or an element throws.
  void Print(std::ostream &os) const override;

  /// The `Print` text in a default-formatted stream, made without a stream
  /// for the library's own kinds. O(n) plus the elements' text. May raise
  /// std::bad_alloc and what the elements' printing throws.
  std::string ToString() const override;

  /// Puts `value` at `index`, moving the elements from `index` on up by one
  /// place; `index == Count()` appends. Retains `value` once; moved elements
  /// keep their counts. With `index` above `Count()` nothing happens.
  /// O(Count() - index), amortised.
  /// Throws std::bad_alloc when the storage cannot grow; the array and
  /// `value`'s count are then as before the call.
  virtual void InsertValueAtIndex(unsigned long index, const Value &value);

  /// Removes the last element, releasing its value; nothing on an empty
  /// array. O(1) plus the value's destruction. Never throws.
  virtual void RemoveLastValue();

  /// Removes the element at `index`, releasing its value; the later elements
  /// move down by one place and keep their counts. With `index` at or above
  /// `Count()` nothing happens. O(Count() - index). Never throws.
  virtual void RemoveValueAtIndex(unsigned long index);

  /// Makes the element at `index` hold `value`. When it already holds that
  /// very object nothing changes; otherwise `value` is retained before the
  /// former value is released. With `index` at or above `Count()` nothing
  /// happens. O(1) plus the former value's destruction. Never throws.
  virtual void ReplaceValueAtIndex(unsigned long index, const Value &value);

  /// Appends `value`, retaining it once. Amortised O(1).
  /// Throws std::bad_alloc when the storage cannot grow; the array and
  /// `value`'s count are then as before the call.
  void AddValue(const Value &value);

  /// Same `Count()` (both asked through the virtual `Count`) and, for each
  /// index in ascending order, this array's value (through the virtual
  /// `GetValueAtIndex`) not unequal to `other`'s by its own `operator!=`.
  /// Stops at the first unequal pair. Allocates nothing; never throws.
  bool operator==(const Array &other) const;

protected:
  /// Releases every element's value, from index 0 upwards.
  ~Array() override;

private:
  Elements m_elements;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_ARRAY_H

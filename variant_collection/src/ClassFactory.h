//===- ClassFactory.h - Class object of a creatable class -------*- C++ -*-===//
//
// ClassFactory: the IClassFactory through which clients create instances of
// one class of the server. The object map keeps one per class.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_CLASSFACTORY_H
#define VARIANT_COLLECTION_CLASSFACTORY_H

#include "ComObject.h"
#include "ComPtr.h"

#include <windows.h>
#include <unknwn.h>

namespace VariantCollection {

/// The class object of one creatable class. Its first reference belongs to
/// the module (the object map keeps it until unload); every further one is
/// a client's. While any client holds it, the factory holds one module lock
/// (see ClassObjectCount): `ModuleLockCount` goes up when its count reaches
/// 2 and down when it falls back to 1.
///
/// - CreateInstance(outer, iid, object): a new instance asked for `iid`.
///   E_POINTER for a null `object`; otherwise `*object` is set to null
///   first. CLASS_E_NOAGGREGATION for any non-null `outer`, whatever `iid`
///   is; otherwise what the class's creator answers (E_OUTOFMEMORY, or the
///   QueryInterface status with the instance destroyed).
/// - LockServer(lock): takes one module lock when `lock` is non-zero, gives
///   one back otherwise. Always S_OK.
///
/// Interfaces: IClassFactory and IUnknown (the same pointer); any other IID
/// gives E_NOINTERFACE, a null out-pointer E_POINTER.
///
/// Thread safety: every member may be called on any thread; the reference
/// count is atomic and changes under the factory's own lock. Never throws.
class ClassFactory final : public ComObject<ClassFactory, ClassObjectCount, IClassFactory> {
public:
  /// Makes one instance of the class and asks it for `iid` into `*object`.
  using InstanceCreator = HRESULT (*)(REFIID iid, void **object) noexcept;

  /// A new factory for the class that `creator` makes, holding its first
  /// reference (the module's); null when it cannot be allocated. O(1).
  static ComPtr<ClassFactory> Create(InstanceCreator creator) noexcept;

  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
  friend ComObject;
  static const InterfaceEntry<ClassFactory> kInterfaces[];

  explicit ClassFactory(InstanceCreator creator) noexcept : m_creator(creator) {}
  ~ClassFactory() = default;

  InstanceCreator m_creator;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_CLASSFACTORY_H

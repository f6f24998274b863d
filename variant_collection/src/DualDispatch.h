//===- DualDispatch.h - IDispatch half of a dual interface ------*- C++ -*-===//
//
// DualDispatch: the one implementation of IDispatch shared by the server's
// dual interfaces: every late-bound call is offered to the deriving class
// first (InvokeDirect) and otherwise handed to the interface's type
// information.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_DUALDISPATCH_H
#define VARIANT_COLLECTION_DUALDISPATCH_H

#include "Collection.h"
#include "Identifiers.h"
#include "TypeInfoHolder.h"

namespace VariantCollection {

/// Implements the four IDispatch operations of the dual interface
/// `Interface` (a widl-generated interface of `COLLECTIONLib`) through the
/// type information of that interface, which all objects answering
/// `Interface` share (`TypeInfo()`). The deriving class implements IUnknown
/// and the interface's own members.
///
/// - GetTypeInfoCount: 1 (E_POINTER for a null pointer).
/// - GetTypeInfo: the interface's type information; the index is not
///   examined. Fails with the load status when the type library is not
///   registered (`*info` then null).
/// - GetIDsOfNames, Invoke: see TypeInfoHolder. `riid` is not examined.
///   Invoke offers every call to `InvokeDirect` first.
///
/// Never throws; every call is O(1) once the type information is loaded,
/// apart from what the called member costs.
template <class Interface> class DualDispatch : public Interface {
public:
  /// The type information shared by all objects that answer `Interface`.
  static TypeInfoHolder &TypeInfo() noexcept { return s_typeInfo; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override {
    if (count == nullptr)
      return E_POINTER;
    *count = 1;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT /*index*/, LCID lcid, ITypeInfo **info) override {
    return s_typeInfo.GetTypeInfo(lcid, info);
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID /*riid*/, LPOLESTR *names, UINT count, LCID lcid,
                                          DISPID *ids) override {
    return s_typeInfo.GetIDsOfNames(names, count, lcid, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID /*riid*/, LCID lcid, WORD flags, DISPPARAMS *params,
                                   VARIANT *result, EXCEPINFO *exception, UINT *argumentError) override {
    return s_typeInfo.Invoke(static_cast<Interface *>(this), &CallDirect, member, lcid, flags, params, result,
                             exception, argumentError);
  }

protected:
  DualDispatch() = default;
  ~DualDispatch() = default;
  DualDispatch(const DualDispatch &) = delete;
  DualDispatch &operator=(const DualDispatch &) = delete;

  /// Makes a late-bound call without the type information, with the
  /// results that the type information would give: see
  /// TypeInfoHolder::DirectCall. The deriving class makes the calls that
  /// are worth it (frequent ones, with arguments the platform would pass on
  /// unchanged); this one makes none.
  virtual bool InvokeDirect(DISPID /*member*/, WORD /*flags*/, DISPPARAMS & /*params*/,
                            VARIANT * /*result*/) noexcept {
    return false;
  }

private:
  static bool CallDirect(IDispatch *self, DISPID member, WORD flags, DISPPARAMS &params, VARIANT *result) noexcept {
    return static_cast<DualDispatch *>(static_cast<Interface *>(self))->InvokeDirect(member, flags, params, result);
  }

  inline static TypeInfoHolder s_typeInfo{__uuidof(Interface), LIBID_COLLECTIONLib, COLLECTION_LIBRARY_VERSION_MAJOR,
                                          COLLECTION_LIBRARY_VERSION_MINOR, 0x0409};
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_DUALDISPATCH_H

//===- LateBound.h - Late-bound calls made without the type library -*- C++ -*-===//
//
// What a class needs to make a late-bound call of one of its members itself
// (see DualDispatch::InvokeDirect) with the results that the platform's
// ITypeInfo::Invoke gives for the same call: which call flags select which
// kind of member, which arguments reach a VARIANT parameter as the caller
// gave them, how an omitted optional argument arrives, and how a [retval]
// is handed back.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_LATEBOUND_H
#define VARIANT_COLLECTION_LATEBOUND_H

#include <oaidl.h>

namespace VariantCollection {
namespace LateBound {

/// True when `flags` select a method. O(1).
bool SelectsMethod(WORD flags) noexcept;

/// True when `flags` select a property's get accessor, also of a property
/// that has a put accessor under the same DISPID. O(1).
bool SelectsPropertyGet(WORD flags) noexcept;

/// True when the platform would hand `argument` to a VARIANT parameter as
/// it is (or as a copy of the same value that cannot fail but for memory):
/// by value, a scalar Automation type, a string, an interface, VT_EMPTY or
/// VT_NULL; by reference, a VARIANT or one of those scalars, strings or
/// interfaces. Not arrays, records or types the platform refuses to copy,
/// whose copies run code of the platform or of the client and may fail.
/// O(1).
bool PassesUnchanged(const VARIANT &argument) noexcept;

/// True when `params` carries no named arguments and every argument passes
/// unchanged. O(number of arguments).
bool PassesArgumentsUnchanged(const DISPPARAMS &params) noexcept;

/// An omitted optional argument as the platform passes it: VT_ERROR with
/// DISP_E_PARAMNOTFOUND.
VARIANT MissingArgument() noexcept;

/// Hands `value` to the caller as the platform hands back a [retval]: into
/// `*result` after VariantInit (whatever it held is not cleared), or, for a
/// null `result`, cleared. `value` holds VT_EMPTY afterwards. O(1) apart
/// from clearing.
void Return(VARIANT *result, VARIANT &value) noexcept;

} // namespace LateBound
} // namespace VariantCollection

#endif // VARIANT_COLLECTION_LATEBOUND_H

//===- LateBound.cpp - Late-bound calls made without the type library -----===//

#include "LateBound.h"

#include <oleauto.h>

namespace VariantCollection {
namespace LateBound {

namespace {

/// The VARTYPEs that the platform copies without looking further: scalars,
/// strings and interfaces.
bool IsScalarStringOrInterface(VARTYPE type) noexcept {
  switch (type) {
  case VT_I1:
  case VT_I2:
  case VT_I4:
  case VT_I8:
  case VT_UI1:
  case VT_UI2:
  case VT_UI4:
  case VT_UI8:
  case VT_INT:
  case VT_UINT:
  case VT_R4:
  case VT_R8:
  case VT_CY:
  case VT_DATE:
  case VT_DECIMAL:
  case VT_BOOL:
  case VT_ERROR:
  case VT_BSTR:
  case VT_DISPATCH:
  case VT_UNKNOWN:
    return true;
  default:
    return false;
  }
}

} // namespace

bool PassesUnchanged(const VARIANT &argument) noexcept {
  const VARTYPE type = V_VT(&argument);
  if ((type & VT_BYREF) != 0) {
    const VARTYPE target = type & ~VT_BYREF;
    return target == VT_VARIANT || IsScalarStringOrInterface(target);
  }
  return type == VT_EMPTY || type == VT_NULL || IsScalarStringOrInterface(type);
}

bool SelectsMethod(WORD flags) noexcept { return (flags & DISPATCH_METHOD) != 0; }

bool SelectsPropertyGet(WORD flags) noexcept {
  return (flags & DISPATCH_PROPERTYGET) != 0 && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) == 0;
}

bool PassesArgumentsUnchanged(const DISPPARAMS &params) noexcept {
  if (params.cNamedArgs != 0)
    return false;
  for (UINT i = 0; i < params.cArgs; ++i)
    if (!PassesUnchanged(params.rgvarg[i]))
      return false;
  return true;
}

VARIANT MissingArgument() noexcept {
  VARIANT missing;
  VariantInit(&missing);
  V_VT(&missing) = VT_ERROR;
  V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
  return missing;
}

void Return(VARIANT *result, VARIANT &value) noexcept {
  if (result != nullptr) {
    VariantInit(result);
    *result = value;
  } else {
    VariantClear(&value);
  }
  VariantInit(&value);
}

} // namespace LateBound
} // namespace VariantCollection

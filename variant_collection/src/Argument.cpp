//===- Argument.cpp - A VARIANT argument read through references ----------===//

#include "Argument.h"

#include <oleauto.h>
#include <windows.h>

#include <algorithm>

namespace VariantCollection {

namespace {

/// How deep arrays of VARIANTs nest at most in an argument: far deeper
/// than clients build them; an array nested deeper is taken for one that
/// holds itself.
constexpr int kMaxArrayNesting = 1000;

/// True when `argument` is a reference whose pointer is null, or a
/// reference to a VARIANT that is one: the platform would follow either.
/// A record's reference (VT_BYREF | VT_RECORD) is the record itself, which
/// its record information copies or refuses.
bool IsNullReference(const VARIANT &argument) noexcept {
  const VARIANT *reference = &argument;
  if (V_VT(reference) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(reference) != nullptr)
    reference = V_VARIANTREF(reference);
  return V_ISBYREF(reference) && V_VT(reference) != (VT_BYREF | VT_RECORD) && V_BYREF(reference) == nullptr;
}

/// Empties `copy`, which a failed copy of `source` left behind, giving back
/// only what the copy took. The platform's failed copy of a record leaves
/// the record of `source` itself (its size could not be read), no record
/// (no block could be allocated), or a block of its own from the process
/// heap and a reference on the record information (the record
/// information's RecordCopy failed): that block is freed as the platform
/// frees records (RecordDestroy), without RecordClear, since no record was
/// copied into it, and the reference is released.
void Abandon(VARIANT &copy, const VARIANT &source) noexcept {
  const VARIANT *record = &source;
  if (V_VT(record) == (VT_BYREF | VT_VARIANT))
    record = V_VARIANTREF(record);
  if (V_VT(&copy) == VT_RECORD && record != nullptr && (V_VT(record) & ~VT_BYREF) == VT_RECORD &&
      V_RECORD(&copy) != nullptr && V_RECORD(&copy) != V_RECORD(record) &&
      V_RECORDINFO(&copy) == V_RECORDINFO(record)) {
    HeapFree(GetProcessHeap(), 0, V_RECORD(&copy));
    V_RECORDINFO(&copy)->Release();
  }
  VariantInit(&copy);
}

/// VariantCopyInd, or VariantCopy unless `dereference`, into `destination`,
/// which is cleared first; on failure `destination` holds VT_EMPTY and
/// nothing that the failed copy took.
HRESULT CopyOrNothing(VARIANT &destination, const VARIANT &source, bool dereference) noexcept {
  HRESULT status = VariantClear(&destination);
  if (SUCCEEDED(status)) {
    // What a failed copy of a record leaves must be told from what was
    // there before.
    V_RECORD(&destination) = nullptr;
    V_RECORDINFO(&destination) = nullptr;
    VARIANT *from = const_cast<VARIANT *>(&source);
    status = dereference ? VariantCopyInd(&destination, from) : VariantCopy(&destination, from);
  }
  if (FAILED(status))
    Abandon(destination, source);
  return status;
}

HRESULT CopyDereferenced(VARIANT &copy, const VARIANT &argument, int nesting) noexcept;

/// Into `*copy`: a new array of VARIANTs with the bounds of `array` (an
/// array of VARIANTs at nesting depth `nesting`), each element a copy of
/// the element of `array` made by CopyDereferenced. `array` stays locked
/// while its elements are copied (a copy may run client code). On failure
/// `*copy` is null and the status is that of the first step that failed.
HRESULT CopyVariantArray(SAFEARRAY *array, SAFEARRAY **copy, int nesting) noexcept {
  *copy = nullptr;
  if (nesting >= kMaxArrayNesting)
    return E_INVALIDARG;
  SAFEARRAY *elements = nullptr;
  HRESULT status = SafeArrayAllocDescriptorEx(VT_VARIANT, array->cDims, &elements);
  if (FAILED(status))
    return status;
  elements->fFeatures |= FADF_VARIANT;
  std::copy(array->rgsabound, array->rgsabound + array->cDims, elements->rgsabound);
  status = SafeArrayAllocData(elements);
  if (FAILED(status)) {
    SafeArrayDestroyDescriptor(elements);
    return status;
  }
  ULONG count = 1;
  for (USHORT dimension = 0; dimension < array->cDims; ++dimension)
    count *= array->rgsabound[dimension].cElements;
  VARIANT *to = static_cast<VARIANT *>(elements->pvData);
  for (ULONG i = 0; i < count; ++i)
    VariantInit(&to[i]);
  status = SafeArrayLock(array);
  if (SUCCEEDED(status)) {
    // An array without data (as a descriptor alone is) has VT_EMPTY elements.
    const VARIANT *from = static_cast<const VARIANT *>(array->pvData);
    for (ULONG i = 0; from != nullptr && i < count && SUCCEEDED(status); ++i)
      status = CopyDereferenced(to[i], from[i], nesting + 1);
    SafeArrayUnlock(array);
  }
  if (FAILED(status)) {
    SafeArrayDestroy(elements);
    return status;
  }
  *copy = elements;
  return S_OK;
}

/// Into `copy` (VT_EMPTY): what `argument` stands for, at nesting depth
/// `nesting` of arrays of VARIANTs, as Argument::Read copies it (without
/// its second copy). On failure `copy` holds VT_EMPTY and nothing is left
/// allocated.
HRESULT CopyDereferenced(VARIANT &copy, const VARIANT &argument, int nesting) noexcept {
  if (IsNullReference(argument))
    return E_INVALIDARG;
  // The platform follows one VT_BYREF | VT_VARIANT, and one reference more.
  const VARIANT *value = &argument;
  if (V_VT(value) == (VT_BYREF | VT_VARIANT))
    value = V_VARIANTREF(value);
  SAFEARRAY *array = nullptr;
  if (V_ISARRAY(value))
    array = V_ISBYREF(value) ? *V_ARRAYREF(value) : V_ARRAY(value);
  // What an array holds is told by its own features, whatever the
  // VARIANT's type says.
  if (array == nullptr || (array->fFeatures & FADF_VARIANT) == 0 || array->cbElements != sizeof(VARIANT))
    return CopyOrNothing(copy, argument, true);
  const HRESULT status = CopyVariantArray(array, &V_ARRAY(&copy), nesting);
  if (SUCCEEDED(status))
    V_VT(&copy) = V_VT(value) & ~VT_BYREF;
  return status;
}

} // namespace

std::string_view BstrBytes(BSTR text) noexcept {
  if (text == nullptr)
    return std::string_view();
  return std::string_view(reinterpret_cast<const char *>(text), SysStringByteLen(text));
}

HRESULT CopyValue(VARIANT &destination, const VARIANT &source) noexcept {
  return CopyOrNothing(destination, source, false);
}

Argument::Argument() noexcept { VariantInit(&m_value); }

Argument::~Argument() { Clear(); }

void Argument::Clear() noexcept {
  if (m_borrowed) {
    m_borrowed = false;
    VariantInit(&m_value);
  } else {
    VariantClear(&m_value);
  }
}

HRESULT Argument::Read(const VARIANT &argument) noexcept {
  Clear();
  HRESULT status = CopyDereferenced(m_value, argument, 0);
  if (FAILED(status))
    return status;
  // Through a typed reference the platform copies without asking whether
  // it can copy (or clear) what it yields: a reference to an array of a
  // type that VARIANTs do not carry gives a value that no reader could get
  // back and that VariantClear would not free. Copying it once more asks.
  if (V_ISBYREF(&argument) && V_VT(&argument) != (VT_BYREF | VT_VARIANT)) {
    VARIANT again;
    VariantInit(&again);
    status = CopyValue(again, m_value);
    if (SUCCEEDED(status)) {
      VariantClear(&again);
    } else {
      Discard();
    }
  }
  return status;
}

HRESULT Argument::Borrow(const VARIANT &argument) noexcept {
  const VARIANT *source = &argument;
  if (V_VT(source) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(source) != nullptr && !V_ISBYREF(V_VARIANTREF(source)))
    source = V_VARIANTREF(source);
  // Only a string's copy costs memory; everything else is read as Read reads it.
  BSTR text = nullptr;
  if (V_VT(source) == VT_BSTR)
    text = V_BSTR(source);
  else if (V_VT(source) == (VT_BYREF | VT_BSTR) && V_BSTRREF(source) != nullptr)
    text = *V_BSTRREF(source);
  else
    return Read(argument);
  Clear();
  V_VT(&m_value) = VT_BSTR;
  V_BSTR(&m_value) = text;
  m_borrowed = true;
  return S_OK;
}

void Argument::Discard() noexcept {
  if (V_ISARRAY(&m_value))
    SafeArrayDestroy(V_ARRAY(&m_value));
  else
    Clear();
  VariantInit(&m_value);
}

Argument::Kind Argument::Classify() const noexcept {
  switch (V_VT(&m_value)) {
  case VT_BSTR:
    return Kind::Key;
  case VT_I2:
  case VT_I4:
    return Kind::Position;
  case VT_ERROR:
    return Kind::Missing;
  default:
    return Kind::Other;
  }
}

LONG Argument::Position() const noexcept {
  return V_VT(&m_value) == VT_I2 ? static_cast<LONG>(V_I2(&m_value)) : V_I4(&m_value);
}

std::string_view Argument::KeyBytes() const noexcept { return BstrBytes(V_BSTR(&m_value)); }

void Argument::MoveTo(VARIANT &target) noexcept {
  target = m_value;
  VariantInit(&m_value);
}

} // namespace VariantCollection

//===- XJson.h - JSON for script authors ------------------------*- C++ -*-===//
//
// XJson: the server's second creatable class, which reads JSON text into
// collections and writes collections, dictionaries, arrays and scalars as
// JSON text, behind the dual interface IXJson.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_XJSON_H
#define VARIANT_COLLECTION_XJSON_H

#include "Collection.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "DualDispatch.h"

#include <string>

namespace VariantCollection {

/// Exact JSON both ways for script clients; holds no state.
///
/// - `Parse`(Text, pValue): the one JSON value of Text (see ReadJson:
///   objects and arrays as new collections, strings, VT_I4 or VT_R8
///   numbers, Booleans, Null). A null Text is the empty text.
/// - `Stringify`(Value, Indent, pText): the JSON text of Value as
///   JavaScript's JSON.stringify(value, null, Indent) writes it (see
///   WriteJson).
/// - `ReadFile`(Path, pValue): `Parse` of the file's text: UTF-8 with or
///   without a byte-order mark, or UTF-16 (LE or BE) with one.
/// - `WriteFile`(Value, Path, Indent): `Stringify`'s text in UTF-8 without
///   a byte-order mark, ending with one line feed, replacing the file
///   atomically (ReplaceFileAtomically).
/// - InterfaceSupportsErrorInfo: S_OK for IID_IXJson, S_FALSE otherwise.
///
/// Indent: omitted or Empty is 0; a number with a whole value from 0 to 10
/// is that many spaces a level; another number: "Invalid procedure call or
/// argument", E_INVALIDARG; anything else: "Type mismatch",
/// DISP_E_TYPEMISMATCH.
///
/// Errors are posted as error objects (source: the ProgID registered for
/// CLSID_XJson; GUID: IID_IXJson) whose description says what to fix:
/// "line 3, column 14: expected ',' or '}' after the member", "cannot open
/// <path>: <the system's message>", "user.tags[2]: an object with no JSON
/// form"; with E_FAIL, or for a file that cannot be opened, read or
/// written the system's error as an HRESULT. Out of memory answers
/// E_OUTOFMEMORY without an error object; a null out-pointer E_POINTER. A
/// failure hands out nothing (`*pValue` VT_EMPTY, `*pText` null), leaves
/// an existing file as it was and leaks nothing. No exception leaves any
/// member.
///
/// Complexity: O(length of the text) to read, O(length of the output) to
/// write, plus the calls on client objects (dictionaries) and the files.
///
/// Interfaces: IXJson (also answered for IDispatch and IUnknown) and
/// ISupportErrorInfo. Every live object holds one module lock; the
/// reference count is atomic.
class XJson final : public ComObject<XJson, SharedCount, DualDispatch<IXJson>, ISupportErrorInfo> {
public:
  /// Makes an XJson and asks it for `iid` into `*object`, as
  /// XCollection::Create does. O(1); never throws.
  static HRESULT Create(REFIID iid, void **object) noexcept;

  // IXJson
  HRESULT STDMETHODCALLTYPE Parse(BSTR text, VARIANT *value) override;
  HRESULT STDMETHODCALLTYPE Stringify(VARIANT value, VARIANT indent, BSTR *text) override;
  HRESULT STDMETHODCALLTYPE ReadFile(BSTR path, VARIANT *value) override;
  HRESULT STDMETHODCALLTYPE WriteFile(VARIANT value, BSTR path, VARIANT indent) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
  friend ComObject;
  static const InterfaceEntry<XJson> kInterfaces[];

  XJson() noexcept = default;
  ~XJson() = default;

  /// `status`, with an error object holding `description` unless that is
  /// empty (then none: see WithoutErrorObject).
  static HRESULT Fail(HRESULT status, const std::wstring &description) noexcept;
  /// The spaces a level that `indent` asks for, or the failure to answer.
  static HRESULT ReadIndent(const VARIANT &indent, int &spaces) noexcept;
  /// The JSON text of `value` with `indent` into `text`, or the failure to
  /// answer.
  static HRESULT Write(const VARIANT &value, const VARIANT &indent, std::wstring &text) noexcept;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_XJSON_H

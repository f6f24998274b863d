//===- ServerTest.h - Helpers for the server's tests ------------*- C++ -*-===//
//
// Test support: arguments built the way script clients build them, owned
// VARIANTs, posted error objects, late-bound calls, and the registration of
// the built server's type library in the test prefix.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_SERVERTEST_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_SERVERTEST_H

#include "ClassesRoot.h"
#include "Collection.h"
#include "ComPtr.h"

#include <oaidl.h>
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace ServerTest {

using VariantCollection::ComPtr;

/// A VARIANT that clears itself.
class Var {
public:
  Var() noexcept { VariantInit(&m_value); }
  ~Var() { VariantClear(&m_value); }
  Var(const Var &other) : Var() { VariantCopy(&m_value, const_cast<VARIANT *>(&other.m_value)); }
  Var &operator=(const Var &) = delete;

  static Var I2(SHORT value);
  static Var I4(LONG value);
  static Var R8(double value);
  static Var Str(const wchar_t *text);
  /// A string of `bytes` bytes (odd lengths allowed), as SysAllocStringByteLen makes it.
  static Var Bytes(const char *bytes, UINT length);
  /// A VT_BSTR holding a null BSTR.
  static Var NullStr();
  /// VT_ERROR with DISP_E_PARAMNOTFOUND: an omitted optional argument.
  static Var Missing();
  static Var Empty() { return Var(); }
  /// VT_BYREF | VT_VARIANT pointing at `target`, as VBScript passes a variable.
  static Var RefTo(VARIANT *target);

  VARIANT *operator&() noexcept { return &m_value; }
  const VARIANT &Get() const noexcept { return m_value; }
  VARIANT &Get() noexcept { return m_value; }
  VARTYPE Type() const noexcept { return V_VT(&m_value); }
  /// The text of a VT_BSTR.
  std::wstring Text() const;

private:
  VARIANT m_value;
};

/// The error object posted on this thread, taken with GetErrorInfo.
struct PostedError {
  bool posted = false;
  std::wstring description;
  std::wstring source;
  GUID guid = GUID_NULL;
};

/// Clears the thread's error object.
void ClearError();
/// Posts an error object with the description kStaleError on this thread,
/// as an earlier failure would have left it.
void PostStaleError();
extern const wchar_t kStaleError[];
/// Takes (and so clears) the thread's error object.
PostedError TakeError();

/// A new, empty collection made through the server's creation path.
ComPtr<IXCollection> NewCollection();
/// A new XJson made through the server's creation path.
ComPtr<IXJson> NewJson();
/// Calls Add(value, key) and expects S_OK.
void AddOrFail(IXCollection *collection, const Var &value, const Var &key = Var::Missing());
/// The member picked by `selector`, or null when Item get fails.
ComPtr<IXItem> ItemOf(IXCollection *collection, const Var &selector);
LONG CountOf(IXCollection *collection);
/// The value of `item` as a new VARIANT.
Var ValueOf(IXItem *item);
Var KeyOf(IXItem *item);

/// A late-bound call: `args` in the caller's order (reversed into
/// DISPPARAMS as IDispatch wants them).
HRESULT Call(IDispatch *object, DISPID member, WORD flags, std::initializer_list<VARIANT> args,
             VARIANT *result = nullptr, EXCEPINFO *exception = nullptr);
/// Frees the strings of an EXCEPINFO.
void ClearException(EXCEPINFO &exception);

/// The full path of this test program, which carries the server's
/// resources (type library, registry scripts, strings, version).
std::wstring ProgramPath();
/// The full path (without "..") of the file at `relative` from this
/// program's folder.
std::wstring BesideProgram(const wchar_t *relative);
/// The full path of the built server module.
std::wstring ServerPath();

/// A server module loaded into this process (LoadLibrary) until this goes,
/// and its exports, registering it for `scope`.
class LoadedServer {
public:
  explicit LoadedServer(const std::wstring &path,
                        VariantCollection::RegistrationScope scope = VariantCollection::RegistrationScope::Machine);
  ~LoadedServer();
  LoadedServer(const LoadedServer &) = delete;
  LoadedServer &operator=(const LoadedServer &) = delete;

  bool Loaded() const { return m_module != nullptr; }
  /// The module's file name, as the module itself reads it.
  const std::wstring &Path() const { return m_path; }
  /// The exported function `name` as a `Function`, or null.
  template <class Function> Function Export(const char *name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(m_module, name)));
  }
  /// DllRegisterServer's status, for the user DllInstall(TRUE, "user")'s
  /// (E_NOTIMPL when it is not exported).
  HRESULT Register() const;
  /// DllUnregisterServer's status, for the user DllInstall(FALSE, "user")'s
  /// (E_NOTIMPL when it is not exported).
  HRESULT Unregister() const;
  /// DllInstall(install, commandLine)'s status (E_NOTIMPL when it is not
  /// exported).
  HRESULT Install(bool install, const wchar_t *commandLine) const;

private:
  HRESULT Call(const char *name) const;

  HMODULE m_module;
  std::wstring m_path;
  VariantCollection::RegistrationScope m_scope;
};

/// Registers the built server's type library in the test prefix, as the
/// server's own registration does.
HRESULT RegisterTypeLibrary();
/// Removes that registration.
HRESULT UnregisterTypeLibrary();

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_SERVERTEST_H

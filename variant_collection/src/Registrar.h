//===- Registrar.h - The platform's registry-script registrar ---*- C++ -*-===//
//
// IRegistrar: the interface of the platform's registrar component, which
// runs the registry scripts embedded in a module. The platform SDK of this
// build has no header for it.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_REGISTRAR_H
#define VARIANT_COLLECTION_REGISTRAR_H

#include <windows.h>
#include <unknwn.h>

namespace VariantCollection {

/// The registrar component (in-process).
constexpr CLSID CLSID_Registrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
/// Its interface.
constexpr IID IID_IRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

/// Runs registry scripts, replacing every "%name%" in them by the text given
/// to AddReplacement for that name ("%%" stands for a percent sign). The
/// platform implements it; the server only calls it. The slot order is the
/// platform's.
struct IRegistrar : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR resourceFile, LPCOLESTR id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR resourceFile, LPCOLESTR id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR fileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR fileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR resourceFile, UINT id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR resourceFile, UINT id, LPCOLESTR type) = 0;

protected:
  ~IRegistrar() = default;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_REGISTRAR_H

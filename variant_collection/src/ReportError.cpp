//===- ReportError.cpp - Error objects for Automation clients -------------===//

#include "ReportError.h"

#include "ComPtr.h"
#include "ServerModule.h"

#include <new>

namespace VariantCollection {

namespace {

/// `text` in UTF-16 as a new string for the caller to free with delete[],
/// or null when it cannot be converted or allocated.
wchar_t *ToWide(const char *text) noexcept {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0)
    return nullptr;
  wchar_t *wide = new (std::nothrow) wchar_t[length];
  if (wide != nullptr && MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) != length) {
    delete[] wide;
    wide = nullptr;
  }
  return wide;
}

void PostErrorObject(const CLSID &clsid, const wchar_t *description, const IID &iid) noexcept {
  ComPtr<ICreateErrorInfo> creator;
  if (FAILED(CreateErrorInfo(creator.ReleaseAndGetAddressOf())))
    return;
  creator->SetGUID(iid);
  LPOLESTR progId = nullptr;
  if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId != nullptr)
    creator->SetSource(progId);
  CoTaskMemFree(progId);
  creator->SetDescription(const_cast<LPOLESTR>(description));
  ComPtr<IErrorInfo> error;
  if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(error.ReleaseAndGetAddressOf()))))
    SetErrorInfo(0, error.Get());
}

} // namespace

HRESULT ReportError(const CLSID &clsid, const char *description, const IID &iid, HRESULT status) noexcept {
  wchar_t *wide = ToWide(description);
  if (wide != nullptr)
    PostErrorObject(clsid, wide, iid);
  delete[] wide;
  return status == S_OK ? DISP_E_EXCEPTION : status;
}

HRESULT ReportError(const CLSID &clsid, const wchar_t *description, const IID &iid, HRESULT status) noexcept {
  PostErrorObject(clsid, description, iid);
  return status == S_OK ? DISP_E_EXCEPTION : status;
}

HRESULT ReportError(const CLSID &clsid, UINT resourceId, const IID &iid, HRESULT status) noexcept {
  char text[1024];
  if (LoadStringA(Module().Instance(), resourceId, text, sizeof text) <= 0)
    lstrcpynA(text, "Unknown Error", sizeof text);
  if (status == S_OK)
    status = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, resourceId);
  return ReportError(clsid, text, iid, status);
}

HRESULT WithoutErrorObject(HRESULT status) noexcept {
  if (FAILED(status))
    SetErrorInfo(0, nullptr);
  return status;
}

} // namespace VariantCollection

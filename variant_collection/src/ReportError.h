//===- ReportError.h - Error objects for Automation clients -----*- C++ -*-===//
//
// ReportError: posts an error object (rich error information) on the calling
// thread for failures that a script user is meant to read; WithoutErrorObject:
// every other failure, which leaves the thread without one.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_REPORTERROR_H
#define VARIANT_COLLECTION_REPORTERROR_H

#include <oaidl.h>

namespace VariantCollection {

/// Posts an error object with `description` (narrow text in the system code
/// page), the interface `iid` as its GUID and, when `clsid` has a registered
/// ProgID, that ProgID as its source; no help file, no help context. Returns
/// `status`, or DISP_E_EXCEPTION when `status` is S_OK.
///
/// When the platform cannot make the error object, or the text cannot be
/// converted, nothing is posted and the status is still returned. A class
/// without a registered ProgID gives an error object without a source.
/// O(length of the description); never throws.
HRESULT ReportError(const CLSID &clsid, const char *description, const IID &iid, HRESULT status) noexcept;

/// The same with a UTF-16 `description`, posted as it is.
HRESULT ReportError(const CLSID &clsid, const wchar_t *description, const IID &iid, HRESULT status) noexcept;

/// The same with the text of string resource `resourceId` of the server
/// module (at most 1023 characters), or "Unknown Error" when the module has
/// no such string. A zero `status` becomes 0x80040000 + `resourceId`
/// (severity error, facility ITF).
HRESULT ReportError(const CLSID &clsid, UINT resourceId, const IID &iid, HRESULT status) noexcept;

/// Answers `status`. When it is a failure, first clears the calling thread's
/// error object (SetErrorInfo with none): the server's objects tell clients
/// that they post error objects, so a failure that posts none must not
/// leave an older one for the client to read as its own. Every failure that
/// does not go through ReportError goes through this. O(1); never throws.
HRESULT WithoutErrorObject(HRESULT status) noexcept;

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_REPORTERROR_H

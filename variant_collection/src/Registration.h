//===- Registration.h - Self-registration of the server ---------*- C++ -*-===//
//
// Writes and removes the server's registry entries (from the registry scripts
// embedded in the module, through the platform's registrar) and the
// registration of its type library; the DllRegisterServer and
// DllUnregisterServer exports built on them.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_REGISTRATION_H
#define VARIANT_COLLECTION_REGISTRATION_H

#include <windows.h>

#include <string>
#include <string_view>

namespace VariantCollection {

/// The full file name of `module` (long form, any length) in `path`.
/// Answers the platform's error as an HRESULT, or E_OUTOFMEMORY. Never
/// throws.
HRESULT ModuleFileName(HMODULE module, std::wstring &path) noexcept;

/// `path` with every single quote doubled: the form in which the registrar
/// takes a replacement text that its scripts put between single quotes.
/// O(length); throws std::bad_alloc.
std::wstring QuoteForRegistrar(std::wstring_view path);

/// The type library file beside the module at `modulePath`: the extension
/// of its file name (from the last full stop of the name, not of a folder)
/// replaced by ".tlb", or ".tlb" appended when the name has none. O(length);
/// throws std::bad_alloc.
std::wstring TypeLibraryFileBeside(std::wstring_view modulePath);

/// The folder part of `path`: everything up to and including its last
/// backslash, slash or colon; empty when it has none. O(length); throws
/// std::bad_alloc.
std::wstring HelpDirectoryOf(std::wstring_view path);

/// Runs the registry script `scriptId` (resource type "REGISTRY") of the
/// module at `modulePath` through the platform's registrar, with
/// "%MODULE%" standing for `modulePath`; writes its entries when
/// `registering`, removes them otherwise. The calling thread must have
/// initialised COM. Answers the status of creating the registrar (it is
/// created anew for every call), of the replacement, or of running the
/// script. Never throws.
HRESULT RunRegistryScript(const wchar_t *modulePath, UINT scriptId, bool registering) noexcept;

/// Registers the type library of the module at `modulePath`: the one it
/// embeds or, when it embeds none, the one in the file beside it
/// (TypeLibraryFileBeside), with the folder of the file it came from as
/// help directory, for its system kind (win32 or win64); under its own
/// locale and also under the neutral one, where the platform's marshaller
/// looks it up. A file name of MAX_PATH characters or more is never handed
/// to the platform's loader: HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
/// Answers the load status when neither can be loaded, else
/// RegisterTypeLib's, else the status of writing the neutral locale's key.
/// Never throws.
HRESULT RegisterTypeLibrary(const wchar_t *modulePath) noexcept;

/// Removes the registration of the type library found as RegisterTypeLibrary
/// finds it (identity, version, locale and system kind read from the
/// library): first its key under the neutral locale, then the rest through
/// UnRegisterTypeLib as the platform's oleaut32 exports it
/// at run time. Answers the load status when there is no library (nothing
/// is removed), E_NOTIMPL when the platform has no UnRegisterTypeLib, else
/// its status. Never throws.
HRESULT UnregisterTypeLibrary(const wchar_t *modulePath) noexcept;

} // namespace VariantCollection

/// Writes the registry entries of every class of the server, then registers
/// its type library; all or nothing. The type library is loaded first
/// (nothing is written when it cannot be: its load status is answered);
/// the parts of the classes root that registration writes are recorded
/// (RegistrySnapshot) and, when a step fails, put back as they were before
/// that step's status is answered. Answers S_OK or the first failing
/// status. Exported by name.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer();

/// Removes the registry entries of every class and the type library's
/// registration. Always S_OK: a missing piece is not an error. Exported by
/// name.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer();

#endif // VARIANT_COLLECTION_REGISTRATION_H

//===- Registration.h - Self-registration of the server ---------*- C++ -*-===//
//
// Writes and removes the server's registry entries (from the registry scripts
// embedded in the module, through the platform's registrar) and the
// registration of its type library, for the machine or for the user; the
// DllRegisterServer, DllUnregisterServer and DllInstall exports built on
// them.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_REGISTRATION_H
#define VARIANT_COLLECTION_REGISTRATION_H

#include "ClassesRoot.h"

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
/// "%MODULE%" standing for `modulePath`, into `root` (the script's HKCR,
/// redirected there for the run when it is the user's); writes its entries
/// when `registering`, removes them otherwise. The calling thread must have
/// initialised COM. Answers the status of creating the registrar (it is
/// created anew for every call), of the replacement, of the redirection, or
/// of running the script. Never throws.
HRESULT RunRegistryScript(const wchar_t *modulePath, UINT scriptId, bool registering,
                          const ClassesRoot &root) noexcept;

/// Registers the type library of the module at `modulePath` in `root`: the
/// one it embeds or, when it embeds none, the one in the file beside it
/// (TypeLibraryFileBeside), with the folder of the file it came from as
/// help directory, for its system kind (win32 or win64); under its own
/// locale and also under the neutral one, where the platform's marshaller
/// looks it up. For the machine through RegisterTypeLib; for the user by
/// writing the same keys itself, the platform's per-user registration
/// being unreliable (Wine 8's writes into the machine's classes root). A
/// file name of MAX_PATH characters or more is never handed to the
/// platform's loader: HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
/// Answers the load status when neither can be loaded, else the status of
/// the registration, else the status of writing the neutral locale's key.
/// Never throws.
HRESULT RegisterTypeLibrary(const wchar_t *modulePath, const ClassesRoot &root) noexcept;

/// Removes the registration of the type library found as RegisterTypeLibrary
/// finds it (identity, version, locale and system kind read from the
/// library) from `root`: first its key under the neutral locale, then the
/// rest; for the machine through UnRegisterTypeLib as the platform's
/// oleaut32 exports it at run time, for the user by deleting what
/// RegisterTypeLibrary wrote as UnRegisterTypeLib would. Answers the load
/// status when there is no library (nothing is removed), E_NOTIMPL when the
/// platform has no UnRegisterTypeLib, else its status (S_OK for the user).
/// Never throws.
HRESULT UnregisterTypeLibrary(const wchar_t *modulePath, const ClassesRoot &root) noexcept;

/// Writes the registry entries of every class of the server, then registers
/// its type library, all into the classes root of `scope`; all or nothing.
/// The type library is loaded first (nothing is written when it cannot be:
/// its load status is answered); the parts of the classes root that
/// registration writes are recorded (RegistrySnapshot) and, when a step
/// fails, put back as they were before that step's status is answered.
/// Answers S_OK, the status of opening the user's classes root, or the
/// first failing status. The calling thread must have initialised COM; for
/// the user no other thread may use HKEY_CLASSES_ROOT meanwhile
/// (ClassesRootRedirection). Never throws.
HRESULT RegisterServer(RegistrationScope scope) noexcept;

/// Removes the registry entries of every class and the type library's
/// registration from the classes root of `scope`. Always S_OK: a missing
/// piece is not an error. Never throws.
HRESULT UnregisterServer(RegistrationScope scope) noexcept;

} // namespace VariantCollection

/// RegisterServer for the machine (regsvr32). Exported by name.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer();

/// UnregisterServer for the machine (regsvr32 /u). Exported by name.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer();

/// With `commandLine` "user" (in any case): RegisterServer for the user
/// when `install` (regsvr32 /n /i:user), else UnregisterServer for the user
/// (regsvr32 /u /n /i:user); nothing is written under HKEY_LOCAL_MACHINE.
/// E_INVALIDARG, doing nothing, for a null, empty or any other command
/// line. Exported by name.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine);

#endif // VARIANT_COLLECTION_REGISTRATION_H

//===- ServerModule.h - Process-wide state of the server --------*- C++ -*-===//
//
// ServerModule: what the server keeps for the whole process: the module lock
// count that decides whether the library may be unloaded, the two module-wide
// locks and the list of clean-up callbacks run at unload.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_SERVERMODULE_H
#define VARIANT_COLLECTION_SERVERMODULE_H

#include <windows.h>

namespace VariantCollection {

/// The state of one server module. The process has one (`Module()`), set up
/// when the library is loaded (`Initialize`) and torn down when it is
/// unloaded (`Terminate`).
///
/// Every live collection, item and enumerator holds one module lock from its
/// construction to its destruction; class objects and LockServer take further
/// ones. While any lock is held the library must stay loaded.
///
/// Thread safety: `Lock`, `Unlock` and `ModuleLockCount` may be called on any
/// thread at any time; `AddTermination` on any thread between `Initialize`
/// and `Terminate`. `Initialize` and `Terminate` are called by the loader
/// (under its own lock), never concurrently with anything else.
class ServerModule {
public:
  /// A clean-up callback run at unload with the argument given with it.
  using TerminationCallback = void (*)(void *argument);

  constexpr ServerModule() noexcept = default;
  ServerModule(const ServerModule &) = delete;
  ServerModule &operator=(const ServerModule &) = delete;

  /// Process attach: records `instance` (the module that holds the
  /// resources and the type library), sets the lock count to 0, initialises
  /// both module locks and empties the termination list. O(1); never fails.
  void Initialize(HINSTANCE instance) noexcept;

  /// Process detach: deletes both module locks, then runs every termination
  /// callback exactly once, the most recently added first, and frees the
  /// list. O(number of callbacks). Does nothing unless initialised.
  void Terminate() noexcept;

  /// The module handle recorded by `Initialize`.
  HINSTANCE Instance() const noexcept { return m_instance; }

  /// Takes one module lock (atomic increment). O(1); never fails.
  void Lock() noexcept;
  /// Gives one module lock back (atomic decrement). O(1); never fails.
  void Unlock() noexcept;
  /// The number of module locks held now.
  LONG ModuleLockCount() const noexcept;

  /// The lock that serialises loading type information and guards the
  /// termination list.
  CRITICAL_SECTION &TypeInfoLock() noexcept { return m_typeInfoLock; }
  /// The lock that serialises creating class objects.
  CRITICAL_SECTION &ClassObjectLock() noexcept { return m_classObjectLock; }

  /// Adds `callback` with `argument` to the front of the termination list,
  /// under the type-information lock. O(1). Answers E_OUTOFMEMORY (nothing
  /// added) when the list node cannot be allocated, else S_OK. Never throws.
  HRESULT AddTermination(TerminationCallback callback, void *argument) noexcept;

private:
  struct Termination {
    TerminationCallback callback;
    void *argument;
    Termination *next;
  };

  HINSTANCE m_instance = nullptr;
  LONG m_lockCount = 0;
  CRITICAL_SECTION m_typeInfoLock{};
  CRITICAL_SECTION m_classObjectLock{};
  Termination *m_terminations = nullptr;
  bool m_initialized = false;
};

/// The process's one server module.
ServerModule &Module() noexcept;

} // namespace VariantCollection

/// S_OK while no module lock is held (the library may be unloaded), S_FALSE
/// otherwise. Exported by name.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow();

#endif // VARIANT_COLLECTION_SERVERMODULE_H

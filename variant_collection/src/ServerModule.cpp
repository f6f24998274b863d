//===- ServerModule.cpp - Process-wide state of the server ----------------===//

#include "ServerModule.h"

#include "ScopedLock.h"

#include <new>

namespace VariantCollection {

void ServerModule::Initialize(HINSTANCE instance) noexcept {
  m_instance = instance;
  m_lockCount = 0;
  InitializeCriticalSection(&m_typeInfoLock);
  InitializeCriticalSection(&m_classObjectLock);
  m_terminations = nullptr;
  m_initialized = true;
}

void ServerModule::Terminate() noexcept {
  if (!m_initialized)
    return;
  m_initialized = false;
  DeleteCriticalSection(&m_classObjectLock);
  DeleteCriticalSection(&m_typeInfoLock);
  Termination *node = m_terminations;
  m_terminations = nullptr;
  while (node != nullptr) {
    Termination *next = node->next;
    node->callback(node->argument);
    delete node;
    node = next;
  }
}

void ServerModule::Lock() noexcept { InterlockedIncrement(&m_lockCount); }

void ServerModule::Unlock() noexcept { InterlockedDecrement(&m_lockCount); }

LONG ServerModule::ModuleLockCount() const noexcept {
  return InterlockedCompareExchange(const_cast<LONG *>(&m_lockCount), 0, 0);
}

HRESULT ServerModule::AddTermination(TerminationCallback callback, void *argument) noexcept {
  Termination *node = new (std::nothrow) Termination{callback, argument, nullptr};
  if (node == nullptr)
    return E_OUTOFMEMORY;
  ScopedLock lock(m_typeInfoLock);
  node->next = m_terminations;
  m_terminations = node;
  return S_OK;
}

namespace {
// Constant-initialised, so it is ready before any constructor of the
// process runs, and trivially destructible, so nothing runs after unload.
ServerModule g_module;
} // namespace

ServerModule &Module() noexcept { return g_module; }

} // namespace VariantCollection

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return VariantCollection::Module().ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

//===- TaskMemory.cpp - Count the blocks of the COM task allocator --------===//

#include "TaskMemory.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

namespace ServerTest {

namespace {

LONG g_live = 0;

/// Counts the blocks that pass through the task allocator while it is
/// installed; everything else it hands on unchanged.
class CountingSpy final : public IMallocSpy {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
    if (object == nullptr)
      return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMallocSpy)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    return S_OK;
  }
  // Static for the life of the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void *STDMETHODCALLTYPE PostAlloc(void *block) override {
    if (block != nullptr)
      InterlockedIncrement(&g_live);
    return block;
  }
  void *STDMETHODCALLTYPE PreFree(void *block, BOOL spied) override {
    if (block != nullptr && spied)
      InterlockedDecrement(&g_live);
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}

  // A reallocation to size 0 frees; one from null allocates.
  SIZE_T STDMETHODCALLTYPE PreRealloc(void *block, SIZE_T size, void **newBlock, BOOL spied) override {
    *newBlock = block;
    t_reallocFrom = block;
    if (block != nullptr && spied && size == 0)
      InterlockedDecrement(&g_live);
    return size;
  }
  void *STDMETHODCALLTYPE PostRealloc(void *block, BOOL) override {
    if (t_reallocFrom == nullptr && block != nullptr)
      InterlockedIncrement(&g_live);
    return block;
  }

  void *STDMETHODCALLTYPE PreGetSize(void *block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void *STDMETHODCALLTYPE PreDidAlloc(void *block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void *, BOOL, int allocated) override { return allocated; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
  static thread_local void *t_reallocFrom;
};

thread_local void *CountingSpy::t_reallocFrom = nullptr;

bool Install() {
  using SetNoCache = void(WINAPI *)();
  if (HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll")) {
    auto setNoCache = reinterpret_cast<SetNoCache>(reinterpret_cast<void *>(GetProcAddress(oleaut, "SetOaNoCache")));
    if (setNoCache != nullptr)
      setNoCache();
  }
  static CountingSpy spy;
  return SUCCEEDED(CoRegisterMallocSpy(&spy));
}

} // namespace

bool CountTaskMemory() {
  static const bool installed = Install();
  return installed;
}

long LiveTaskMemoryBlocks() { return InterlockedCompareExchange(&g_live, 0, 0); }

} // namespace ServerTest

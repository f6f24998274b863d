//===- DllMain.cpp - Entry point of the server module ---------------------===//

#include "ObjectMap.h"
#include "ServerModule.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
  case DLL_PROCESS_ATTACH:
    VariantCollection::Module().Initialize(instance);
    DisableThreadLibraryCalls(instance);
    break;
  case DLL_PROCESS_DETACH:
    VariantCollection::ReleaseClassObjects();
    VariantCollection::Module().Terminate();
    break;
  default:
    break;
  }
  return TRUE;
}

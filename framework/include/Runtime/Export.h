//===- Runtime/Export.h - Symbol visibility of the Runtime library -*- C++ -*-===//
//
// RUNTIME_API marks what the Runtime library exports (a DLL on Windows, a
// shared object elsewhere). A static build of the library defines
// RUNTIME_STATIC for itself and its users: then it marks nothing.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_RUNTIME_EXPORT_H
#define ZORBIN_TESSEL_RUNTIME_EXPORT_H

#if defined(RUNTIME_STATIC)
#  define RUNTIME_API
#elif defined(_WIN32)
#  if defined(RUNTIME_BUILDING)
#    define RUNTIME_API __declspec(dllexport)
#  else
#    define RUNTIME_API __declspec(dllimport)
#  endif
#else
#  define RUNTIME_API __attribute__((visibility("default")))
#endif

#endif // ZORBIN_TESSEL_RUNTIME_EXPORT_H

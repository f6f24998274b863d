//===- Quorrel/Export.h - Symbol visibility of the Quorrel library -*- C++ -*-===//
//
// QUORREL_API marks what the Quorrel library exports (a DLL on Windows, a
// shared object elsewhere). A static build of the library defines
// QUORREL_STATIC for itself and its users: then it marks nothing.
//
//===----------------------------------------------------------------------===//
#ifndef QUORREL_EXPORT_H
#define QUORREL_EXPORT_H

#if defined(QUORREL_STATIC)
#  define QUORREL_API
#elif defined(_WIN32)
#  if defined(QUORREL_BUILDING)
#    define QUORREL_API __declspec(dllexport)
#  else
#    define QUORREL_API __declspec(dllimport)
#  endif
#else
#  define QUORREL_API __attribute__((visibility("default")))
#endif

#endif // QUORREL_EXPORT_H

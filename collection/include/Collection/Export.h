//===- Collection/Export.h - Symbol visibility of the value library -*- C++ -*-===//
//
// COLLECTION_API marks what the value library exports (Collection.dll on
// Windows, libCollection.so elsewhere).
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_EXPORT_H
#define ZORBIN_TESSEL_COLLECTION_EXPORT_H

#if defined(_WIN32)
#  if defined(COLLECTION_BUILDING)
#    define COLLECTION_API __declspec(dllexport)
#  else
#    define COLLECTION_API __declspec(dllimport)
#  endif
#else
#  define COLLECTION_API __attribute__((visibility("default")))
#endif

#endif // ZORBIN_TESSEL_COLLECTION_EXPORT_H

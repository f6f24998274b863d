//===- Collection/Export.h - Symbol visibility of the value library -*- C++ -*-===//
//
// COLLECTION_API marks what the value library exports (Collection.dll on
// Windows, libCollection.so elsewhere). A static build of the library
// defines COLLECTION_STATIC for itself and its users: then it marks nothing.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_EXPORT_H
#define ZORBIN_TESSEL_COLLECTION_EXPORT_H

#if defined(COLLECTION_STATIC)
#  define COLLECTION_API
#elif defined(_WIN32)
#  if defined(COLLECTION_BUILDING)
#    define COLLECTION_API __declspec(dllexport)
#  else
#    define COLLECTION_API __declspec(dllimport)
#  endif
#else
#  define COLLECTION_API __attribute__((visibility("default")))
#endif

#endif // ZORBIN_TESSEL_COLLECTION_EXPORT_H

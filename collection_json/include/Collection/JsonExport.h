//===- Collection/JsonExport.h - Symbol visibility of the JSON library -*- C++ -*-===//
//
// COLLECTION_JSON_API marks what the JSON library exports (CollectionJson.dll
// on Windows, libCollectionJson.so elsewhere). A static build of the library
// defines COLLECTION_JSON_STATIC for itself and its users: then it marks
// nothing.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSONEXPORT_H
#define ZORBIN_TESSEL_COLLECTION_JSONEXPORT_H

#if defined(COLLECTION_JSON_STATIC)
#  define COLLECTION_JSON_API
#elif defined(_WIN32)
#  if defined(COLLECTION_JSON_BUILDING)
#    define COLLECTION_JSON_API __declspec(dllexport)
#  else
#    define COLLECTION_JSON_API __declspec(dllimport)
#  endif
#else
#  define COLLECTION_JSON_API __attribute__((visibility("default")))
#endif

#endif // ZORBIN_TESSEL_COLLECTION_JSONEXPORT_H

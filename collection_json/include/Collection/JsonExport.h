//===- Collection/JsonExport.h - Symbol visibility of the JSON library -*- C++ -*-===//
//
// COLLECTION_JSON_API marks what the JSON library exports (CollectionJson.dll
// on Windows, libCollectionJson.so elsewhere).
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSONEXPORT_H
#define ZORBIN_TESSEL_COLLECTION_JSONEXPORT_H

#if defined(_WIN32)
#  if defined(COLLECTION_JSON_BUILDING)
#    define COLLECTION_JSON_API __declspec(dllexport)
#  else
#    define COLLECTION_JSON_API __declspec(dllimport)
#  endif
#else
#  define COLLECTION_JSON_API __attribute__((visibility("default")))
#endif

#endif // ZORBIN_TESSEL_COLLECTION_JSONEXPORT_H

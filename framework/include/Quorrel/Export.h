//===- Quorrel/Export.h - Symbol visibility of the Quorrel library -*- C++ -*-===//
#ifndef QUORREL_EXPORT_H
#define QUORREL_EXPORT_H

#if defined(_WIN32)
#  if defined(QUORREL_BUILDING)
#    define QUORREL_API __declspec(dllexport)
#  else
#    define QUORREL_API __declspec(dllimport)
#  endif
#else
#  define QUORREL_API __attribute__((visibility("default")))
#endif

#endif // QUORREL_EXPORT_H

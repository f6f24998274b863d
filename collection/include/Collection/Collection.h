//===- Collection/Collection.h - The whole value library --------*- C++ -*-===//
//
// Includes every public header of the value library.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_COLLECTION_H
#define ZORBIN_TESSEL_COLLECTION_COLLECTION_H

#include <Collection/Array.h>
#include <Collection/BasicData.h>
#include <Collection/Boolean.h>
#include <Collection/Data.h>
#include <Collection/Dictionary.h>
#include <Collection/MakeValue.h>
#include <Collection/Number.h>
#include <Collection/Object.h>
#include <Collection/String.h>
#include <Collection/Value.h>

#endif // ZORBIN_TESSEL_COLLECTION_COLLECTION_H

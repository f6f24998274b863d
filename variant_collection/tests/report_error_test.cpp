//===- report_error_test.cpp - Error objects for Automation clients -------===//

#include "ReportError.h"
#include "ResourceIds.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

using namespace ServerTest;
using VariantCollection::ReportError;

namespace {

TEST(ReportError, PostsDescriptionSourceAndInterface) {
  ClearError();
  EXPECT_EQ(E_FAIL, ReportError(CLSID_Collection, "Something \xE9", IID_IXCollection, E_FAIL));
  PostedError error = TakeError();
  ASSERT_TRUE(error.posted);
  EXPECT_EQ(L"Something \u00E9", error.description); // system code page 1252
  EXPECT_EQ(L"Collection.XCollection.1", error.source);
  EXPECT_TRUE(IsEqualGUID(IID_IXCollection, error.guid));
}

TEST(ReportError, ZeroStatusBecomesAnException) {
  EXPECT_EQ(DISP_E_EXCEPTION, ReportError(CLSID_Collection, "x", IID_IXCollection, S_OK));
  EXPECT_EQ(E_OUTOFMEMORY, ReportError(CLSID_Collection, "x", IID_IXCollection, E_OUTOFMEMORY));
  ClearError();
}

TEST(ReportError, ClassWithoutProgIdGivesNoSource) {
  EXPECT_EQ(E_FAIL, ReportError(CLSID_XItem, "no source", IID_IXItem, E_FAIL));
  PostedError error = TakeError();
  ASSERT_TRUE(error.posted);
  EXPECT_EQ(L"no source", error.description);
  EXPECT_EQ(L"", error.source);
  EXPECT_TRUE(IsEqualGUID(IID_IXItem, error.guid));
}

TEST(ReportError, TakesTheTextFromAStringResource) {
  EXPECT_EQ(E_FAIL, ReportError(CLSID_Collection, UINT(IDS_PROJNAME), IID_IXCollection, E_FAIL));
  EXPECT_EQ(L"Collection", TakeError().description);

  EXPECT_EQ(HRESULT(0x80040000 + 4242), ReportError(CLSID_Collection, 4242u, IID_IXCollection, S_OK));
  EXPECT_EQ(L"Unknown Error", TakeError().description);
  EXPECT_EQ(HRESULT(0x80040000 + IDS_PROJNAME),
            ReportError(CLSID_Collection, UINT(IDS_PROJNAME), IID_IXCollection, S_OK));
  ClearError();
}

} // namespace

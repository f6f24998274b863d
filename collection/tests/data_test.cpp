//===- data_test.cpp - Byte buffers ---------------------------------------===//

#include "support/CountingAllocator.h"
#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace Zorbin::Tessel::Collection;
using Buffer = Data::Buffer;
using CollectionTest::CountingAllocator;
using CollectionTest::Make;

namespace {

const unsigned char kSixteen[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

const Value &AsValue(const Value &value) { return value; }

TEST(DataTest, ConstructionCopiesTheSourceBytes) {
  unsigned char source[4] = {1, 2, 3, 4};
  auto fromBytes = Make<Data>(source, 4ul);
  Buffer buffer(source, 4);
  auto fromBuffer = Make<Data>(buffer);
  source[0] = 99;
  buffer[1] = 99;
  const unsigned char expected[4] = {1, 2, 3, 4};
  EXPECT_EQ(std::memcmp(fromBytes->Bytes(), expected, 4), 0);
  EXPECT_EQ(std::memcmp(fromBuffer->Bytes(), expected, 4), 0);
  EXPECT_NE(fromBuffer->Bytes(), static_cast<const void *>(buffer.data()));
}

TEST(DataTest, DataValueIsADeepCopyThatTheCallerOwns) {
  auto data = Make<Data>(kSixteen, 16ul);
  Buffer copy = data->DataValue();
  ASSERT_EQ(copy.size(), 16u);
  EXPECT_NE(static_cast<const void *>(copy.data()), data->Bytes());
  copy[15] = 0xff;
  EXPECT_EQ(static_cast<const unsigned char *>(data->Bytes())[15], 15);

  // The root's conversion reaches the same deep copy.
  Buffer converted = static_cast<Buffer>(AsValue(*data));
  converted[0] = 0xff;
  EXPECT_TRUE(*data == *Make<Data>(kSixteen, 16ul));
  EXPECT_EQ(data->DataValue(), Buffer(kSixteen, 16));
}

TEST(DataTest, WritesThroughTheBufferAreSeenByEveryReader) {
  Data *data = new Data(kSixteen, sizeof(void *));
  Zorbin::Tessel::Runtime::Ref<Data> held(data);

  data->GetData()[0] = 0xAA;
  EXPECT_EQ(static_cast<const unsigned char *>(data->Bytes())[0], 0xAA);
  EXPECT_FALSE(*data == *Make<Data>(kSixteen, sizeof(void *)));

  void *pointer = nullptr;
  std::memset(&pointer, 0x5A, sizeof pointer);
  Buffer &buffer = *data; // the non-const conversion is the same buffer
  EXPECT_EQ(&buffer, &data->GetData());
  std::memcpy(buffer.data(), &pointer, sizeof pointer);
  EXPECT_EQ(data->PointerValue(), pointer);

  const Data &readOnly = *data;
  EXPECT_EQ(&static_cast<const Buffer &>(readOnly), &readOnly.GetData());
}

TEST(DataTest, PointerValueOnlyWhenTheLengthIsThatOfAPointer) {
  unsigned char bytes[2 * sizeof(void *) + 1] = {};
  std::memset(bytes, 0x11, sizeof bytes);
  for (unsigned long length = 0; length <= sizeof bytes; ++length) {
    SCOPED_TRACE(length);
    auto data = Make<Data>(bytes, length);
    if (length == sizeof(void *)) {
      void *expected = nullptr;
      std::memcpy(&expected, bytes, sizeof expected);
      EXPECT_EQ(data->PointerValue(), expected);
      EXPECT_NE(data->PointerValue(), nullptr);
    } else {
      EXPECT_EQ(data->PointerValue(), nullptr);
    }
  }
}

TEST(DataTest, EqualityNeedsTheSameLengthAndTheSameBytes) {
  unsigned char lastDiffers[16];
  std::memcpy(lastDiffers, kSixteen, 16);
  lastDiffers[15] = 0;
  auto data = Make<Data>(kSixteen, 16ul);
  EXPECT_TRUE(*data == *Make<Data>(kSixteen, 16ul));
  EXPECT_TRUE(AsValue(*data) == AsValue(*Make<Data>(kSixteen, 16ul)));
  EXPECT_FALSE(*data == *Make<Data>(lastDiffers, 16ul));
  EXPECT_FALSE(*data == *Make<Data>(kSixteen, 15ul)); // a prefix
  EXPECT_FALSE(*Make<Data>(kSixteen, 15ul) == *data);
  EXPECT_TRUE(AsValue(*data) != AsValue(*Make<Data>(kSixteen, 15ul)));
  // Empty buffers from anywhere are equal.
  EXPECT_TRUE(*Make<Data>(nullptr, 0ul) == *Make<Data>(kSixteen, 0ul));
  EXPECT_FALSE(*Make<Data>(nullptr, 0ul) == *Make<Data>(kSixteen, 1ul));
}

TEST(DataMemoryTest, TheValueAndItsBytesComeFromTheNativeAllocator) {
  CountingAllocator allocator;
  {
    auto data = Make<Data>(kSixteen, 16ul);
    EXPECT_TRUE(allocator.Owns(data.Get()));
    EXPECT_TRUE(allocator.Owns(data->Bytes()));
    EXPECT_EQ(allocator.LiveBlocks(), 2u);
    {
      Buffer copy = data->DataValue();
      EXPECT_TRUE(allocator.Owns(copy.data()));
      EXPECT_EQ(allocator.LiveBytes() - sizeof(Data), 32u); // two exact blocks
    }
    EXPECT_EQ(allocator.LiveBlocks(), 2u);
  }
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

} // namespace

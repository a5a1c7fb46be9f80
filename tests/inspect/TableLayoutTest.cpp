// Every layout of the handle table, read from byte-exact blocks.
#include <gtest/gtest.h>

#include <tuple>

#include "inspect/File2Name.h"

namespace {

struct TRaw {
  std::vector<BYTE> Bytes;
  void Put(size_t At, uint64_t Value, size_t Size) {
    if (Bytes.size() < At + Size) Bytes.resize(At + Size);
    for (size_t I = 0; I < Size; ++I) Bytes[At + I] = static_cast<BYTE>(Value >> (8 * I));
  }
};

TEST(TableLayout, SixteenByteEntriesOfTheThirtyTwoBitOldClass) {
  TRaw R;
  R.Put(0, 2, 4);
  // entry 0: pid 4, type 28, flags 1, handle 0x7A4, object, access
  R.Put(4, 4, 4);
  R.Put(8, 28, 1);
  R.Put(9, 1, 1);
  R.Put(10, 0x7A4, 2);
  R.Put(12, 0x81234567, 4);
  R.Put(16, 0x12019F, 4);
  // entry 1
  R.Put(20, 1234, 4);
  R.Put(24, 37, 1);
  R.Put(26, 0xFFFC, 2);
  R.Put(34, 0, 2);
  ASSERT_EQ(R.Bytes.size(), 36u);
  R.Bytes.resize(36 + 16);  // room for an entry the count does not claim
  THandleTableView V(R.Bytes.data(), R.Bytes.size(), HandleTable16x32);
  ASSERT_EQ(V.NumberOfHandles(), 2u);
  EXPECT_TRUE(V.OwnedBy(V.Entry(1), 1234 + 65536));  // the class carries 16-bit process ids
  EXPECT_EQ(V.Entry(0).ProcessId, 4u);
  EXPECT_EQ(V.Entry(0).ObjectTypeNumber, 28);
  EXPECT_EQ(V.Entry(0).Handle, 0x7A4u);
  EXPECT_EQ(V.Entry(0).Object, 0x81234567u);
  EXPECT_EQ(V.Entry(1).ProcessId, 1234u);
  EXPECT_EQ(V.Entry(1).ObjectTypeNumber, 37);
  EXPECT_EQ(V.Entry(1).Handle, 0xFFFCu);
}

TEST(TableLayout, TwentyFourByteEntriesOfTheSixtyFourBitOldClass) {
  TRaw R;
  R.Put(0, 1, 4);
  R.Put(4, 0xDEADBEEF, 4);  // padding is not part of the count
  R.Put(8, 1000, 4);
  R.Put(12, 37, 1);
  R.Put(14, 0x44, 2);
  R.Put(16, 0xFFFF800012345678ull, 8);
  R.Put(24, 0x1F01FF, 4);
  R.Put(28, 0, 4);
  THandleTableView V(R.Bytes.data(), R.Bytes.size(), HandleTable16x64);
  ASSERT_EQ(V.NumberOfHandles(), 1u);
  EXPECT_EQ(V.Entry(0).ProcessId, 1000u);
  EXPECT_EQ(V.Entry(0).ObjectTypeNumber, 37);
  EXPECT_EQ(V.Entry(0).Handle, 0x44u);
  EXPECT_EQ(V.Entry(0).Object, 0xFFFF800012345678ull);
}

TEST(TableLayout, ExtendedClassCarriesWholeProcessIdsAndHandlesInBothWidths) {
  TRaw Narrow;  // 32-bit: count, reserved, then 28-byte entries
  Narrow.Put(0, 1, 4);
  Narrow.Put(4, 0xDEADBEEF, 4);  // reserved: not part of the count
  Narrow.Put(8, 0x81234567, 4);   // Object
  Narrow.Put(12, 70000, 4);       // UniqueProcessId
  Narrow.Put(16, 0x1A2B4, 4);     // HandleValue
  Narrow.Put(20, 0x12019F, 4);    // GrantedAccess
  Narrow.Put(24, 3, 2);           // CreatorBackTraceIndex
  Narrow.Put(26, 0x125, 2);       // ObjectTypeIndex
  Narrow.Put(28, 0xA5A5A5A5, 4);  // HandleAttributes: not part of the type
  Narrow.Put(32, 0, 4);
  ASSERT_EQ(Narrow.Bytes.size(), 36u);
  Narrow.Bytes.resize(36 + 28);  // room for an entry the count does not claim
  THandleTableView N(Narrow.Bytes.data(), Narrow.Bytes.size(), HandleTable64x32);
  ASSERT_EQ(N.NumberOfHandles(), 1u);
  EXPECT_EQ(N.Entry(0).ProcessId, 70000u);
  EXPECT_EQ(N.Entry(0).Handle, 0x1A2B4u);
  EXPECT_EQ(N.Entry(0).ObjectTypeNumber, 0x125);
  EXPECT_EQ(N.Entry(0).Object, 0x81234567u);
  EXPECT_TRUE(N.OwnedBy(N.Entry(0), 70000));
  EXPECT_FALSE(N.OwnedBy(N.Entry(0), 70000 & 0xFFFF));

  TRaw Wide;  // 64-bit: 16-byte header, 40-byte entries
  Wide.Put(0, 1, 8);
  Wide.Put(8, 0xDEADBEEFDEADBEEFull, 8);  // reserved
  Wide.Put(16, 0xFFFF800012345678ull, 8);
  Wide.Put(24, 131072, 8);
  Wide.Put(32, 0x20004, 8);
  Wide.Put(40, 0x12019F, 4);
  Wide.Put(44, 0, 2);
  Wide.Put(46, 40, 2);
  Wide.Put(48, 0xA5A5A5A5, 4);  // HandleAttributes
  Wide.Put(52, 0, 4);
  ASSERT_EQ(Wide.Bytes.size(), 56u);
  Wide.Bytes.resize(56 + 40);
  THandleTableView W(Wide.Bytes.data(), Wide.Bytes.size(), HandleTable64x64);
  ASSERT_EQ(W.NumberOfHandles(), 1u);
  EXPECT_EQ(W.Entry(0).ProcessId, 131072u);
  EXPECT_EQ(W.Entry(0).Handle, 0x20004u);
  EXPECT_EQ(W.Entry(0).ObjectTypeNumber, 40);
  EXPECT_EQ(W.Entry(0).Object, 0xFFFF800012345678ull);
  // The simulated machine builds its blocks with the same choice of layout,
  // so only this says that each class and width gets its own.
  for (auto [Class, Width, EntrySize] : {std::tuple<ULONG, unsigned, size_t>{64, 8, 40}, {64, 4, 28}, {16, 8, 24}, {16, 4, 16}}) {
    const THandleTableLayout& L = HandleTableLayout(Class, Width);
    EXPECT_EQ(std::tie(L.InfoClass, L.PointerWidth, L.EntrySize), std::tie(Class, Width, EntrySize));
  }
}

TEST(TableLayout, CountBeyondTheBlockIsNotBelieved) {
  TRaw R;
  R.Put(0, 1000000, 4);
  R.Bytes.resize(4 + 32);
  THandleTableView V(R.Bytes.data(), R.Bytes.size(), HandleTable16x32);
  EXPECT_EQ(V.NumberOfHandles(), 2u);
}

}  // namespace

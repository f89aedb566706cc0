// Row layouts the fixtures do not exercise: a Jet 3 row longer than 255 bytes
// (one-byte offsets plus a jump table), and rows written before a column was
// added (fewer stored columns than the table has).
#include <gtest/gtest.h>

#include "jet/Database.h"
#include "jet/RowReader.h"
#include "jet/support/jet_testing.h"

namespace {

jet::Column column(uint8_t type, uint16_t number, uint16_t varIndex, bool fixed,
                   uint16_t fixedOffset, uint16_t length) {
  jet::Column c;
  c.type = type;
  c.number = number;
  c.varIndex = varIndex;
  c.flags = fixed ? jet::column_flag::kFixed : 0;
  c.fixedOffset = fixedOffset;
  c.length = length;
  return c;
}

TEST(Rows, Jet3RowWithJumpTable) {
  const auto db = jet::Database::open(jettest::fixture("jackcess-V1997-testV1997.mdb"), "");
  jet::TableDef def;
  def.numVarCols = 2;
  def.columns = {column(jet::column_type::kLong, 0, 0, true, 0, 4),
                 column(jet::column_type::kText, 1, 0, false, 0, 255),
                 column(jet::column_type::kText, 2, 1, false, 0, 255)};
  // 1 count byte, 4 fixed bytes, 200 + 80 variable bytes, then from the end:
  // mask, count of variable columns, one jump entry, three offsets.
  std::vector<uint8_t> row(291, 0);
  row[0] = 3;
  row[1] = 0x2A;
  for (int i = 5; i < 205; ++i) row[i] = 'a';
  for (int i = 205; i < 285; ++i) row[i] = 'b';
  row[285] = 285 - 256;  // offset 2 (end of data), above 255
  row[286] = 205;        // offset 1
  row[287] = 5;          // offset 0
  row[288] = 2;          // jump: offset entries from 2 on add 256
  row[289] = 2;          // two variable columns
  row[290] = 0x07;       // all three not null
  jet::RowDecoder decoder(*db, def);
  std::vector<jet::Field> f;
  decoder.decode(jet::ByteView(row), f);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].bytes.u32(0), 0x2Au);
  EXPECT_EQ(f[1].bytes.size(), 200u);
  EXPECT_EQ(f[1].bytes.u8(0), 'a');
  ASSERT_EQ(f[2].bytes.size(), 80u);
  EXPECT_EQ(f[2].bytes.u8(0), 'b');
  EXPECT_EQ(f[2].bytes.u8(79), 'b');
}

TEST(Rows, Jet4ColumnsAddedAfterTheRowAreNull) {
  const auto db = jet::Database::open(jettest::fixture("jackcess-V2000-delTestV2000.mdb"), "");
  jet::TableDef def;
  def.numVarCols = 2;
  def.columns = {column(jet::column_type::kInteger, 0, 0, true, 0, 2),
                 column(jet::column_type::kText, 1, 0, false, 0, 100),
                 column(jet::column_type::kBoolean, 2, 0, false, 0, 0),
                 column(jet::column_type::kText, 3, 1, false, 0, 100),   // added later
                 column(jet::column_type::kInteger, 9, 0, true, 2, 2)};  // added later
  // Stored: 2 columns; fixed 2 bytes; var 0 = "hi" (UCS-2); trailer.
  std::vector<uint8_t> row = {2,   0, 7, 0, 'h', 0, 'i', 0, 8, 0,  // EOD
                              4,   0,                              // offset 0
                              1,   0,                              // one variable column
                              0x03};
  jet::RowDecoder decoder(*db, def);
  std::vector<jet::Field> f;
  decoder.decode(jet::ByteView(row), f);
  EXPECT_FALSE(f[0].null);
  EXPECT_EQ(f[0].bytes.u16(0), 7);
  ASSERT_FALSE(f[1].null);
  EXPECT_EQ(f[1].bytes.size(), 4u);
  EXPECT_FALSE(f[2].null) << "booleans are never null";
  EXPECT_FALSE(f[2].boolValue) << "a column added later reads as false";
  EXPECT_TRUE(f[3].null);
  EXPECT_TRUE(f[4].null);

  // A damaged trailer (offsets going backwards) is an error, not a read.
  row[10] = 9;
  EXPECT_THROW(decoder.decode(jet::ByteView(row), f), jet::Corrupt);
  // A variable count that cannot fit the row.
  row[10] = 4;
  row[12] = 200;
  EXPECT_THROW(decoder.decode(jet::ByteView(row), f), jet::Corrupt);
}

}  // namespace

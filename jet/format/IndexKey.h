#pragma once

// Index keys made from row values, byte for byte as Jet writes them (§8.3 of
// the format notes). Per index column: a flag byte (ascending: 0x7F value,
// 0x00 null; descending: 0x80 value, 0xFF null) and the value's encoding,
// every byte inverted when descending:
//
//   Byte                    the byte
//   Integer, Long, Currency big-endian, sign bit flipped
//   Single, Double, Date    big-endian; sign bit flipped when positive, all
//                           bits when negative
//   Yes/No                  never null: 0x00 yes, 0xFF no (asc)
//   GUID, Binary            8-byte groups each followed by 9, the last group
//                           zero-filled and followed by its length
//   Numeric (Jet 4)         0xFF positive / 0x00 negative, then the 16-byte
//                           magnitude, inverted for negatives (asc)
//   Text, Memo              the first 255 characters without trailing
//                           spaces, under the column's sort order
//
// The index flags change which rows have entries, never their bytes: an
// "ignore nulls" index leaves out rows whose key columns are all null;
// unique, required and primary key only constrain the values.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/Version.h"
#include "jet/format/collation/Collation.h"
#include "jet/util/Bytes.h"

namespace jet {

// A text column's sort order as its descriptor stores it.
struct SortOrder {
  uint16_t lcid = 0;      // 0: the database's (older Jackcess wrote none)
  uint8_t version = 0;    // Jet 4: 0 General legacy, 1 General
  uint16_t codePage = 0;  // Jet 3: 0 the database's
  bool operator==(const SortOrder&) const = default;
};

// Reads it from a column descriptor (Jet 4: LCID at 11, version at 14; Jet 3:
// LCID at 9, code page at 11). Throws Corrupt when the descriptor is short.
SortOrder columnSortOrder(Version v, ByteView descriptor);
// Writes it where columnSortOrder reads it.
void putColumnSortOrder(Version v, uint8_t* descriptor, const SortOrder& order);
// The database's default, from the header fields.
SortOrder databaseSortOrder(Version v, uint16_t lcid, uint8_t version, uint16_t codePage);
// "sort order 0x0419 (Russian) version 1"; Jet 3 adds the code page.
std::string describe(Version v, const SortOrder& order);

struct KeyColumn {
  uint8_t type = 0;  // column_type
  bool ascending = true;
  SortOrder sortOrder;  // text and memo only
};

// One column's value as the row holds it: null, or its stored bytes (text
// as stored, memo as its whole long value); a Yes/No value is its mask bit.
struct KeyValue {
  bool null = true;
  bool boolValue = false;
  ByteView bytes;
};

// Why a key cannot be made: which key column, and a sentence.
struct KeyUnsupported {
  size_t column = 0;
  std::string reason;  // "sort order 0x0419 (Russian) version 1 is not supported"
};

// Checks each column: its type must have an encoding, and text must use a
// sort order with tables here. `database` resolves columns that store none.
std::optional<KeyUnsupported> unsupportedKey(Version v, std::span<const KeyColumn> columns,
                                             const SortOrder& database);

// True when an index with these flags has no entry for a row with these values.
bool omitsRow(uint8_t indexFlags, std::span<const KeyColumn> columns,
              std::span<const KeyValue> values);

// How far a key made here can be trusted to be the one Jet writes.
enum class KeyTrust : uint8_t {
  Certain,
  Unverified,  // its text holds a character whose code is uncertain
  Unknown,     // longer than 508 bytes and holding General (version 1) text,
               // which Access cuts by a rule nobody has published
};

// Makes one index's keys. Keeps its scratch space: reuse one per index.
class IndexKeyEncoder {
 public:
  // Throws std::invalid_argument when unsupportedKey() names a reason, or for
  // more than 10 columns.
  IndexKeyEncoder(Version v, std::vector<KeyColumn> columns, const SortOrder& database);

  // Appends the key of one row (values in key-column order) to out, and
  // says how far it can be trusted. Throws Corrupt for a value whose stored
  // size does not fit its type.
  [[nodiscard]] KeyTrust append(std::span<const KeyValue> values, std::vector<uint8_t>& out);

 private:
  enum class Encoding : uint8_t {
    Byte,
    Integer,
    Float,
    Boolean,
    Binary,
    Guid,
    Numeric,
    Text3,
    Text4
  };
  struct Column {
    Encoding encoding;
    uint8_t size;  // fixed-size types: bytes stored
    bool ascending;
    const collation::CodeTable* table;  // Jet 4 text
  };

  void appendValue(const Column& c, const KeyValue& v, std::vector<uint8_t>& out);
  void appendText4(const Column& c, ByteView stored, std::vector<uint8_t>& out);
  void appendText3(const Column& c, ByteView stored, std::vector<uint8_t>& out);

  std::vector<Column> columns_;
  bool general_ = false;  // some column is General (version 1) text
  bool certain_ = true;   // every text so far holds only characters of certain code
  std::vector<uint16_t> units_;
  collation::TextKeyWriter text_;
};

}  // namespace jet

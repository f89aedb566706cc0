#pragma once

// Text as index keys hold it, under Jet's General sort orders. Every
// character has a kind and codes: "inline" bytes written where the character
// stands (its letter, case and accents folded away), and "extra" bytes that
// follow the inline part and tell accents and case apart. Hyphens and
// apostrophes ("deferred") have no inline code: they follow at the end with
// their position, so "co-op" sorts next to "coop". Combining marks adjust the
// extra byte of the character before them; kana carry a mark that tells
// small from full-size forms. Jet 3 keeps one accent nibble per accented
// letter instead.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet::collation {

enum class Kind : uint8_t {
  Ignored,    // no code at all
  Plain,      // inline bytes only
  Accented,   // inline bytes and extra bytes
  Deferred,   // one code byte, written after the text with its position
  Combining,  // one byte added to the previous extra byte
  KanaSmall,  // inline, optional extra, kana mark 2
  Kana,       // inline, optional extra, kana mark 3
  Letter97,   // Jet 3: inline bytes, each a letter before the next accent
};

// One sort order's codes for every character, unpacked once into flat
// arrays: a record per character (kind, lengths, offset of its bytes).
class CodeTable {
 public:
  // From the generated base64 text; `uncertain` names the characters whose
  // codes are in doubt (never Plain ones). Throws std::logic_error when the
  // text does not describe exactly `characters` characters (a bad generated
  // table).
  CodeTable(const char* packed, size_t size, size_t characters,
            bool (*uncertain)(size_t c, Kind kind));

  uint32_t record(size_t c) const { return records_[c]; }
  static Kind kind(uint32_t r) { return static_cast<Kind>(r & 7); }
  static unsigned inlineLength(uint32_t r) { return (r >> 3) & 15; }
  static unsigned extraLength(uint32_t r) { return (r >> 7) & 3; }
  // The inline bytes, the extra bytes right after them; 8 bytes may always
  // be read from there.
  const uint8_t* bytes(uint32_t r) const { return pool_.data() + (r >> 9); }
  unsigned longestInline() const { return longestInline_; }
  size_t characters() const { return records_.size(); }
  size_t memoryBytes() const { return records_.size() * 4 + pool_.size(); }
  // A character whose code no key Access wrote confirms and a source leaves
  // in doubt (see Collation.cpp); never a Plain one.
  bool uncertain(size_t c) const { return (doubts_[c >> 6] >> (c & 63)) & 1; }

 private:
  std::vector<uint32_t> records_;
  std::vector<uint8_t> pool_;
  std::vector<uint64_t> doubts_;  // a bit per character
  unsigned longestInline_ = 0;
};

const CodeTable& general97();      // Jet 3, indexed by Windows-1252 byte
const CodeTable& generalLegacy();  // Jet 4 sort-order version 0, by UCS-2 unit
const CodeTable& general();        // Jet 4 sort-order version 1, by UCS-2 unit

// Writes text keys; holds the scratch space so that steady use allocates nothing.
class TextKeyWriter {
 public:
  // Jet 4 text as UCS-2 code units, already cut to the indexed length and
  // stripped of trailing spaces. False when the text holds a character
  // whose code is uncertain.
  bool appendJet4(const CodeTable& table, const uint16_t* units, size_t n, bool ascending,
                  std::vector<uint8_t>& out);
  // Jet 3 General text as Windows-1252 bytes, prepared likewise.
  bool appendJet3(const uint8_t* text, size_t n, bool ascending, std::vector<uint8_t>& out);

 private:
  void addCodes(Kind kind, size_t position, const uint8_t* extra, unsigned length);
  void appendJet4Tail(std::vector<uint8_t>& out);
  void addExtra(size_t position, const uint8_t* bytes, unsigned length);
  void addCombining(size_t position, uint8_t adjustment);
  void addDeferred(size_t position, uint8_t code);
  void addNibble(uint8_t n);

  std::vector<uint8_t> extra_, deferred_, kana_;
  size_t extraCharacters_ = 0;  // characters the extra bytes account for
  size_t extraLead_ = 0;        // a combining mark's byte before any character's
  size_t nibbles_ = 0;
  bool extraStarted_ = false;
};

}  // namespace jet::collation

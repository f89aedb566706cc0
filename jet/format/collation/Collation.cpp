#include "jet/format/collation/Collation.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "jet/format/collation/SortTables.h"

namespace jet::collation {

namespace {

// Bytes of the Jet 4 layout: the end of the inline part, the placeholder
// extra byte of a character without one, and the separators and tail that
// come with kana marks and deferred characters.
constexpr uint8_t kEndInline = 0x01;
constexpr uint8_t kEndKey = 0x00;
constexpr uint8_t kNoExtra = 0x02;
constexpr uint8_t kKanaMarkFirst = 0x80;
constexpr uint8_t kKanaTail[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr uint8_t kKanaThenDeferred = 0xFF;
constexpr uint8_t kDeferredMid = 0x06;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() {
    if (at_ >= size_) bad();
    return data_[at_++];
  }
  uint64_t varint() {
    uint64_t n = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const uint8_t b = byte();
      n |= uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) return n;
    }
    bad();
  }
  const uint8_t* take(size_t n) {
    if (n > size_ - at_) bad();
    at_ += n;
    return data_ + at_ - n;
  }
  bool done() const { return at_ == size_; }
  [[noreturn]] static void bad() { throw std::logic_error("damaged sort-order table"); }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

std::vector<uint8_t> fromBase64(const char* text, size_t size) {
  std::vector<uint8_t> out;
  uint32_t bits = 0;
  int count = 0;
  for (size_t i = 0; i < size && text[i] != '='; ++i) {
    const char c = text[i];
    const int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                  : c >= 'a' && c <= 'z' ? c - 'a' + 26
                  : c >= '0' && c <= '9' ? c - '0' + 52
                  : c == '+'             ? 62
                  : c == '/'             ? 63
                                         : -1;
    if (v < 0) Reader::bad();
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<uint8_t>(bits >> count));
    }
  }
  return out;
}

void invert(std::vector<uint8_t>& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

}  // namespace

CodeTable::CodeTable(const char* text, size_t size, size_t characters,
                     bool (*uncertain)(size_t c, Kind kind)) {
  const std::vector<uint8_t> packed = fromBase64(text, size);
  Reader in(packed.data(), packed.size());
  records_.reserve(characters);
  while (records_.size() < characters) {
    const uint8_t head = in.byte();
    const unsigned kind = head & 7, elen = head >> 6;
    const unsigned ilen = ((head >> 3) & 7) == 7 ? 8 : (head >> 3) & 7;
    const uint64_t count = in.varint();
    const bool differ = count & 1;
    const uint64_t n = count >> 1;
    longestInline_ = std::max(longestInline_, ilen);
    uint64_t value = 0;
    for (unsigned i = 0; i < ilen; ++i) value = (value << 8) | in.byte();
    uint64_t step = 0;
    if (n > 1) {
      const uint64_t z = in.varint();
      step = (z & 1) ? ~(z >> 1) : z >> 1;  // zigzag; wraps like the codes do
    }
    const uint8_t* extras = in.take((differ ? n : 1) * elen);
    if (n == 0 || n > characters - records_.size()) Reader::bad();
    for (uint64_t k = 0; k < n; ++k) {
      if (pool_.size() >= (size_t{1} << 23)) Reader::bad();
      records_.push_back(kind | (ilen << 3) | (elen << 7) |
                         static_cast<uint32_t>(pool_.size() << 9));
      const uint64_t v = value + step * k;
      for (unsigned i = ilen; i-- > 0;) pool_.push_back(static_cast<uint8_t>(v >> (8 * i)));
      const uint8_t* e = extras + (differ ? k * elen : 0);
      pool_.insert(pool_.end(), e, e + elen);
    }
  }
  if (!in.done()) Reader::bad();
  pool_.resize(pool_.size() + 8);  // so that inline codes can be copied 8 bytes at a time
  doubts_.assign((characters + 63) / 64, 0);
  for (size_t c = 0; c < characters; ++c) {
    if (!uncertain(c, kind(records_[c]))) continue;
    if (kind(records_[c]) == Kind::Plain) Reader::bad();  // the encoders look only at others
    doubts_[c >> 6] |= uint64_t{1} << (c & 63);
  }
}

namespace {

// The characters in doubt: where no key Access wrote confirms a code and a
// source leaves it open. Jet 3: æ, Æ, œ and Œ, taken to count as two letters
// before an accent as ß does (only ß was seen). Jet 4: every character the
// files give no code, NUL among them (Jet 3 gives NUL one): a code Access
// gives it leaves a trace nothing here makes. General legacy besides:
// surrogates, whose computed codes were seen only under General.
bool jet3Doubt(size_t c, Kind) { return c == 0x8C || c == 0x9C || c == 0xC6 || c == 0xE6; }
bool jet4Doubt(size_t, Kind kind) { return kind == Kind::Ignored; }
bool legacyDoubt(size_t c, Kind kind) {
  return kind == Kind::Ignored || (c >= 0xD800 && c <= 0xDFFF);
}

}  // namespace

const CodeTable& general97() {
  static const CodeTable table(kGeneral97, kGeneral97Size, 0x100, jet3Doubt);
  return table;
}
const CodeTable& generalLegacy() {
  static const CodeTable table(kGeneralLegacy, kGeneralLegacySize, 0x10000, legacyDoubt);
  return table;
}
const CodeTable& general() {
  static const CodeTable table(kGeneral, kGeneralSize, 0x10000, jet4Doubt);
  return table;
}

// Characters without extra bytes before this one get the placeholder.
void TextKeyWriter::addExtra(size_t position, const uint8_t* bytes, unsigned length) {
  extraStarted_ = true;
  if (extraCharacters_ < position) {
    extra_.insert(extra_.end(), position - extraCharacters_, kNoExtra);
    extraCharacters_ = position;
  }
  extra_.insert(extra_.end(), bytes, bytes + length);
  ++extraCharacters_;
}

void TextKeyWriter::addCombining(size_t position, uint8_t adjustment) {
  extraStarted_ = true;
  if (extraCharacters_ < position) {
    extra_.insert(extra_.end(), position - extraCharacters_, kNoExtra);
    extraCharacters_ = position;
  }
  if (extra_.empty()) {
    extra_.push_back(adjustment);  // a mark with nothing before it
    extraLead_ = 1;
  } else {
    extra_.back() = static_cast<uint8_t>(extra_.back() + adjustment);
  }
}

// The position counts the extra bytes written so far, and one for each
// character since, as if every character had its extra byte.
void TextKeyWriter::addDeferred(size_t position, uint8_t code) {
  size_t at = position;
  if (extraStarted_) at = extra_.size() + (position - extraCharacters_) - extraLead_;
  const uint32_t mark = (7 + 4 * static_cast<uint32_t>(at)) | 0x8000;
  deferred_.push_back(static_cast<uint8_t>(mark >> 8));
  deferred_.push_back(static_cast<uint8_t>(mark));
  deferred_.push_back(kDeferredMid);
  deferred_.push_back(code);
}

// What a character adds besides its inline bytes.
void TextKeyWriter::addCodes(Kind kind, size_t position, const uint8_t* extra, unsigned length) {
  switch (kind) {
    case Kind::Accented:
      return addExtra(position, extra, length);
    case Kind::KanaSmall:
    case Kind::Kana:
      if (length) addExtra(position, extra, length);
      return kana_.push_back(kind == Kind::KanaSmall ? 2 : 3);
    case Kind::Combining:
      return addCombining(position, extra[0]);
    case Kind::Deferred:
      return addDeferred(position, extra[0]);
    default:
      return;
  }
}

// After the inline bytes: the extra bytes, then the kana marks and the
// deferred characters, each part introduced by its separators.
void TextKeyWriter::appendJet4Tail(std::vector<uint8_t>& out) {
  out.push_back(kEndInline);
  while (!extra_.empty() && extra_.back() <= kNoExtra) extra_.pop_back();
  out.insert(out.end(), extra_.begin(), extra_.end());
  if (!kana_.empty() || !deferred_.empty()) {
    out.push_back(kEndInline);
    out.push_back(kEndInline);
  }
  if (!kana_.empty()) {
    // Marks three to a byte, trailing full-size ones left out.
    size_t marks = kana_.size();
    while (marks && kana_[marks - 1] == 3) --marks;
    for (size_t i = 0; i < marks; i += 3) {
      uint8_t packed = kKanaMarkFirst;
      for (size_t k = i; k < i + 3 && k < marks; ++k)
        packed = static_cast<uint8_t>(packed | kana_[k] << (2 * (2 - (k - i))));
      out.push_back(packed);
    }
    out.insert(out.end(), std::begin(kKanaTail), std::end(kKanaTail));
    if (!deferred_.empty()) out.push_back(kKanaThenDeferred);
  }
  if (!deferred_.empty()) {
    out.push_back(kEndInline);
    out.insert(out.end(), deferred_.begin(), deferred_.end());
  }
}

bool TextKeyWriter::appendJet4(const CodeTable& table, const uint16_t* units, size_t n,
                               bool ascending, std::vector<uint8_t>& out) {
  bool certain = true;
  const size_t start = out.size();
  extra_.clear();
  deferred_.clear();
  kana_.clear();
  extraCharacters_ = extraLead_ = 0;
  extraStarted_ = false;
  // The inline part through a pointer, with room for every character's
  // longest code and a whole 8-byte copy past it.
  out.resize(start + n * table.longestInline() + 8);
  uint8_t* w = out.data() + start;
  size_t position = 0;  // characters with inline bytes so far
  for (size_t i = 0; i < n; ++i) {
    const uint32_t r = table.record(units[i]);
    const uint8_t* b = table.bytes(r);
    const unsigned ilen = CodeTable::inlineLength(r), elen = CodeTable::extraLength(r);
    const size_t here = position;
    std::memcpy(w, b, 8);
    w += ilen;
    position += ilen != 0;
    if (CodeTable::kind(r) != Kind::Plain) {
      certain = certain && !table.uncertain(units[i]);
      addCodes(CodeTable::kind(r), here, b + ilen, elen);
    }
  }
  out.resize(static_cast<size_t>(w - out.data()));
  appendJet4Tail(out);
  if (!ascending) {
    out.push_back(kEndKey);
    invert(out, start);
  }
  out.push_back(kEndKey);
  return certain;
}

void TextKeyWriter::addNibble(uint8_t n) {
  if (nibbles_++ % 2 == 0)
    extra_.push_back(static_cast<uint8_t>(n << 4));
  else
    extra_.back() = static_cast<uint8_t>(extra_.back() | (n & 0x0F));
}

// Jet 3: after the inline bytes, one nibble per accented letter, preceded by
// a placeholder nibble for each plain letter since the last one, the whole
// framed by zero nibbles; a single zero byte when nothing is accented.
bool TextKeyWriter::appendJet3(const uint8_t* text, size_t n, bool ascending,
                               std::vector<uint8_t>& out) {
  const CodeTable& table = general97();
  bool certain = true;
  const size_t start = out.size();
  extra_.clear();
  nibbles_ = 0;
  size_t letters = 0;
  out.resize(start + n * table.longestInline() + 8);
  uint8_t* w = out.data() + start;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t r = table.record(text[i]);
    const uint8_t* b = table.bytes(r);
    const unsigned ilen = CodeTable::inlineLength(r);
    std::memcpy(w, b, 8);
    w += ilen;
    const Kind kind = CodeTable::kind(r);
    if (kind != Kind::Plain) certain = certain && !table.uncertain(text[i]);
    if (kind == Kind::Letter97) {
      letters += ilen;  // ß counts as the two s it sorts as
    } else if (kind == Kind::Accented) {
      if (nibbles_ == 0) addNibble(0);
      for (; letters; --letters) addNibble(kNoExtra);
      addNibble(b[ilen]);
    }
  }
  out.resize(static_cast<size_t>(w - out.data()));
  if (nibbles_) {
    addNibble(0);
    out.insert(out.end(), extra_.begin(), extra_.end());
  } else {
    out.push_back(kEndKey);
  }
  if (!ascending) invert(out, start);
  return certain;
}

}  // namespace jet::collation

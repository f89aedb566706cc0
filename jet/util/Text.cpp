#include "jet/util/Text.h"

#include <cctype>

namespace jet {

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

uint32_t cp1252(uint8_t b) {
  if (b >= 0x80 && b < 0xA0) {
    const uint16_t u = kCp1252High[b - 0x80];
    return u ? u : b;  // unassigned bytes map to the C1 control of the same value
  }
  return b;
}

// Appends UCS-2LE code units [p, p+n) (n even), pairing surrogates.
void appendUnits(const uint8_t* p, size_t n, std::string& out) {
  for (size_t i = 0; i + 1 < n; i += 2) {
    uint32_t u = le16(p + i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
      const uint32_t lo = le16(p + i + 2);
      if (lo >= 0xDC00 && lo < 0xE000) {
        appendUtf8(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00), out);
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
    appendUtf8(u, out);
  }
}

// Decodes one UTF-8 sequence at s[i]; returns false when malformed.
bool nextCodePoint(const std::string& s, size_t& i, uint32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = b(i);
  size_t len;
  if (c < 0x80) {
    cp = c;
    len = 1;
  } else if ((c & 0xE0) == 0xC0) {
    cp = c & 0x1F;
    len = 2;
  } else if ((c & 0xF0) == 0xE0) {
    cp = c & 0x0F;
    len = 3;
  } else if ((c & 0xF8) == 0xF0) {
    cp = c & 0x07;
    len = 4;
  } else {
    return false;
  }
  if (i + len > s.size()) return false;
  for (size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  i += len;
  return true;
}

}  // namespace

namespace {

void appendCodePage(ByteView bytes, std::string& out) {
  for (uint8_t b : bytes) {
    if (b < 0x80)
      out.push_back(static_cast<char>(b));
    else
      appendUtf8(cp1252(b), out);
  }
}

void appendJet4Text(ByteView bytes, std::string& out) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
    appendUnits(p, n & ~size_t{1}, out);
    return;
  }
  // Compressed: segments separated by 0x00 bytes alternate between one byte
  // per character (below U+0100) and UCS-2LE, starting with one byte.
  size_t start = 2;
  bool compressed = true;
  while (start <= n) {
    size_t end = start;
    while (end < n && p[end] != 0) ++end;
    if (compressed) {
      for (size_t i = start; i < end; ++i) appendUtf8(p[i], out);
    } else {
      appendUnits(p + start, (end - start) & ~size_t{1}, out);
    }
    compressed = !compressed;
    start = end + 1;
  }
}

}  // namespace

void appendText(Version v, ByteView stored, std::string& out) {
  if (v == Version::Jet3)
    appendCodePage(stored, out);
  else
    appendJet4Text(stored, out);
}

std::string textOf(Version v, ByteView stored) {
  std::string s;
  appendText(v, stored, s);
  return s;
}

std::string nameOf(Version v, ByteView stored) {
  std::string s;
  if (v == Version::Jet3)
    appendCodePage(stored, s);
  else
    appendUnits(stored.data(), stored.size() & ~size_t{1}, s);
  return s;
}

bool utf8ToCodePage(const std::string& utf8, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    if (!nextCodePoint(utf8, i, cp)) return false;
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    bool found = false;
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == cp || (kCp1252High[k] == 0 && cp == 0x80u + k)) {
        out.push_back(static_cast<char>(0x80 + k));
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool utf8ToUcs2(const std::string& utf8, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    if (!nextCodePoint(utf8, i, cp) || cp > 0xFFFF) return false;
    out.push_back(static_cast<char>(cp & 0xFF));
    out.push_back(static_cast<char>(cp >> 8));
  }
  return true;
}

std::string foldName(std::string name) {
  for (char& ch : name)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return name;
}

std::string storedText(Version v, const std::string& utf8) {
  std::string out;
  if (v == Version::Jet4 ? !utf8ToUcs2(utf8, out) : !utf8ToCodePage(utf8, out)) out.clear();
  return out;
}

}  // namespace jet

#include "jet/format/Password.h"

#include <cctype>

#include "jet/util/Text.h"

namespace jet {
namespace {

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::optional<std::string> passwordFromConnect(const std::string& connect) {
  // ";pwd=secret;other=x": the value runs to the next ';'. The last pwd wins.
  std::optional<std::string> result;
  size_t pos = 0;
  while (pos <= connect.size()) {
    size_t end = connect.find(';', pos);
    if (end == std::string::npos) end = connect.size();
    const std::string part = connect.substr(pos, end - pos);
    const size_t eq = part.find('=');
    if (eq != std::string::npos && lower(trim(part.substr(0, eq))) == "pwd")
      result = part.substr(eq + 1);
    pos = end + 1;
  }
  return result;
}

std::string storedPassword(const Header& header) {
  const std::vector<uint8_t>& p = header.password;
  if (header.version == Version::Jet3) {
    size_t n = 0;
    while (n < p.size() && p[n] != 0) ++n;
    return nameOf(Version::Jet3, ByteView(p.data(), n));
  }
  size_t n = 0;
  while (n + 1 < p.size() && (p[n] != 0 || p[n + 1] != 0)) n += 2;
  return nameOf(Version::Jet4, ByteView(p.data(), n));
}

bool passwordMatches(const Header& header, const std::string& candidate) {
  if (!header.hasPassword()) return true;
  // Compare the encoded forms: the stored field, cut at its terminator, must
  // equal the candidate encoded the way Jet stores it.
  std::string encoded;
  const bool ok = header.version == Version::Jet3 ? utf8ToCodePage(candidate, encoded)
                                                  : utf8ToUcs2(candidate, encoded);
  if (!ok || encoded.empty()) return false;
  // The stored field up to its terminator (a NUL byte in Jet 3, U+0000 in Jet 4).
  const std::vector<uint8_t>& p = header.password;
  const size_t unit = header.version == Version::Jet3 ? 1 : 2;
  size_t n = 0;
  while (n + unit <= p.size() && (p[n] != 0 || (unit == 2 && p[n + 1] != 0))) n += unit;
  if (n != encoded.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (p[i] != static_cast<uint8_t>(encoded[i])) return false;
  return true;
}

}  // namespace jet

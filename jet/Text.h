#pragma once

// Text as Jet stores it, converted to UTF-8: code page bytes (Jet 3), UCS-2LE
// and its "compressed" form (Jet 4).

#include <cstdint>
#include <string>

#include "jet/Bytes.h"

namespace jet {

// Windows-1252 bytes to UTF-8 (the code page of every sample).
void appendCodePage(ByteView bytes, std::string& out);
// UCS-2LE to UTF-8; an odd last byte is dropped, unpaired surrogates become U+FFFD.
void appendUcs2(ByteView bytes, std::string& out);
// A Jet 4 text value: compressed when it starts with FF FE, else UCS-2LE.
void appendJet4Text(ByteView bytes, std::string& out);

// Object and column names compare as Jet compares them: ASCII case ignored.
bool sameName(const std::string& a, const std::string& b);

std::string codePageToUtf8(ByteView bytes);
std::string ucs2ToUtf8(ByteView bytes);

// UTF-8 to Windows-1252 (false when a character has no byte there).
bool utf8ToCodePage(const std::string& utf8, std::string& out);
// UTF-8 to UCS-2LE bytes (false on malformed UTF-8 or characters beyond U+FFFF).
bool utf8ToUcs2(const std::string& utf8, std::string& out);

}  // namespace jet

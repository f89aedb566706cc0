#pragma once

// Text as Jet stores it, to and from UTF-8, by one rule per format. Jet 3
// holds code-page bytes (Windows-1252, the code page of every file seen);
// Jet 4 holds UCS-2LE, and column values may use its "compressed" form
// (FF FE, then runs of one byte per character). Surrogate pairs become one
// character, unpaired surrogates U+FFFD.

#include <cstdint>
#include <string>

#include "jet/Version.h"
#include "jet/util/Bytes.h"

namespace jet {

// A text or memo value as stored in a row.
void appendText(Version v, ByteView stored, std::string& out);
std::string textOf(Version v, ByteView stored);
// A name in a table definition or the header (never compressed).
std::string nameOf(Version v, ByteView stored);

// Object and column names compare as Jet compares them: ASCII case ignored.
bool sameName(const std::string& a, const std::string& b);
// A name as sameName compares it: ASCII letters in lower case.
std::string foldName(std::string name);

// UTF-8 to Windows-1252 (false when a character has no byte there).
bool utf8ToCodePage(const std::string& utf8, std::string& out);
// UTF-8 to UCS-2LE bytes (false on malformed UTF-8 or characters beyond U+FFFF).
bool utf8ToUcs2(const std::string& utf8, std::string& out);
// Text as Jet stores it: the code page in Jet 3, UCS-2LE in Jet 4; "" when a
// character has no place there.
std::string storedText(Version v, const std::string& utf8);

}  // namespace jet

#pragma once

// The database password: taken from a DAO connect string, checked against
// the header. It guards opening only; page encoding uses the db key.

#include <optional>
#include <string>

#include "jet/format/Header.h"

namespace jet {

// The value of the "pwd" key of a connect string such as ";pwd=secret"
// (keys case-insensitive); nullopt when there is none.
std::optional<std::string> passwordFromConnect(const std::string& connect);

// The password stored in the header as UTF-8 ("" when none).
std::string storedPassword(const Header& header);

// True when `candidate` (UTF-8) opens the database. A database without a
// password opens with any candidate. Case-sensitive, as Jet compares.
bool passwordMatches(const Header& header, const std::string& candidate);

}  // namespace jet

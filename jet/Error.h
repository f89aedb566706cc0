#pragma once

#include <stdexcept>
#include <string>

namespace jet {

// An engine failure, numbered as DAO numbers them where one fits.
class Error : public std::runtime_error {
 public:
  Error(int number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  int number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

}  // namespace jet

#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// A run-time error in the program's own arithmetic or calls, numbered the way
// the program reports errors to the user (6 = overflow).
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const QString& description)
      : std::runtime_error(description.toStdString()), number_(number), description_(description) {}
  int number() const { return number_; }
  const QString& description() const { return description_; }

 private:
  int number_;
  QString description_;
};

// The last resort for an error no handler expects: a modal box with the
// error's number and description, then the end of the program.
void ReportFatal(int number, const QString& description);

}  // namespace platform

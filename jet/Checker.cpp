#include "jet/Checker.h"

#include "jet/Database.h"

namespace jet {

void checkDatabase(const Database& db, CheckReport& report) {
  if (db.header().dirty())
    report.findings.push_back({Severity::Warning, "", 0,
                               "The database was not closed cleanly (a commit slot in the "
                               "header is still set). Compact it to reset the slots."});
}

}  // namespace jet

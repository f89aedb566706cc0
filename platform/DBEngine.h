#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "jet/Engine.h"

namespace platform {

// The database engine as the program calls it. Errors are thrown as jet::Error
// (number and description).
class DBEngine {
 public:
  // Writes a compacted copy of SrcName at DstName, which must not exist.
  // DstConnect and Options, when given, must be empty / 0: the engine keeps the
  // source's locale, password and version. SrcConnect is the DAO connect
  // string of the source (";pwd=...").
  void CompactDatabase(const QString& SrcName, const QString& DstName,
                       const std::optional<QString>& DstConnect = std::nullopt,
                       const std::optional<int>& Options = std::nullopt,
                       const std::optional<QString>& SrcConnect = std::nullopt);

  // Called now and then with the fraction done; returning false cancels.
  void setProgress(jet::Progress progress) { progress_ = std::move(progress); }

 private:
  jet::Progress progress_;
};

// Stands in for the engine's compaction in tests (an empty hook restores it).
// It may be called on any thread.
using CompactHook =
    std::function<void(const std::string& src, const std::string& dst,
                       const std::string& srcConnect, const jet::Progress& progress)>;
void setCompactHook(CompactHook hook);

}  // namespace platform

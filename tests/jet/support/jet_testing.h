#pragma once

// Helpers for the engine's tests: where fixtures and jetdb live, running a
// command, scratch folders, byte-level file surgery, and parsers for the
// outputs compared (mdb-export CSV, jetdb JSON lines).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "jet/db/Database.h"

namespace jettest {

// Opens a database through the real file system, with the password a DAO
// connect string gives (";pwd=..."); by default the one the file has.
std::unique_ptr<jet::Database> open(const std::string& path);
std::unique_ptr<jet::Database> open(const std::string& path, const std::string& connect);
// The number of the jet::Error that f throws, 0 when it throws none.
int errorOf(const std::function<void()>& f);

std::string fixture(const std::string& name);  // tests/data/jet/<name>
std::string demoDatabase();                    // demo/Ledgerwick.mdb
constexpr const char* kDemoPassword = "m0ssb4nk7q";
// The password stored in a database's header, "" when it has none.
std::string passwordOf(const std::string& path);
std::string connectOf(const std::string& path);  // ";pwd=..." or ""
// The real files in ../shared/fixtures (peer-written/ included), sorted;
// empty when the folder is not there.
std::vector<std::string> sharedFixtures();
std::string jetdbPath();
bool haveProgram(const std::string& name);  // on PATH

struct CommandResult {
  int exitCode = -1;
  std::string out, err;
};
// Runs argv (no shell interpretation of the words) and captures both streams.
CommandResult run(const std::vector<std::string>& argv);

// A scratch folder removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;  // names, sorted

 private:
  std::string path_;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// A file's bytes with its pages as the engine sees them (decoded when the
// database is encoded), for damaging a copy on purpose.
struct Surgery {
  explicit Surgery(const std::string& path);
  uint32_t pageSize = 0, dbKey = 0;
  std::vector<uint8_t> bytes;  // as stored
  uint32_t pages() const { return static_cast<uint32_t>(bytes.size() / pageSize); }
  std::vector<uint8_t> page(uint32_t pg) const;                 // decoded
  void setPage(uint32_t pg, const std::vector<uint8_t>& page);  // given decoded
  void save(const std::string& path) const;
};

// RFC-4180 style CSV (quotes doubled, fields may span lines).
std::vector<std::vector<std::string>> parseCsv(const std::string& text);

// A JSON value, enough for jetdb's output.
struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // String; Number keeps its literal here too
  std::vector<Json> items;
  // Object members in document order: keys[i] names values[i].
  std::vector<std::string> keys;
  std::vector<Json> values;

  const Json& operator[](const std::string& key) const;  // Null when absent
  bool has(const std::string& key) const;
};
// Throws std::runtime_error on malformed input.
Json parseJson(const std::string& text);

}  // namespace jettest

#pragma once

// Helpers for the engine's tests: where fixtures and jetdb live, running a
// command, scratch folders, byte-level file surgery, and parsers for the
// outputs compared (mdb-export CSV, jetdb JSON lines).

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace jettest {

std::string fixture(const std::string& name);  // tests/data/jet/<name>
std::string demoDatabase();                    // demo/Ledgerwick.mdb
constexpr const char* kDemoPassword = "m0ssb4nk7q";
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

 private:
  std::string path_;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

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

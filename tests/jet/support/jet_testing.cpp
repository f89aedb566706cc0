#include "jet/support/jet_testing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "jet/Engine.h"
#include "jet/format/Header.h"
#include "jet/util/Bytes.h"

extern char** environ;

namespace jettest {

std::string fixture(const std::string& name) {
  return std::string(LW_TEST_DATA_DIR) + "/jet/" + name;
}
std::string demoDatabase() { return std::string(LW_SOURCE_DIR) + "/demo/Ledgerwick.mdb"; }

std::string passwordOf(const std::string& path) {
  // The one in its header: tests know their files' passwords (ASCII) anyway.
  std::vector<uint8_t> head = readFile(path);
  head.resize(std::min<size_t>(head.size(), 4096));
  const jet::Header h = jet::parseHeader(jet::ByteView(head), path);
  std::string password;
  const size_t step = h.version == jet::Version::Jet3 ? 1 : 2;
  for (size_t i = 0; i < h.password.size() && h.password[i] != 0; i += step)
    password.push_back(static_cast<char>(h.password[i]));
  return password;
}

std::string connectOf(const std::string& path) {
  const std::string p = passwordOf(path);
  return p.empty() ? "" : ";pwd=" + p;
}

std::unique_ptr<jet::Database> open(const std::string& path) { return open(path, connectOf(path)); }

std::unique_ptr<jet::Database> open(const std::string& path, const std::string& connect) {
  return jet::Database::open(jet::defaultFileSystem(), path, jet::Credentials(connect).password);
}

int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

std::vector<std::string> sharedFixtures() {
  std::vector<std::string> files;
  const std::filesystem::path dir =
      std::filesystem::path(LW_SOURCE_DIR) / ".." / "shared" / "fixtures";
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
    if (e.path().extension() == ".mdb") files.push_back(e.path().lexically_normal().string());
  std::sort(files.begin(), files.end());
  return files;
}
std::string jetdbPath() { return std::string(LW_BINARY_DIR) + "/jet/cli/jetdb"; }

bool haveProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    const std::string candidate = p.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

CommandResult run(const std::vector<std::string>& argv) {
  TempDir tmp;
  const std::string outPath = tmp.file("out"), errPath = tmp.file("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  CommandResult r;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    r.err = "cannot start " + argv[0];
    return r;
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = slurp(outPath);
  r.err = slurp(errPath);
  return r;
}

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "jettest-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(path_))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

Surgery::Surgery(const std::string& path) : bytes(readFile(path)) {
  const jet::Header h =
      jet::parseHeader(jet::ByteView(bytes.data(), std::min<size_t>(bytes.size(), 4096)), path);
  pageSize = h.pageSize;
  dbKey = h.dbKey;
}

std::vector<uint8_t> Surgery::page(uint32_t pg) const {
  std::vector<uint8_t> p(bytes.begin() + size_t{pg} * pageSize,
                         bytes.begin() + size_t{pg + 1} * pageSize);
  jet::codePage(dbKey, pg, p.data(), p.size());
  return p;
}

void Surgery::setPage(uint32_t pg, const std::vector<uint8_t>& page) {
  std::vector<uint8_t> p = page;
  jet::codePage(dbKey, pg, p.data(), p.size());
  if (bytes.size() < size_t{pg + 1} * pageSize) bytes.resize(size_t{pg + 1} * pageSize);
  std::copy(p.begin(), p.end(), bytes.begin() + size_t{pg} * pageSize);
}

void Surgery::save(const std::string& path) const { writeFile(path, bytes); }

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field.push_back('"');
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field.push_back(c);
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n') {
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      any = false;
    } else if (c != '\r') {
      field.push_back(c);
      any = true;
    }
  }
  if (any || !row.empty()) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

namespace {

class JsonParser {
 public:
  explicit JsonParser(const std::string& s) : s_(s) {}
  Json parse() {
    Json v = value();
    ws();
    if (i_ != s_.size()) fail("trailing characters");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("JSON: " + what + " at " + std::to_string(i_));
  }
  void ws() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r'))
      ++i_;
  }
  bool take(const char* lit) {
    const size_t n = std::char_traits<char>::length(lit);
    if (s_.compare(i_, n, lit) != 0) return false;
    i_ += n;
    return true;
  }
  static void utf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  std::string str() {
    if (s_[i_] != '"') fail("string expected");
    ++i_;
    std::string out;
    while (true) {
      if (i_ >= s_.size()) fail("unterminated string");
      const char c = s_[i_++];
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) fail("bad escape");
      const char e = s_[i_++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'u': {
          if (i_ + 4 > s_.size()) fail("bad \\u");
          utf8(static_cast<uint32_t>(std::stoul(s_.substr(i_, 4), nullptr, 16)), out);
          i_ += 4;
          break;
        }
        default:
          out.push_back(e);
      }
    }
  }
  Json value() {
    ws();
    if (i_ >= s_.size()) fail("value expected");
    Json v;
    const char c = s_[i_];
    if (c == '{') {
      v.type = Json::Type::Object;
      ++i_;
      ws();
      if (i_ < s_.size() && s_[i_] == '}') {
        ++i_;
        return v;
      }
      while (true) {
        ws();
        std::string key = str();
        ws();
        if (i_ >= s_.size() || s_[i_++] != ':') fail("':' expected");
        v.keys.push_back(std::move(key));
        v.values.push_back(value());
        ws();
        if (i_ < s_.size() && s_[i_] == ',') {
          ++i_;
          continue;
        }
        if (i_ < s_.size() && s_[i_] == '}') {
          ++i_;
          return v;
        }
        fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      v.type = Json::Type::Array;
      ++i_;
      ws();
      if (i_ < s_.size() && s_[i_] == ']') {
        ++i_;
        return v;
      }
      while (true) {
        v.items.push_back(value());
        ws();
        if (i_ < s_.size() && s_[i_] == ',') {
          ++i_;
          continue;
        }
        if (i_ < s_.size() && s_[i_] == ']') {
          ++i_;
          return v;
        }
        fail("',' or ']' expected");
      }
    }
    if (c == '"') {
      v.type = Json::Type::String;
      v.text = str();
      return v;
    }
    if (take("null")) return v;
    if (take("true")) {
      v.type = Json::Type::Bool;
      v.boolean = true;
      return v;
    }
    if (take("false")) {
      v.type = Json::Type::Bool;
      return v;
    }
    const size_t start = i_;
    while (i_ < s_.size() && std::string("+-0123456789.eE").find(s_[i_]) != std::string::npos) ++i_;
    if (start == i_) fail("value expected");
    v.type = Json::Type::Number;
    v.text = s_.substr(start, i_ - start);
    v.number = std::stod(v.text);
    return v;
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  static const Json kNull;
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return values[i];
  return kNull;
}

bool Json::has(const std::string& key) const {
  for (const std::string& k : keys)
    if (k == key) return true;
  return false;
}

Json parseJson(const std::string& text) { return JsonParser(text).parse(); }

}  // namespace jettest

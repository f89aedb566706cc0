// jetdb against an independent reader: for every fixture, the user tables,
// their row counts and every value of every row must equal what mdbtools'
// mdb-export prints. Formats differ, so values are normalised here, once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "jet/support/jet_testing.h"

using jettest::Json;

namespace {

struct Case {
  const char* file;
  const char* password;  // "" for none
};

const Case kCases[] = {
    {"jackcess-V1997-testV1997.mdb", ""},
    {"pw-V1997-testV1997.mdb", "m0ssb4nk7q"},
    {"jackcess-V1997-overflowTestV1997.mdb", ""},
    {"jackcess-V1997-compIndexTestV1997.mdb", ""},
    {"jackcess-V1997-delTestV1997.mdb", ""},
    {"jackcess-V2000-overflowTestV2000.mdb", ""},
    {"jackcess-V2000-delColTestV2000.mdb", ""},
    {"jackcess-V2000-delTestV2000.mdb", ""},
    {"jackcess-V2000-fixedNumericTestV2000.mdb", ""},
    {"mdbreader-V2000_with-password.mdb", "password"},
    {"", ""},  // the demo database
};

const char kNullMark[] = "\x01";

std::string pathOf(const Case& c) {
  return c.file[0] ? jettest::fixture(c.file) : jettest::demoDatabase();
}
std::string passwordOf(const Case& c) { return c.file[0] ? c.password : jettest::kDemoPassword; }

std::string lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
  return out;
}

bool isHex(const std::string& s) {
  return s.size() % 2 == 0 && s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Windows-1252's five unassigned bytes come out of mdbtools as '?'; we keep
// them as the C1 control characters of the same value (U+0081 ...).
std::string c1AsQuestionMark(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(s[i + 1]) < 0xA0) {
      out.push_back('?');
      ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// True when mdb-export's cell and our JSON value mean the same thing.
bool sameValue(const std::string& cell, const Json& ours) {
  const bool theirNull = cell == kNullMark;
  if (ours.type == Json::Type::Null) return theirNull;
  if (theirNull) return false;
  switch (ours.type) {
    case Json::Type::Bool:
      return cell == (ours.boolean ? "1" : "0");
    case Json::Type::Number: {
      char* end = nullptr;
      const double theirs = std::strtod(cell.c_str(), &end);
      if (end == cell.c_str() || *end != '\0') return false;
      // mdbtools prints singles with float precision and doubles with 15 digits.
      return theirs == ours.number ||
             std::fabs(theirs - ours.number) <= 1e-6 * std::max(std::fabs(theirs), 1.0);
    }
    case Json::Type::String: {
      const std::string& s = ours.text;
      if (cell == s || c1AsQuestionMark(s) == cell) return true;
      if (isHex(cell) && lower(cell) == lower(s)) return true;  // binary, OLE
      // Jet 3 GUIDs: mdbtools hex-encodes the text form.
      if (isHex(cell) && !s.empty() && s[0] == '{' && unhex(cell) == s) return true;
      // mdbtools cannot show dates before 1900 (it prints day 0 of 1900).
      if (cell.rfind("1900-01-00", 0) == 0 && s < "1900") return true;
      return false;
    }
    default:
      return false;
  }
}

std::string rowKey(const std::vector<std::string>& cells) {
  std::string k;
  for (const std::string& c : cells) k += c + '\x1f';
  return k;
}

class MdbtoolsAgreement : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    if (!jettest::haveProgram("mdb-export") || !jettest::haveProgram("mdb-tables"))
      GTEST_SKIP() << "mdbtools is not installed (scripts/install-deps.sh installs it)";
  }
  std::vector<std::string> jetdb(std::vector<std::string> args) const {
    std::vector<std::string> argv{jettest::jetdbPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    if (passwordOf(GetParam())[0] != '\0') {
      argv.push_back("--password");
      argv.push_back(passwordOf(GetParam()));
    }
    return argv;
  }
};

TEST_P(MdbtoolsAgreement, TablesRowCountsAndValuesMatchMdbExport) {
  const std::string path = pathOf(GetParam());

  const jettest::CommandResult tables = jettest::run({"mdb-tables", "-1", path});
  ASSERT_EQ(tables.exitCode, 0) << tables.err;
  std::set<std::string> theirTables;
  for (const auto& row : jettest::parseCsv(tables.out))
    if (!row.empty() && !row[0].empty()) theirTables.insert(row[0]);

  const jettest::CommandResult info = jettest::run(jetdb({"info", path, "--json"}));
  ASSERT_EQ(info.exitCode, 0) << info.err;
  const Json infoJson = jettest::parseJson(info.out);
  std::set<std::string> ourTables;
  std::map<std::string, double> ourCounts;
  for (const Json& t : infoJson["tables"].items) {
    if (t["system"].boolean) continue;
    ourTables.insert(t["name"].text);
    ourCounts[t["name"].text] = t["rows"].number;
  }
  EXPECT_EQ(ourTables, theirTables);

  const jettest::CommandResult dump = jettest::run(jetdb({"dump", path}));
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  std::map<std::string, std::vector<Json>> ourRows;
  size_t start = 0;
  while (start < dump.out.size()) {
    const size_t end = dump.out.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "dump output does not end with a newline";
    Json line = jettest::parseJson(dump.out.substr(start, end - start));
    ourRows[line["table"].text].push_back(line["row"]);
    start = end + 1;
  }

  for (const std::string& table : theirTables) {
    SCOPED_TRACE("table " + table);
    const jettest::CommandResult exp = jettest::run(
        {"mdb-export", "-b", "hex", "-0", kNullMark, "-T", "%Y-%m-%d %H:%M:%S", path, table});
    ASSERT_EQ(exp.exitCode, 0) << exp.err;
    std::vector<std::vector<std::string>> theirs = jettest::parseCsv(exp.out);
    ASSERT_FALSE(theirs.empty());
    const std::vector<std::string> header = theirs.front();
    theirs.erase(theirs.begin());
    std::vector<Json>& ours = ourRows[table];
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(ourCounts[table], static_cast<double>(theirs.size()));
    if (ours.empty()) continue;

    ASSERT_EQ(ours.front().keys, header);

    // Row order may differ (mdbtools lists overflow rows where their bytes
    // live); pair rows by matching every cell, greedily.
    std::vector<bool> used(ours.size(), false);
    std::sort(theirs.begin(), theirs.end(),
              [](const auto& a, const auto& b) { return rowKey(a) < rowKey(b); });
    for (const auto& cells : theirs) {
      ASSERT_EQ(cells.size(), header.size());
      bool matched = false;
      for (size_t k = 0; k < ours.size() && !matched; ++k) {
        if (used[k]) continue;
        bool all = true;
        for (size_t c = 0; c < header.size() && all; ++c)
          all = sameValue(cells[c], ours[k].values[c]);
        if (all) used[k] = matched = true;
      }
      EXPECT_TRUE(matched) << "no row of ours matches mdb-export's row " << rowKey(cells);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MdbtoolsAgreement, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string n = info.param.file[0] ? info.param.file : "demo";
                           std::string out;
                           for (char c : n)
                             if (std::isalnum(static_cast<unsigned char>(c))) out.push_back(c);
                           return out;
                         });

}  // namespace

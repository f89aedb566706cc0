// jetdb's help as a man page (roff, man macros).
#include <algorithm>
#include <cctype>
#include <sstream>

#include "jet/cli/Help.h"

namespace jetdb::help {
namespace {

// Text for roff: a backslash printed as one, a '-' in an option ("--json")
// as a minus sign so that it can be copied, and no line taken for a request.
std::string escaped(const std::string& s, bool allMinus = false) {
  std::string out;
  bool option = false;  // in a word that began with '-'
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ' ' || c == '(') option = false;
    if (c == '-' && (i == 0 || s[i - 1] == ' ' || s[i - 1] == '(')) option = true;
    if (c == '\\')
      out += "\\e";
    else if (c == '-' && (option || allMinus))
      out += "\\-";
    else
      out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string text(const char* t) {
  std::string out;
  bool verbatim = false;
  std::istringstream lines(t);
  for (std::string line; std::getline(lines, line);) {
    const bool shownAsIs = line.rfind("  ", 0) == 0;
    if (shownAsIs != verbatim) out += shownAsIs ? ".RS 2\n.nf\n" : ".fi\n.RE\n";
    verbatim = shownAsIs;
    if (line.empty())
      out += ".PP\n";
    else
      out += escaped(shownAsIs ? line.substr(2) : line) + "\n";
  }
  return out + (verbatim ? ".fi\n.RE\n" : "");
}

// "--password-file FILE", "jetdb COMMAND --help": the first word and the
// literal ones bold, the placeholders (capitals only) italic.
std::string term(const std::string& name) {
  std::istringstream words(name);
  std::string out;
  bool first = true;
  for (std::string w; words >> w; first = false) {
    const bool placeholder = !first && std::none_of(w.begin(), w.end(), [](char c) {
      return std::islower(c) || c == '-';
    });
    out +=
        std::string(first ? "" : " ") + (placeholder ? "\\fI" : "\\fB") + escaped(w, true) + "\\fR";
  }
  return out;
}

std::string items(const std::vector<Item>& list) {
  std::string out;
  for (const Item& i : list) out += ".TP\n" + term(i.name) + "\n" + escaped(i.text) + "\n";
  return out;
}

std::string synopsis(const Command& c) {
  return "\\fBjetdb " + std::string(c.name) + "\\fR \\fI" + escaped(c.operands) +
         "\\fR [\\fIPASSWORD\\fR] " + escaped(c.flags, true);
}

}  // namespace

std::string manPage(const std::string& version) {
  std::string name = kSummary;  // "Reads, checks ..." as "reads, checks ..."
  name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
  if (name.back() == '.') name.pop_back();
  std::string out = ".TH JETDB 1 \"\" \"jetdb " + version + "\" \"User Commands\"\n";
  out += ".SH NAME\njetdb \\- " + escaped(name) + "\n.SH SYNOPSIS\n.nf\n";
  for (const Command& c : commands()) out += synopsis(c) + "\n";
  for (const Item& i : otherUses()) out += term(i.name) + "\n";
  out += ".fi\n.SH DESCRIPTION\n" + text(kSummary) + items(otherUses());
  out += ".SH COMMANDS\n";
  for (const Command& c : commands()) {
    out += ".SS \"" + synopsis(c) + "\"\n" + text(c.text);
    if (!c.options.empty()) out += items(c.options);
  }
  out += ".SH PASSWORD\n" + text(kPasswordText) + items(passwordOptions());
  out += ".SH ENVIRONMENT\n" + items({passwordVariable()});
  return out + ".SH \"EXIT STATUS\"\n" + items(exitStatus());
}

}  // namespace jetdb::help

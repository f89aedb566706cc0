// jetdb's help as a terminal shows it.
#include <algorithm>
#include <sstream>

#include "jet/cli/Help.h"

namespace jetdb::help {
namespace {

constexpr size_t kWidth = 79;
constexpr size_t kSummaryColumn = 40;  // of the summaries in the list of commands

// prose as words, the first line going on from column `column`, later lines
// indented by `indent`; ends with a newline.
std::string wrapped(const std::string& prose, size_t indent, size_t column) {
  std::string out;
  bool lineEmpty = true;
  std::istringstream words(prose);
  for (std::string w; words >> w;) {
    if (!lineEmpty && column + 1 + w.size() > kWidth) {
      out += '\n';
      out.append(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += w;
    column += w.size();
    lineEmpty = false;
  }
  return out + "\n";
}

std::string text(const char* t, size_t indent) {
  std::string out;
  std::istringstream lines(t);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty())
      out += "\n";
    else if (line.rfind("  ", 0) == 0)
      out += std::string(indent, ' ') + line + "\n";
    else
      out += std::string(indent, ' ') + wrapped(line, indent, indent);
  }
  return out;
}

std::string items(const std::vector<Item>& list) {
  size_t width = 0;
  for (const Item& i : list) width = std::max(width, std::string(i.name).size());
  std::string out;
  for (const Item& i : list) {
    std::string name = i.name;
    out += "  " + name + std::string(width - name.size() + 2, ' ') +
           wrapped(i.text, width + 4, width + 4);
  }
  return out;
}

std::string passwordBlock() {
  std::vector<Item> all = passwordOptions();
  all.push_back(passwordVariable());
  std::string out = "PASSWORD:\n";
  out += text(kPasswordText, 2);
  out += items(all);
  return out;
}

std::string padded(std::string s, size_t width) {
  if (s.size() < width) s.resize(width, ' ');
  return s;
}

// "  info    FILE     [PASSWORD] [--json]    summary", the summary on a line
// of its own when the rest is too long.
std::string commandLine(const Command& c) {
  std::string out =
      padded(padded("  " + std::string(c.name), 10) + c.operands, 19) + "[PASSWORD] " + c.flags;
  if (out.size() + 2 > kSummaryColumn)
    out.append("\n").append(kSummaryColumn, ' ');
  else
    out = padded(out, kSummaryColumn);
  return out + c.summary + "\n";
}

}  // namespace

// Built by appending: GCC 12 at -O3 takes "literal" + std::string for an
// overlapping copy (-Wrestrict).
std::string usage() {
  std::string out = "usage: jetdb COMMAND [options]\n\n";
  out += text(kSummary, 0);
  out += "\ncommands:\n";
  for (const Command& c : commands()) out += commandLine(c);
  out += '\n';
  out += passwordBlock();
  out += '\n';
  out += items(otherUses());
  out += "\nexit status:\n";
  out += items(exitStatus());
  return out;
}

std::string usage(const Command& c) {
  std::string out = "usage: jetdb ";
  out.append(c.name).append(" ").append(c.operands).append(" [PASSWORD] ").append(c.flags);
  out += "\n\n";
  out += text(c.text, 0);
  out += "\noptions:\n";
  out += items(c.options);
  out += '\n';
  out += passwordBlock();
  return out;
}

}  // namespace jetdb::help

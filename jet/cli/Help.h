#pragma once

// jetdb's help, written once: `jetdb --help`, `jetdb COMMAND --help` and the
// man page (made by jetdb_man at build time) are all printed from these texts.
//
// A text is lines of prose separated by "\n" (each wrapped to the width where
// it is shown), blank lines between paragraphs, and lines that start with two
// blanks, which are shown as they are.

#include <string>
#include <vector>

namespace jetdb::help {

struct Item {
  const char* name;  // "--json", "--password-file FILE", "JETDB_PASSWORD", "2"
  const char* text;
};

struct Command {
  const char* name;      // "info"
  const char* operands;  // "FILE"
  const char* flags;     // its own options besides the password: "[--json]"
  const char* summary;   // one line in the list of commands
  const char* text;
  std::vector<Item> options;
};

extern const char* const kSummary;  // what jetdb is, one sentence
const std::vector<Command>& commands();
const Command* find(const std::string& name);  // nullptr when there is none

extern const char* const kPasswordText;  // the ways to give the password and which wins
const std::vector<Item>& passwordOptions();
const Item& passwordVariable();  // JETDB_PASSWORD
const std::vector<Item>& exitStatus();
const std::vector<Item>& otherUses();  // "jetdb COMMAND --help", "jetdb --version"

// For a terminal: wrapped to 79 columns.
std::string usage();                  // jetdb --help
std::string usage(const Command& c);  // jetdb COMMAND --help

// The man page, in roff.
std::string manPage(const std::string& version);

}  // namespace jetdb::help

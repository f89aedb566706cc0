// The texts of jetdb's help and man page.
#include "jet/cli/Help.h"

namespace jetdb::help {

const char* const kSummary = "Reads, checks and compacts Jet 3 / Jet 4 (.mdb) databases.";

const std::vector<Command>& commands() {
  static const std::vector<Command> all = {
      {"info",
       "FILE",
       "[--json]",
       "format, pages, tables and row counts",
       "Shows the database's format (Jet 3 or Jet 4), page size, page count, free pages, code "
       "page, sort order, creation date, whether it has a password or is encoded, whether "
       "another program has it open, and every table with the number of live rows it holds.",
       {{"--json", "one JSON object on standard output"}}},
      {"check",
       "FILE",
       "[--json] [--deep]",
       "integrity check (exit 1 on problems)",
       "Checks the database's structures (header, table definitions, usage maps, data pages, "
       "rows, memo/OLE chains, indexes) and lists every problem found with its severity, table "
       "and page. Exit status 0 when clean (information only), 1 when a warning or error was "
       "found, 3 when the file cannot be opened.",
       {{"--json", "one JSON object on standard output"},
        {"--deep",
         "also make every index's keys from its rows and compare them with the stored entries, "
         "byte for byte and in order; an index whose sort order has no key tables here is "
         "named and passed over. With --json the object adds \"indexEntriesChecked\""}}},
      {"dump",
       "FILE",
       "[--table NAME] [--system]",
       "rows as JSON lines, one row per line",
       "Prints every live row of every user table as JSON lines:\n"
       "  {\"table\":\"NAME\",\"row\":{\"COLUMN\":VALUE,...}}\n"
       "Columns come in their defined order. Text and memo are strings, numbers are numbers "
       "(currency with four decimals), dates \"YYYY-MM-DD hh:mm:ss\", yes/no true/false, GUIDs "
       "\"{...}\", binary and OLE data lowercase hex strings.",
       {{"--table NAME", "only this table (names are case-insensitive)"},
        {"--system",
         "include the system tables (MSys*, and the f_<id>_<column> tables of multi-value "
         "columns)"}}},
      {"compact",
       "SRC DST",
       "[--json] [--progress] [--salvage [--template FILE]] [--keep-ids]",
       "write a compacted copy of SRC to DST",
       "Writes a compacted copy of SRC to DST: free pages dropped, deleted rows squeezed out, "
       "the same tables, rows and indexes. SRC is never changed; DST must not exist, and nothing "
       "is left at DST when compaction fails. A database that another program has open is "
       "refused (error 3045). The password is the one of SRC, and DST keeps it. An index that "
       "cannot be read or does not match its rows is made again from the rows and named in the "
       "summary (with --json: \"indexesRebuilt\", each with its table, index and reason). "
       "Rows that cannot be read are refused (error 3049, naming the table and page) unless "
       "--salvage is given. Table definitions are packed from the front, so a table made late "
       "no longer holds DST near the size of SRC: table Ids (their pages) change, and every "
       "place known to hold one is rewritten. A database holding one where this is not known, "
       "or --keep-ids, keeps every definition at its page; the summary (with --json: "
       "\"relocated\" and \"fallbackReason\") says which layout was written and why.",
       {{"--json", "print the summary as one JSON object"},
        {"--salvage",
         "leave out the rows that cannot be read (a torn data page, a row whose offsets or "
         "fields do not add up, an overflow row whose target is gone) and keep a row whose "
         "memo/OLE value alone is broken with that value empty. The summary (with --json: "
         "\"rowsLost\" and \"lost\", each with its table, page, rows and reason; rows is null "
         "when they cannot be counted) says per page what was lost, and DST.lost.txt lists each "
         "lost row by its primary key, or by page and slot. Every row kept is the source's, "
         "byte for byte, and the indexes of a table that lost rows are made again from the rest"},
        {"--template FILE",
         "with --salvage: FILE is an older healthy copy of the same database, such as a dated "
         "backup, opened with the same password. Where SRC's header or a table's definition "
         "cannot be read, it is taken from FILE (definitions matched by table name); rows never "
         "are. The summary (with --json: \"fromTemplate\") and DST.lost.txt name each structure "
         "taken"},
        {"--keep-ids",
         "keep every table definition at its page, and so every table Id, as compaction did "
         "before; a table made late then keeps DST about as long as SRC. --relocate, the "
         "default now, is still accepted and changes nothing"},
        {"--progress",
         "also report progress as plain lines on standard error when it is not a terminal (on a "
         "terminal a bar is always drawn)"}}},
  };
  return all;
}

const Command* find(const std::string& name) {
  for (const Command& c : commands())
    if (name == c.name) return &c;
  return nullptr;
}

const char* const kPasswordText =
    "PASSWORD is one of the options below, for a database that has a password. An option "
    "given beats JETDB_PASSWORD; giving two of them is a usage error. The password is taken "
    "as it is, ';' and '=' included, and is never printed.";

const std::vector<Item>& passwordOptions() {
  static const std::vector<Item> all = {
      {"--password-file FILE",
       "the first line of FILE, without its line ending; '-' reads it from standard input. "
       "Safe: keep FILE readable by you alone."},
      {"--ask-password",
       "ask for it on the terminal (/dev/tty) without showing it; refused when there is no "
       "terminal."},
      {"--password PW",
       "works, but other users of the machine can see PW (ps) and the shell keeps it in its "
       "history; jetdb warns on standard error."},
  };
  return all;
}

const Item& passwordVariable() {
  static const Item item = {
      "JETDB_PASSWORD",
      "the password, when no option gives one. ps does not show it to other users, but root "
      "and your own programs can read it (/proc/PID/environ), every program started with that "
      "environment inherits it, and typed on a command line it ends up in the shell's history."};
  return item;
}

const std::vector<Item>& exitStatus() {
  static const std::vector<Item> all = {
      {"0", "done (check: no problems found)"},
      {"1", "check found problems"},
      {"2", "usage error"},
      {"3", "engine error, printed as 'jetdb: error NNNN: description' with DAO's error number"},
  };
  return all;
}

const std::vector<Item>& otherUses() {
  static const std::vector<Item> all = {{"jetdb COMMAND --help", "help on one command"},
                                        {"jetdb --version", "the version"}};
  return all;
}

}  // namespace jetdb::help

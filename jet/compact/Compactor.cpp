#include "jet/compact/Compactor.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "jet/compact/Background.h"
#include "jet/compact/IndexWalk.h"
#include "jet/compact/LongValueWriter.h"
#include "jet/compact/MadeKeys.h"
#include "jet/compact/Pacer.h"
#include "jet/compact/ReadAhead.h"
#include "jet/compact/RebuiltIndex.h"
#include "jet/compact/Relocation.h"
#include "jet/compact/Salvage.h"
#include "jet/compact/SourceIndex.h"
#include "jet/compact/Template.h"
#include "jet/db/Database.h"
#include "jet/db/PageCensus.h"
#include "jet/db/RowMap.h"
#include "jet/db/TableScan.h"
#include "jet/format/DataPageBuilder.h"
#include "jet/format/Header.h"
#include "jet/format/IndexBuilder.h"
#include "jet/format/LongValue.h"
#include "jet/format/Row.h"
#include "jet/format/UsageMapBuilder.h"
#include "jet/util/Text.h"

namespace jet::compact {
namespace {

// One table on its way: the definition to patch, its live rows, and where
// each went.
struct TableCopy {
  explicit TableCopy(const CatalogTable& t) : table(t) {}
  const CatalogTable& table;
  TableDef def;                    // a copy: its buffer is patched
  std::vector<uint32_t> live;      // header slots, page order
  RowMap rows;                     // position of each live row
  std::vector<uint32_t> newPlace;  // per position: RowPtr raw in the output
  std::vector<uint32_t> dataPages, freePages;
  std::map<uint16_t, LongValueWriter> longValues;  // per memo/OLE column
  bool haveAuto = false;
  int32_t maxAuto = 0;
  TableDigest digest;
  std::map<size_t, std::string> torn;  // indexes made again as their own cannot be read, why
};

// An index written as its entries arrive in order, with the checksum and
// the count of distinct keys its definition and verification need.
class IndexOut {
 public:
  IndexOut(uint32_t owner, PageAllocator& alloc, PageSink& sink) : writer_(owner, alloc, sink) {}
  void add(const EntryRef& e) {
    const ByteView key(e.data, e.size - 4);
    if (!any_ || !(key == ByteView(last_))) {
      ++distinct_;
      last_.assign(key.begin(), key.end());
    }
    any_ = true;
    digest.add(entryChecksum(key, be32(e.data + e.size - 4)));
    writer_.add(e);
  }
  BuiltIndex finish() { return writer_.finish(); }
  uint32_t distinct() const { return distinct_; }
  Multiset digest;

 private:
  IndexWriter writer_;
  std::vector<uint8_t> last_;
  uint32_t distinct_ = 0;
  bool any_ = false;
};

// Where an index's entries come from.
enum class Entries {
  Stored,           // the source's, in order
  StoredUnordered,  // the source's, to be sorted (its keys cannot be made)
  Rows,             // made again from the rows
};

class Compactor {
 public:
  Compactor(const Database& src, OutputFile& out, const CompactOptions& options, Pacer& pacer,
            const SortSpace& sort, const PageCensus& census, const Database* templ)
      : src_(src),
        f_(src.format()),
        options_(options),
        pacer_(pacer),
        sort_(sort),
        sink_(out, src.format(), src.header().dbKey),
        census_(census),
        templ_(templ) {}

  WriteOutcome run() {
    WriteOutcome outcome;
    std::vector<CatalogTable> tables;
    try {
      std::vector<std::string> passedOver;
      tables = catalogTables(src_, options_.salvage ? &passedOver : nullptr);
      for (const std::string& why : passedOver)
        lost_.push_back({"MSysObjects", 2, 0, 0, why + "; the entry is left out", {}});
      for (const auto& [row, why] : src_.leftOutCatalogRows()) {
        lost_.push_back({"MSysObjects", 2, 0, 0, why, {}});
        dropRows_.insert(row);
      }
      untyped();
      // Left out of the copy too, or it would name a page outside it.
      for (const CatalogEntry* t : src_.catalog().tables(true))
        if (options_.salvage && (t->tdefPage() < 2 || t->tdefPage() >= src_.pageCount()))
          dropCatalogRowsOf(t->tdefPage());
    } catch (const Corrupt& e) {
      damaged("MSysObjects", 2, e.description());
    }
    orphans(tables);
    unreadable(tables);  // first: a row left out hides no table
    hidden(tables);
    reloc_ = planRelocation(src_, tables, options_.keepIds);
    alloc_ = std::make_unique<PageAllocator>(reloc_.tdefPages());
    holder_ = std::make_unique<MapHolder>(*alloc_, sink_);
    // Each table's share of the progress is its share of the data pages.
    double total = 0, done = 0;
    for (const CatalogTable& t : tables) total += census_.dataPagesOf(t.tdef).size() + 1.0;
    for (const CatalogTable& t : tables) {
      const double share = census_.dataPagesOf(t.tdef).size() + 1.0;
      pacer_.phase(done / total, (done + share) / total);
      done += share;
      outcome.digest.push_back(compactTable(t, outcome.result));
    }
    finish();
    outcome.result.indexesRebuilt = std::move(rebuiltIndexes_);
    outcome.result.relocated = reloc_.relocated();
    outcome.result.fallbackReason = reloc_.fallbackReason();
    // Rows of the catalog left out with their tables held references too,
    // and rows salvage recovered were not counted in the source's.
    if (dropRows_.empty() && recovered_.empty()) outcome.references = reloc_.references();
    for (const RowsLost& l : lost_) {
      outcome.result.rowsLost += l.rows > 0 ? static_cast<uint64_t>(l.rows) : 0;
      outcome.result.uncounted = outcome.result.uncounted || l.rows < 0;
    }
    outcome.result.lost = std::move(lost_);
    outcome.result.recovered = std::move(recovered_);
    outcome.result.fromTemplate = std::move(fromTemplate_);
    outcome.result.sourceBytes = src_.fileSize();
    outcome.result.sourcePages = src_.pageCount();
    outcome.result.outputPages = alloc_->end();
    outcome.result.outputBytes = uint64_t{alloc_->end()} * f_.pageSize;
    return outcome;
  }

 private:
  [[noreturn]] static void damaged(const std::string& table, uint32_t page,
                                   const std::string& what) {
    throw Error(3049, "Table '" + table + "' (page " + std::to_string(page) +
                          ") is damaged in a way compaction cannot mend safely: " + what + ".");
  }

  // Table definitions the catalog does not reach as tables, whose pages
  // still hold rows or whose catalog row is there with another Type: a
  // damaged catalog row must not take a table with it. Salvage makes a
  // table again of one whose row is live, and lists the rows of the others.
  void orphans(std::vector<CatalogTable>& tables) {
    std::vector<uint32_t> reached;
    for (const CatalogTable& t : tables) reached.push_back(t.tdef);
    for (const OrphanTable& o : orphanTables(src_, census_, reached, true)) {
      const CatalogTrace trace = catalogTraceOf(src_, census_.dataPagesOf(2), o.tdef);
      const std::optional<CatalogEntry>& live = trace.live;
      if (o.pages.empty() && !live) continue;  // a leaked definition: no table
      std::string name = "(table at page " + std::to_string(o.tdef) + ")";
      std::string reason = "no catalog row names its table definition";
      if (live) {
        name = live->name;
        reason = "its catalog row has Type " + std::to_string(live->type);
      } else if (!trace.deletedName.empty()) {
        name = trace.deletedName;
        reason = "its catalog row is marked deleted";
      }
      if (!options_.salvage)
        damaged(name, o.tdef,
                "no catalog row reaches this table definition as a table (" + reason + ")" +
                    (o.pages.empty()
                         ? std::string("; the table would be dropped")
                         : ", yet " + std::to_string(o.pages.size()) + " data pages of it hold " +
                               std::to_string(o.total()) + " rows"));
      if (live) {
        fixes_[RowPtr{live->headerPage, live->headerRow}.raw()].type = true;
        tables.push_back({o.tdef, name, live->system(), true});
        recovered_.push_back({name,
                              o.tdef,
                              static_cast<int64_t>(o.total()),
                              0,
                              reason + "; it is a table again",
                              {}});
        continue;
      }
      for (size_t i = 0; i < o.pages.size(); ++i)
        lost_.push_back({name, o.pages[i], static_cast<int64_t>(o.rows[i]), 0, reason, {}});
    }
    std::sort(tables.begin(), tables.end(),
              [](const CatalogTable& a, const CatalogTable& b) { return a.tdef < b.tdef; });
  }

  // Salvage: a table whose definition cannot be read, or cannot hold its
  // rows, takes the template's; without one it is left out with its catalog
  // row, and the rows its data pages hold are counted as lost. Without
  // salvage, copying it names the damage.
  void unreadable(std::vector<CatalogTable>& tables) {
    if (!options_.salvage) return;
    std::vector<CatalogTable> kept;
    for (const CatalogTable& t : tables) {
      try {
        if (const std::optional<std::string> fault = layoutFault(src_.tableDef(t.tdef)))
          throwCorrupt(*fault + ": the table definition does not describe its rows");
        kept.push_back(t);
        continue;
      } catch (const Corrupt& e) {
        if (definitionFromTemplate(t, e.description()))
          kept.push_back(t);
        else if (const CatalogTable* other = namesake(tables, t))
          leaveOutStaleRow(t, *other, e.description());
        else
          leaveOut(t, e.description());
      }
    }
    tables = std::move(kept);
  }

  // The template's definition of the table, where it has one that fits.
  bool definitionFromTemplate(const CatalogTable& t, const std::string& damage) {
    if (!templ_ || t.tdef == 2) return false;
    std::string why;
    std::optional<TableDef> def = definitionFrom(*templ_, src_, t.name, t.tdef, why);
    if (!def) {
      templateMisses_.push_back(why);
      return false;
    }
    src_.supplyTableDef(t.tdef, std::move(*def), census_.dataPagesOf(t.tdef));
    fromTemplate_.push_back("the definition of table '" + t.name + "' (page " +
                            std::to_string(t.tdef) + ": " + damage + ")");
    return true;
  }

  // A catalog row of a Type no object has names nothing a reader can use;
  // salvage leaves it out (its table, if it was one, is found by its pages).
  void untyped() {
    std::set<uint32_t> reached;
    for (const CatalogEntry* t : src_.catalog().tables(true)) reached.insert(t->tdefPage());
    const std::vector<uint32_t>& defs = census_.tableDefinitions();
    for (const CatalogEntry& e : src_.catalog().entries) {
      if (e.knownType()) continue;
      // The row of a definition no table row reaches: made a table again below.
      if (!reached.count(e.tdefPage()) &&
          std::binary_search(defs.begin(), defs.end(), e.tdefPage()))
        continue;
      const std::string why = "the catalog row of '" + e.name + "' has Type " +
                              std::to_string(e.type) + ", which no object has";
      if (!options_.salvage) damaged("MSysObjects", e.headerPage, why);
      lost_.push_back({"MSysObjects", 2, 0, 0, why + "; the row is left out", {}});
      dropRows_.insert(RowPtr{e.headerPage, e.headerRow}.raw());
    }
  }

  // Another table of t's name: salvage found its definition where t's row
  // no longer points.
  static const CatalogTable* namesake(const std::vector<CatalogTable>& tables,
                                      const CatalogTable& t) {
    for (const CatalogTable& o : tables)
      if (o.tdef != t.tdef && foldName(o.name) == foldName(t.name)) return &o;
    return nullptr;
  }

  // The catalog row goes; no row is lost with it, the table is kept.
  void leaveOutStaleRow(const CatalogTable& t, const CatalogTable& kept, const std::string& why) {
    lost_.push_back({t.name,
                     t.tdef,
                     0,
                     0,
                     "a catalog row names page " + std::to_string(t.tdef) + " (" + why +
                         "); the table is kept from page " + std::to_string(kept.tdef) +
                         " and the row is left out",
                     {}});
    dropCatalogRowsOf(t.tdef);
  }

  void leaveOut(const CatalogTable& t, const std::string& why) {
    if (t.tdef == 2) damaged(t.name, 2, why);  // the catalog itself
    std::string reason =
        "its table definition (page " + std::to_string(t.tdef) + ") cannot be read: " + why;
    if (templ_ && !templateMisses_.empty()) reason += "; " + templateMisses_.back();
    bool any = false;
    for (uint32_t pg : census_.dataPagesOf(t.tdef))
      if (const uint32_t live = liveSlots(src_, pg)) {
        lost_.push_back({t.name, pg, static_cast<int64_t>(live), 0, reason, {}});
        any = true;
      }
    if (!any) lost_.push_back({t.name, t.tdef, -1, 0, reason + "; no data page of it is left", {}});
    dropCatalogRowsOf(t.tdef);
  }

  void dropCatalogRowsOf(uint32_t tdef) {
    for (const CatalogEntry& e : src_.catalog().entries)
      if (e.isTable() && e.tdefPage() == tdef)
        dropRows_.insert(RowPtr{e.headerPage, e.headerRow}.raw());
  }

  // Catalog rows that hide a table they still name: a user table flagged as
  // a system object (no reader shows it), two tables of one name (a reader
  // shows one). Salvage clears the flags and keeps both names, and lists
  // each.
  void hidden(std::vector<CatalogTable>& tables) {
    std::map<std::string, const CatalogEntry*> names;
    for (const CatalogEntry& e : src_.catalog().entries) {
      if (!e.isTable() || dropRows_.count(RowPtr{e.headerPage, e.headerRow}.raw())) continue;
      const bool msys = systemName(e.name);
      std::string why;
      if (!msys && (e.flags & kSystemFlags))
        why = "its catalog row flags it as a system object, so no reader shows it";
      auto [it, fresh] = names.emplace(std::to_string(e.parentId) + "/" + foldName(e.name), &e);
      if (!fresh)
        why = "another table (page " + std::to_string(it->second->tdefPage()) +
              ") has the same name; a catalog row's name may be damaged";
      if (why.empty()) continue;
      if (!options_.salvage) damaged(e.name, e.tdefPage(), why);
      if (!msys && (e.flags & kSystemFlags)) {
        fixes_[RowPtr{e.headerPage, e.headerRow}.raw()].flags = true;
        for (CatalogTable& t : tables)
          if (t.tdef == e.tdefPage()) t.system = false;
      }
      recovered_.push_back({e.name, e.tdefPage(), 0, 0, why, {}});
    }
  }

  // A catalog row that hid its table names it again.
  void fixCatalogRow(const TableCopy& c, RowPtr header) {
    if (fixes_.empty() || c.def.firstPage != 2) return;
    const auto it = fixes_.find(header.raw());
    if (it == fixes_.end()) return;
    const RowFields fields(c.def, f_.jet4, ByteView(row_));
    if (it->second.type) {
      const Field f = fields.field(*c.def.findColumn("Type"));
      if (f.null || f.bytes.size() != 2) throwCorrupt("a catalog row's Type cannot be set");
      putLe16(row_.data() + (f.bytes.data() - row_.data()), object_type::kTable);
    }
    const Column* flags = c.def.findColumn("Flags");
    if (it->second.flags && flags) {
      const Field f = fields.field(*flags);
      if (f.null || f.bytes.size() != 4) throwCorrupt("a catalog row's Flags cannot be set");
      uint8_t* at = row_.data() + (f.bytes.data() - row_.data());
      putLe32(at, le32(at) & ~kSystemFlags);
    }
  }

  TableDigest compactTable(const CatalogTable& t, CompactResult& result) {
    const CatalogTable placed{reloc_.page(t.tdef), t.name, t.system};
    TableCopy c(placed);
    try {
      c.def = src_.tableDef(t.tdef);
      // Rows read under a layout that cannot hold them would be copied wrong.
      if (const std::optional<std::string> fault = layoutFault(c.def))
        damaged(t.name, t.tdef, *fault + ": the table definition does not describe its rows");
      TableRows readable = readableRows(src_, c.def, t.name, census_, options_.salvage);
      for (RowsLost& l : readable.lost) noteLost(std::move(l));
      if (readable.refusal) damaged(t.name, readable.refusal->page, readable.refusal->what);
      c.live = std::move(readable.live);
      if (t.tdef == 2 && !dropRows_.empty())
        std::erase_if(c.live, [&](uint32_t raw) { return dropRows_.count(raw) > 0; });
      for (RowsLost& r : readable.recovered) recovered_.push_back(std::move(r));
      c.rows = RowMap(c.live, src_.pageCount());
    } catch (const Corrupt& e) {
      damaged(t.name, t.tdef, e.description());
    }
    c.digest.tdef = placed.tdef;
    c.digest.name = t.name;
    if (t.system)
      copyHeld(c);
    else
      copyStreamed(c);
    patchDefinition(c);
    reloc_.patchDefinition(c.def);
    c.def.firstPage = placed.tdef;
    writeTdef(c.def);
    pacer_.now(1.0);
    if (!t.system) {
      result.tables += 1;
      result.rows += c.live.size();
    }
    return std::move(c.digest);
  }

  // Without salvage, rows known to be there and unreadable are refused; a
  // page no index names rows on is passed over, as the check does.
  void noteLost(RowsLost&& l) {
    if (options_.salvage) return lost_.push_back(std::move(l));
    if (l.rows > 0)
      damaged(l.table, l.page,
              l.reason + "; " + std::to_string(l.rows) +
                  " rows there cannot be read (jetdb compact --salvage leaves them out)");
  }

  // System tables are small, and relocation rewrites the Ids leading some of
  // their keys, which reorders them: their indexes are held and sorted.
  void copyHeld(TableCopy& c) {
    const size_t pk = c.def.primaryKeyIndex();
    if (pk != SIZE_MAX) readIndex(c, pk, primaryKey_, true);
    copyRows(c, rowOrder(c, pk));
    for (size_t k = 0; k < c.def.realIndexes.size(); ++k) copyIndex(c, k, k == pk);
  }

  // Any other table, in memory that does not grow with it: the rows' keys
  // are checksums until an index has to be made again from them.
  void copyStreamed(TableCopy& c) {
    const size_t pk = c.def.primaryKeyIndex();
    const size_t n = c.def.realIndexes.size();
    MadeKeys made;
    std::vector<StoredIndex> stored(n);
    std::vector<uint32_t> order;
    judgeWhileMaking(c, pk, made, stored, order);
    Entries primary = Entries::Stored;
    if (pk != SIZE_MAX) {
      primary = choose(c, pk, made, stored[pk]);
      if (primary == Entries::Rows) order = orderFromRows(c, pk);
    }
    copyRows(c, completed(std::move(order), c.live.size()));
    for (size_t k = 0; k < n; ++k) {
      const double at = 0.8 + 0.2 * static_cast<double>(k) / n;
      const Entries from = k == pk ? primary : choose(c, k, made, stored[k]);
      writeIndex(c, k, from, at, 0.2 / n);
    }
  }

  // The rows' keys are made on the other core while the stored indexes are
  // walked, where the source can be read from two threads at once.
  void judgeWhileMaking(const TableCopy& c, size_t pk, MadeKeys& made,
                        std::vector<StoredIndex>& stored, std::vector<uint32_t>& order) {
    const size_t n = stored.size();
    const auto judgeAll = [&](double from) {
      for (size_t k = 0; k < n; ++k) {
        const auto tick = [&](double done) { pacer_.step(from + (0.3 - from) * (k + done) / n); };
        stored[k] = judgeStoredIndex(src_, c.def, k, c.rows, tick, k == pk ? &order : nullptr);
      }
    };
    if (!src_.pages().concurrent()) {
      made = makeKeys(src_, c.def, c.live, [&](double done) { pacer_.step(0.15 * done); });
      return judgeAll(0.15);
    }
    std::atomic<bool> stop{false};
    Background maker([&] {
      made = makeKeys(src_, c.def, c.live, [&](double) {
        if (stop.load(std::memory_order_relaxed)) throwCancelled();
      });
    });
    try {
      judgeAll(0.0);
    } catch (...) {
      stop = true;
      throw;
    }
    maker.join(pacer_, 0.3);
  }

  // The stored entries when they are the rows' keys, else the index made
  // again from the rows; one that can be neither read nor made is refused.
  Entries choose(TableCopy& c, size_t k, const MadeKeys& made, const StoredIndex& stored) {
    const std::optional<std::string>& cannot = made.cannot[k];
    if (cannot && stored.damage) refuseIndex(c, k, *stored.damage, *cannot);
    if (cannot) return stored.ordered ? Entries::Stored : Entries::StoredUnordered;
    if (!stored.damage && stored.ordered &&
        (stored.entries == made.entries[k] || differsOnlyInDoubt(src_, c.def, k, c.rows, made)))
      return Entries::Stored;
    rebuiltIndexes_.push_back({c.table.name, indexName(c.def, k),
                               stored.damage.value_or("its entries are not the keys of its rows")});
    if (stored.damage) c.torn[k] = *stored.damage;
    return Entries::Rows;
  }

  [[noreturn]] void refuseIndex(const TableCopy& c, size_t k, const std::string& damage,
                                const std::string& cannot) {
    damaged(c.table.name, c.def.realIndexes[k].rootPage,
            damage + "; index '" + indexName(c.def, k) +
                "' cannot be made again from the rows: " + cannot);
  }

  // The rows' positions in the order of the keys they make for index k.
  std::vector<uint32_t> orderFromRows(const TableCopy& c, size_t k) {
    ExternalSort sorter(sort_.budget, sort_.file);
    addMadeEntries(src_, c.def, k, c.live, nullptr, sorter,
                   [&](double done) { pacer_.step(0.3 * done); });
    std::vector<uint32_t> order;
    order.reserve(c.live.size());
    sorter.drain([&](const EntryRef& e) { order.push_back(be32(e.data + e.size - 4)); });
    return order;
  }

  // Rows no primary-key entry names follow in page order.
  static std::vector<uint32_t> completed(std::vector<uint32_t> order, size_t rows) {
    if (order.size() == rows) return order;
    std::vector<bool> placed(rows, false);
    for (uint32_t o : order) placed[o] = true;
    for (uint32_t i = 0; i < rows; ++i)
      if (!placed[i]) order.push_back(i);
    return order;
  }

  void writeIndex(TableCopy& c, size_t k, Entries from, double at, double share) {
    IndexOut out(c.table.tdef, *alloc_, sink_);
    const auto tick = [&](double done) { pacer_.step(at + share * done); };
    uint64_t entries = 0;
    const auto add = [&](const EntryRef& e) {
      out.add(e);
      ++entries;
    };
    if (from == Entries::Stored) {
      emitStoredIndex(src_, c.def, k, c.rows, c.newPlace, true, tick, add);
    } else {
      ExternalSort sorter(sort_.budget, sort_.file);
      const auto sort = [&](const EntryRef& e) { sorter.add(e.data, e.size); };
      if (from == Entries::StoredUnordered)
        emitStoredIndex(src_, c.def, k, c.rows, c.newPlace, false, tick, sort);
      else
        addMadeEntries(src_, c.def, k, c.live, &c.newPlace, sorter, tick);
      sorter.drain(add);
    }
    const BuiltIndex built = out.finish();
    const auto torn = c.torn.find(k);
    if (torn != c.torn.end() && (c.def.realIndexes[k].flags & index_flag::kUnique) &&
        out.distinct() < entries) {
      uniqueNotKept(c, k, torn->second);
    }
    patchIndex(c, k, built, out.distinct());
    c.digest.indexes.push_back(out.digest);
  }

  void patchIndex(TableCopy& c, size_t k, const BuiltIndex& built, uint32_t distinct) {
    const RealIndex& r = c.def.realIndexes[k];
    std::vector<uint8_t>& b = c.def.buffer;
    putLe32(b.data() + r.countOffset + 4, distinct);
    putLe32(b.data() + r.definitionOffset + f_.realIdxUsageMap, placeMap(built.pages).raw());
    putLe32(b.data() + r.definitionOffset + f_.realIdxRoot, built.root);
  }

  void readIndex(TableCopy& c, size_t k, SourceIndex& into, bool primary) {
    std::optional<std::string> damage, cannot;
    std::vector<uint32_t> inDoubt;
    try {
      into.read(src_, c.def, k, c.rows, pacer_);
    } catch (const Corrupt& e) {
      damage = e.description();
    }
    try {
      // Progress stays where the index's turn began; a cancel still gets through.
      const double at =
          primary ? 0.0 : 0.8 + 0.2 * static_cast<double>(k) / c.def.realIndexes.size();
      cannot = rebuildIndex(
          src_, c.def, k, c.live, rebuilt_, [&] { pacer_.step(at); }, &inDoubt);
    } catch (const Corrupt& e) {
      cannot = "a row cannot be read (" + e.description() + ")";  // copying the rows names it
    }
    if (cannot && damage) refuseIndex(c, k, *damage, *cannot);
    if (cannot || (!damage &&
                   (sameEntries(into, rebuilt_) || sameEntriesButInDoubt(into, rebuilt_, inDoubt))))
      return;
    std::swap(into, rebuilt_);
    rebuiltIndexes_.push_back({c.table.name, indexName(c.def, k),
                               damage.value_or("its entries are not the keys of its rows")});
    if (damage && uniqueButRepeated(c.def.realIndexes[k], into)) uniqueNotKept(c, k, *damage);
  }

  // A unique index made again from rows that hold one key twice, its own
  // entries unreadable: they cannot say which row is wrong, and the flag may
  // be what the damage changed. Refused; salvage keeps every row and lets
  // the copy's index take repeated keys.
  void uniqueNotKept(TableCopy& c, size_t k, const std::string& damage) {
    const std::string what = "index '" + indexName(c.def, k) +
                             "' is unique, but its rows hold one key twice, and its own entries "
                             "cannot be read to say which is wrong (" +
                             damage + ")";
    if (!options_.salvage) damaged(c.table.name, c.def.firstPage, what);
    c.def.buffer[c.def.realIndexes[k].definitionOffset + f_.realIdxFlags] &=
        static_cast<uint8_t>(~index_flag::kUnique);
    const std::string name = indexName(c.def, k);
    for (auto it = rebuiltIndexes_.rbegin(); it != rebuiltIndexes_.rend(); ++it)
      if (it->table == c.table.name && it->index == name) {
        it->reason = what + "; the copy's index no longer asks for unique keys";
        break;
      }
  }

  static bool uniqueButRepeated(const RealIndex& r, const SourceIndex& made) {
    if (!(r.flags & index_flag::kUnique)) return false;
    const auto key = [&](const SourceIndex::Entry& e) {
      return ByteView(made.keys.data() + e.offset, e.keyLength);
    };
    for (size_t i = 1; i < made.entries.size(); ++i)
      if (key(made.entries[i - 1]) == key(made.entries[i])) return true;
    return false;
  }

  // Primary-key order where there is one, page order for the rest.
  std::vector<uint32_t> rowOrder(const TableCopy& c, size_t pk) const {
    std::vector<uint32_t> order;
    order.reserve(c.live.size());
    if (pk != SIZE_MAX)
      for (const SourceIndex::Entry& e : primaryKey_.entries) order.push_back(e.row);
    return completed(std::move(order), c.live.size());
  }

  void copyRows(TableCopy& c, const std::vector<uint32_t>& order) {
    c.newPlace.resize(c.live.size());
    DataPageBuilder page(f_, c.table.tdef);
    uint32_t pg = 0;
    const auto flush = [&] {
      if (page.empty()) return;
      if (page.freeSpace() >= f_.pageSize / 8) c.freePages.push_back(pg);
      sink_.write(pg, page.page());
      c.dataPages.push_back(pg);
      page.reset();
    };
    const Column* autoColumn = autoNumberColumn(c.def);
    const size_t maxRow = DataPageBuilder::maxRow(f_);
    RowHasher hasher(src_, c.def);
    ReadAhead ahead(src_, c.def, c.live, order);
    for (size_t n = 0; n < order.size(); ++n) {
      ahead.at(n);
      const uint32_t o = order[n];
      const RowPtr header = RowPtr::fromRaw(c.live[o]);
      current_ = o;
      uint64_t lvHash = 0;
      try {
        const RowSlot slot = readRow(src_.pages(), header);
        row_.assign(slot.bytes.begin(), slot.bytes.end());
        lvHash = copyLongValues(c);
        fixCatalogRow(c, header);
        reloc_.rewriteRow(c.def, row_);
        if (autoColumn) noteAutoNumber(c, *autoColumn);
      } catch (const Corrupt& e) {
        damaged(c.table.name, header.page, e.description());
      }
      if (row_.size() > maxRow) damaged(c.table.name, header.page, "a row is longer than a page");
      const uint64_t hash = hasher.hash(ByteView(row_), lvHash);
      if (!page.fits(row_.size())) flush();
      if (page.empty()) pg = alloc_->allocate();
      c.newPlace[o] = RowPtr{pg, page.add(row_.data(), row_.size())}.raw();
      // Tied to its place: the index entries are checked against places.
      c.digest.rows.add(mix(hash, c.newPlace[o]));
      pacer_.step(0.3 + 0.5 * static_cast<double>(n) / order.size());
    }
    flush();
    for (auto& [column, writer] : c.longValues) writer.flush();
  }

  static const Column* autoNumberColumn(const TableDef& d) {
    const Column* found = nullptr;
    for (const Column& col : d.columns)
      if (col.type == column_type::kLong && (col.flags & column_flag::kAutoNumber)) found = &col;
    return found;
  }

  // Moves the row's memo/OLE data held outside it and points the row at the
  // new place; returns the checksum of that data.
  uint64_t copyLongValues(TableCopy& c) {
    uint64_t lvHash = 0;
    // Parsed once: rewriting a value's pointer in place moves no field.
    std::optional<RowFields> fields;
    for (const Column& col : c.def.columns) {
      if (!col.longValue()) continue;
      if (!fields) fields.emplace(c.def, f_.jet4, ByteView(row_));
      const Field f = fields->field(col);
      if (f.null || f.bytes.empty()) continue;
      const size_t at = static_cast<size_t>(f.bytes.data() - row_.data());
      LongValueHeader h;
      try {
        h = parseLongValueHeader(f.bytes);
        if (h.kind == LongValueKind::Inline) {
          if (f.bytes.size() - kLongValueHeader < h.length)
            throwCorrupt("an inline memo/OLE value is longer than its field");
          continue;
        }
        data_.clear();
        pieces_.clear();
        forEachPiece(src_.pages(), f.bytes, [&](ByteView piece, RowPtr) {
          data_.insert(data_.end(), piece.begin(), piece.end());
          pieces_.push_back(static_cast<uint32_t>(piece.size()));
        });
      } catch (const Corrupt& e) {
        if (!options_.salvage) throw;
        if (f.bytes.size() < kLongValueHeader) {  // no header to mend: the value goes
          fields->setNull(row_.data(), col);
          valueNoted(c, col, e.description(), "made null");
          continue;
        }
        if (f.bytes.size() > kLongValueHeader) {  // only an inline value fills more
          inlineMended(c, col, at, f.bytes.size() - kLongValueHeader, e.description());
          continue;
        }
        if (!piecesWhole(f.bytes)) {
          valueLost(c, col, at, e.description());
          continue;
        }
        putLongValueLength(row_.data() + at, h.kind, static_cast<uint32_t>(data_.size()));
        valueNoted(c, col, e.description(),
                   "kept as the " + std::to_string(data_.size()) + " bytes its pieces hold");
      }
      lvHash = mixLongValue(lvHash, col, data_.data(), data_.size());
      LongValueWriter& writer = c.longValues.try_emplace(col.number, *alloc_, sink_).first->second;
      const RowPtr first = writer.write(data_, pieces_, h.kind == LongValueKind::SingleRow);
      putLe32(row_.data() + at + 4, first.raw());
      putLe32(row_.data() + at + 8, 0);
    }
    return lvHash;
  }

  // Salvage: the pieces a value's header leads to, its length passed over;
  // false where they cannot be read either, or hold nothing.
  bool piecesWhole(ByteView field) {
    data_.clear();
    pieces_.clear();
    try {
      forEachPieceWhole(src_.pages(), field, [&](ByteView piece, RowPtr) {
        data_.insert(data_.end(), piece.begin(), piece.end());
        pieces_.push_back(static_cast<uint32_t>(piece.size()));
      });
    } catch (const Corrupt&) {
      return false;
    }
    return !data_.empty() && data_.size() <= kLongValueMaxLength;
  }

  // Salvage: the value becomes an empty one held in the row, the row stays.
  void valueLost(const TableCopy& c, const Column& col, size_t at, const std::string& why) {
    std::fill(row_.begin() + at, row_.begin() + at + kLongValueHeader, 0);
    putLongValueLength(row_.data() + at, LongValueKind::Inline, 0);
    valueNoted(c, col, why, "emptied");
  }

  // Salvage: a value held in the row whose header is damaged is the bytes
  // its field holds after the header.
  void inlineMended(const TableCopy& c, const Column& col, size_t at, size_t length,
                    const std::string& why) {
    std::fill(row_.begin() + at, row_.begin() + at + kLongValueHeader, 0);
    putLongValueLength(row_.data() + at, LongValueKind::Inline, static_cast<uint32_t>(length));
    valueNoted(c, col, why, "kept as the " + std::to_string(length) + " bytes its field holds");
  }

  void valueNoted(const TableCopy& c, const Column& col, const std::string& why,
                  const std::string& what) {
    const RowPtr header = RowPtr::fromRaw(c.live[current_]);
    if (lost_.empty() || lost_.back().table != c.table.name || lost_.back().page != header.page ||
        lost_.back().rows != 0)
      lost_.push_back({c.table.name, header.page, 0, 0, why, {}});
    lost_.back().values += 1;
    lost_.back().named.push_back("the value of column '" + col.name + "' of the row at page " +
                                 std::to_string(header.page) + ", slot " +
                                 std::to_string(header.row) + " (" + what + ")");
  }

  void noteAutoNumber(TableCopy& c, const Column& col) {
    const Field f = RowFields(c.def, f_.jet4, ByteView(row_)).field(col);
    if (f.null || f.bytes.size() != 4) return;
    const int32_t v = static_cast<int32_t>(f.bytes.u32(0));
    c.maxAuto = c.haveAuto ? std::max(c.maxAuto, v) : v;
    c.haveAuto = true;
  }

  // An index from its old entries, pointers remapped, in order again.
  void copyIndex(TableCopy& c, size_t k, bool primary) {
    if (!primary) readIndex(c, k, scratch_, false);
    reloc_.rewriteKeys(c.def, k, primary ? primaryKey_ : scratch_);
    const SourceIndex& si = primary ? primaryKey_ : scratch_;
    bytes_.clear();
    bytes_.reserve(si.keys.size() + 4 * si.entries.size());
    Multiset m;
    for (size_t i = 0; i < si.entries.size(); ++i) {
      const SourceIndex::Entry& e = si.entries[i];
      // Entries point all over the table: fetch the rows' slots a few ahead.
      if (i + 16 < si.entries.size()) __builtin_prefetch(&c.newPlace[si.entries[i + 16].row]);
      bytes_.insert(bytes_.end(), si.keys.begin() + e.offset,
                    si.keys.begin() + e.offset + e.keyLength);
      const uint32_t p = c.newPlace[e.row];
      uint8_t ptr[4];
      putBe32(ptr, p);
      bytes_.insert(bytes_.end(), ptr, ptr + 4);
      m.add(entryChecksum(ByteView(si.keys.data() + e.offset, e.keyLength), p));
    }
    refs_.clear();
    refs_.reserve(si.entries.size());
    size_t at = 0;
    for (const SourceIndex::Entry& e : si.entries) {
      refs_.push_back({bytes_.data() + at, static_cast<uint32_t>(e.keyLength + 4u)});
      at += e.keyLength + 4;
    }
    const uint32_t unique = sortEntries(refs_);
    patchIndex(c, k, buildIndex(refs_, c.table.tdef, *alloc_, sink_), unique);
    c.digest.indexes.push_back(m);
    pacer_.step(0.8 + 0.2 * static_cast<double>(k + 1) / c.def.realIndexes.size());
  }

  // Counts, seed and maps.
  void patchDefinition(TableCopy& c) {
    std::vector<uint8_t>& b = c.def.buffer;
    putLe32(b.data() + c.def.numRowsOffset, static_cast<uint32_t>(c.live.size()));
    if (autoNumberColumn(c.def)) {
      const int32_t stored = static_cast<int32_t>(c.def.autoNumber);
      int32_t seed = c.haveAuto ? c.maxAuto : 0;
      // A seed below a value in use would hand that value out again.
      if (options_.keepAutoNumberSeed) seed = c.haveAuto ? std::max(stored, c.maxAuto) : stored;
      putLe32(b.data() + c.def.autoNumberOffset, static_cast<uint32_t>(seed));
    }
    putLe32(b.data() + c.def.ownedMapOffset, placeMap(c.dataPages).raw());
    putLe32(b.data() + c.def.freeMapOffset, placeMap(c.freePages).raw());
    static const std::vector<uint32_t> kNone;
    for (const LongValueMap& m : c.def.longValueMaps) {
      const auto it = c.longValues.find(m.column);
      const bool any = it != c.longValues.end();
      putLe32(b.data() + m.offset + 2, placeMap(any ? it->second.pages() : kNone).raw());
      if (!m.free.null())
        putLe32(b.data() + m.offset + 6, placeMap(any ? it->second.pagesWithRoom() : kNone).raw());
    }
  }

  RowPtr placeMap(const std::vector<uint32_t>& pages) {
    return holder_->add(buildUsageMap(pages, *alloc_, sink_));
  }

  // Same pages, same split: the first page keeps its number, continuation
  // pages get new ones.
  void writeTdef(const TableDef& d) {
    const uint32_t ps = f_.pageSize;
    std::vector<uint32_t> numbers{d.firstPage};
    for (size_t i = 1; i < d.pages.size(); ++i) numbers.push_back(alloc_->allocate());
    std::vector<uint8_t> page(ps);
    for (size_t i = 0; i < d.pages.size(); ++i) {
      if (i == 0) {
        std::copy(d.buffer.begin(), d.buffer.begin() + ps, page.begin());
      } else {
        putLe32(page.data(), d.pageHeaders[i]);
        const auto from = d.buffer.begin() + ps + (i - 1) * (ps - 8);
        std::copy(from, from + (ps - 8), page.begin() + 8);
      }
      putLe32(page.data() + 4, i + 1 < numbers.size() ? numbers[i + 1] : 0);
      sink_.write(numbers[i], page);
    }
  }

  void finish() {
    holder_->flush();
    std::vector<bool> used(alloc_->end(), false);
    for (uint32_t pg = 0; pg < used.size(); ++pg) used[pg] = sink_.written(pg);
    used[0] = used[1] = true;
    for (uint32_t pg = 2; pg < used.size(); ++pg)
      if (alloc_->pinned(pg) && !used[pg])
        throw Error(3049, "internal error: table page " + std::to_string(pg) + " not written");
    sink_.write(1, buildGlobalMapPage(used, *alloc_, sink_));
    sink_.write(0, cleanHeaderPage(src_.header()));
    // Gaps below the highest pinned page stay, free and zeroed.
    const std::vector<uint8_t> zeros(f_.pageSize, 0);
    for (uint32_t pg = 2; pg < alloc_->end(); ++pg)
      if (!sink_.written(pg)) sink_.write(pg, zeros);
    sink_.flush();
  }

  const Database& src_;
  const Format& f_;
  const CompactOptions& options_;
  Pacer& pacer_;
  const SortSpace& sort_;
  PageSink sink_;
  const PageCensus& census_;
  const Database* templ_;
  std::unique_ptr<PageAllocator> alloc_;
  std::unique_ptr<MapHolder> holder_;
  Relocation reloc_;
  // Buffers reused by every row and index of every table: fresh ones would
  // be fresh pages from the system, each faulted in again.
  SourceIndex primaryKey_, scratch_, rebuilt_;
  std::vector<IndexRebuilt> rebuiltIndexes_;
  std::vector<RowsLost> lost_, recovered_;
  struct CatalogFix {
    bool type = false, flags = false;
  };
  std::vector<std::string> fromTemplate_, templateMisses_;
  std::set<uint32_t> dropRows_;           // catalog rows (RowPtr raw) of tables left out
  std::map<uint32_t, CatalogFix> fixes_;  // catalog rows (RowPtr raw) that hid their tables
  uint32_t current_ = 0;                  // position of the row being copied
  std::vector<uint8_t> row_, bytes_, data_;
  std::vector<uint32_t> pieces_;  // sizes of a memo/OLE value's pieces
  std::vector<EntryRef> refs_;
};

}  // namespace

WriteOutcome writeCompacted(const Database& src, OutputFile& out, const CompactOptions& options,
                            Pacer& pacer, const SortSpace& sort, const PageCensus& census,
                            const Database* templ) {
  return Compactor(src, out, options, pacer, sort, census, templ).run();
}

}  // namespace jet::compact

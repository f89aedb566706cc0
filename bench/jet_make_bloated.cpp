// Makes a large database full of dead space for the compaction benchmark:
// the demo database's Orders table grown to many rows, each live row followed
// by deleted copies, plus leaked and free pages, written with the engine's own
// page writers. Every index stays consistent with the rows.
//
// Usage: bench_jet_make_bloated OUT [MB] [TEMPLATE] [PASSWORD]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jet/Bytes.h"
#include "jet/CompactDigest.h"
#include "jet/CompactSource.h"
#include "jet/DataPageBuilder.h"
#include "jet/Engine.h"
#include "jet/Error.h"
#include "jet/IndexBuilder.h"
#include "jet/UsageMapBuilder.h"
#include "jet/WriteFile.h"
#include "jet/WritePages.h"

using namespace jet;
using namespace jet::compact;

namespace {

constexpr int kDeletedCopies = 2;  // dead rows after each live one

std::vector<uint8_t> longKey(int32_t id) {
  const uint32_t v = static_cast<uint32_t>(id) ^ 0x80000000u;
  return {0x7F, uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

int run(const std::string& outPath, uint64_t targetBytes, const std::string& templatePath,
        const std::string& password) {
  const std::string connect = password.empty() ? "" : ";pwd=" + password;
  // Start from a clean, compacted copy so the page layout is known.
  const std::string clean = outPath + ".template.tmp";
  ::unlink(clean.c_str());
  compactDatabase(templatePath, clean, connect);
  SourceFile src(clean, connect);
  ::unlink(clean.c_str());
  const Format& f = src.format();

  CatalogTable orders;
  for (const CatalogTable& t : readCatalogTables(src))
    if (t.name == "Orders") orders = t;
  if (orders.tdef == 0) throw Error(3049, "the template has no Orders table");
  SourceTable st = readTable(src, orders.tdef);
  TableDef& d = st.def;
  const std::vector<uint32_t> live = liveRows(src, d);
  std::vector<std::vector<uint8_t>> rows;
  for (uint32_t raw : live) rows.push_back(readRow(src, RowPtr::fromRaw(raw)));
  const RowIndex rowIndex(live, src.pageCount());
  // Key of every original row in every index.
  std::vector<std::vector<std::vector<uint8_t>>> keys(
      d.realIndexes.size(), std::vector<std::vector<uint8_t>>(live.size()));
  for (size_t k = 0; k < d.realIndexes.size(); ++k)
    forEachLeafEntry(src, d.realIndexes[k].rootPage, d.firstPage,
                     [&](const uint8_t* key, size_t n, RowPtr row) {
                       keys[k][rowIndex.find(row)].assign(key, key + n);
                     });
  const Column* id = nullptr;
  for (const Column& c : d.columns)
    if (c.flags & column_flag::kAutoNumber) id = &c;
  size_t pkIndex = SIZE_MAX;
  for (const LogicalIndex& l : d.logicalIndexes)
    if (l.primaryKey()) pkIndex = l.realIndex;
  if (!id || pkIndex == SIZE_MAX) throw Error(3049, "Orders has no AutoNumber primary key");
  const size_t idAt = 2 + id->fixedOffset;
  if (keys[pkIndex][0] != longKey(static_cast<int32_t>(le32(rows[0].data() + idAt))))
    throw Error(3049, "unexpected primary-key encoding");

  auto file = posixWriteFileSystem().createNew(outPath);
  PageSink sink(*file, f, src.dbKey());
  const uint32_t oldEnd = src.pageCount();
  std::vector<uint32_t> pinned;
  for (uint32_t pg = 0; pg < oldEnd; ++pg) pinned.push_back(pg);
  PageAllocator alloc(pinned);
  // Old pages as they are, but page 1 and the Orders definition, written last.
  // The old Orders data and index pages become leaked pages.
  for (uint32_t pg = 2; pg < oldEnd; ++pg)
    if (std::find(d.pages.begin(), d.pages.end(), pg) == d.pages.end())
      sink.write(pg, src.page(pg).copy());
  sink.write(0, src.page0());

  // Rows: live copies with fresh Ids, each followed by deleted copies.
  DataPageBuilder page(f, d.firstPage);
  uint32_t pg = 0;
  std::vector<uint32_t> dataPages;
  struct Entry {
    uint32_t original, ptr;
    int32_t id;
  };
  std::vector<Entry> entries;
  int32_t nextId = 0;
  for (const auto& r : rows) nextId = std::max(nextId, static_cast<int32_t>(le32(r.data() + idAt)));
  auto flush = [&]() {
    if (page.empty()) return;
    sink.write(pg, page.page());
    dataPages.push_back(pg);
    page.reset();
  };
  const uint64_t rowTarget = targetBytes * 7 / 10;
  while (uint64_t{sink.pagesWritten()} * f.pageSize < rowTarget) {
    for (uint32_t o = 0; o < rows.size(); ++o) {
      std::vector<uint8_t> row = rows[o];
      putLe32(row.data() + idAt, static_cast<uint32_t>(++nextId));
      for (int copy = 0; copy <= kDeletedCopies; ++copy) {
        if (!page.fits(row.size())) flush();
        if (page.empty()) pg = alloc.allocate();
        const uint8_t r = page.add(row.data(), row.size());
        if (copy == 0)
          entries.push_back({o, RowPtr{pg, r}.raw(), nextId});
        else
          page.setFlags(r, 0xC000);
      }
    }
  }
  flush();

  MapHolder holder(alloc, sink);
  std::vector<uint8_t>& b = d.buffer;
  for (size_t k = 0; k < d.realIndexes.size(); ++k) {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> sizes;
    for (const Entry& e : entries) {
      const std::vector<uint8_t> key = k == pkIndex ? longKey(e.id) : keys[k][e.original];
      bytes.insert(bytes.end(), key.begin(), key.end());
      const uint8_t ptr[4] = {uint8_t(e.ptr >> 24), uint8_t(e.ptr >> 16), uint8_t(e.ptr >> 8),
                              uint8_t(e.ptr)};
      bytes.insert(bytes.end(), ptr, ptr + 4);
      sizes.push_back(static_cast<uint32_t>(key.size() + 4));
    }
    std::vector<EntryRef> refs;
    size_t at = 0;
    for (uint32_t n : sizes) {
      refs.push_back({bytes.data() + at, n});
      at += n;
    }
    std::sort(refs.begin(), refs.end(), entryLess);
    uint32_t unique = 0;
    for (size_t i = 0; i < refs.size(); ++i)
      if (i == 0 || refs[i].size != refs[i - 1].size ||
          std::memcmp(refs[i].data, refs[i - 1].data, refs[i].size - 4) != 0)
        ++unique;
    const BuiltIndex built = buildIndex(refs, d.firstPage, alloc, sink);
    const RealIndex& r = d.realIndexes[k];
    putLe32(b.data() + r.countOffset + 4, unique);
    putLe32(b.data() + r.definitionOffset + f.realIdxUsageMap,
            holder.add(buildUsageMap(built.pages, alloc, sink)).raw());
    putLe32(b.data() + r.definitionOffset + f.realIdxRoot, built.root);
  }
  putLe32(b.data() + d.numRowsOffset, static_cast<uint32_t>(entries.size()));
  putLe32(b.data() + d.autoNumberOffset, static_cast<uint32_t>(nextId));
  putLe32(b.data() + d.ownedMapOffset, holder.add(buildUsageMap(dataPages, alloc, sink)).raw());
  putLe32(b.data() + d.freeMapOffset, holder.add(buildUsageMap({}, alloc, sink)).raw());
  holder.flush();
  for (size_t i = 0; i < d.pages.size(); ++i) {
    std::vector<uint8_t> p = st.rawPages[i];
    const uint32_t ps = f.pageSize;
    if (i == 0)
      std::memcpy(p.data(), b.data(), ps);
    else
      std::memcpy(p.data() + 8, b.data() + ps + (i - 1) * (ps - 8), ps - 8);
    sink.write(d.pages[i], std::move(p));
  }

  // Dead weight: copies of old pages nobody references, half of them marked free.
  std::vector<bool> used;
  std::vector<uint32_t> freeJunk;
  uint32_t source = 2;
  while (uint64_t{alloc.end()} * f.pageSize < targetBytes) {
    const uint32_t junk = alloc.allocate();
    sink.write(junk, src.page(source).copy());
    if (junk % 2) freeJunk.push_back(junk);
    source = source + 1 < oldEnd ? source + 1 : 2;
  }
  used.assign(alloc.end(), true);
  for (uint32_t j : freeJunk) used[j] = false;
  sink.write(1, buildGlobalMapPage(used, alloc, sink));
  for (uint32_t p = 2; p < alloc.end(); ++p)
    if (!sink.written(p)) sink.write(p, std::vector<uint8_t>(f.pageSize, 0));
  file->sync();
  file->close();
  std::printf("%s: %llu bytes, %u pages; Orders %zu live rows, %zu deleted; %zu free junk pages\n",
              outPath.c_str(), static_cast<unsigned long long>(uint64_t{alloc.end()} * f.pageSize),
              alloc.end(), entries.size(), entries.size() * kDeletedCopies, freeJunk.size());
  return 0;
}

// The demo database of this source tree.
std::string demoPath() {
  std::string here = __FILE__;
  const auto slash = here.find_last_of('/');
  here = slash == std::string::npos ? "bench" : here.substr(0, slash);
  return here + "/../demo/Ledgerwick.mdb";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help") {
    std::printf(
        "Usage: %s OUT [MB] [TEMPLATE] [PASSWORD]\n"
        "Writes a bloated copy of TEMPLATE (default demo/Ledgerwick.mdb) of about MB megabytes "
        "(default 220).\n",
        argv[0]);
    return argc < 2 ? 2 : 0;
  }
  const uint64_t mb = argc > 2 ? std::stoull(argv[2]) : 220;
  const std::string tmpl = argc > 3 ? argv[3] : demoPath();
  const std::string pw = argc > 4 ? argv[4] : (argc > 3 ? "" : "m0ssb4nk7q");
  try {
    return run(argv[1], mb << 20, tmpl, pw);
  } catch (const Error& e) {
    std::fprintf(stderr, "error %d: %s\n", e.number(), e.what());
    ::unlink(argv[1]);
    return 3;
  }
}

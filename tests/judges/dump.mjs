// Dumps a Jet database as mdb-reader sees it: one line per table, rows
// sorted, so two files with the same data in another order compare equal.
// Usage: node dump.mjs FILE [PASSWORD] [--ids JSON]
// --ids {"columns":{TABLE:[COLUMN,...]},"ids":{"OLD":NEW}} reads the Ids
// those columns hold as another file's (its tables moved).
import MDBReader from "mdb-reader";
import { readFileSync } from "node:fs";

const args = process.argv.slice(2);
const at = args.indexOf("--ids");
const { columns = {}, ids = {} } = at < 0 ? {} : JSON.parse(args.splice(at, 2)[1]);
const [file, password] = args;
const mapped = (name, row) => {
  for (const column of columns[name] ?? [])
    if (row[column] != null && String(row[column]) in ids) row[column] = ids[String(row[column])];
  return row;
};
const reader = new MDBReader(readFileSync(file), password ? { password } : {});
const plain = (key, value) => (typeof value === "bigint" ? value.toString() : value);
const names = reader.getTableNames({ normalTables: true, systemTables: true }).sort();
for (const name of names) {
  let line;
  try {
    const table = reader.getTable(name);
    const rows = table.getData().map((row) => JSON.stringify(mapped(name, row), plain));
    rows.sort();
    line = { table: name, columns: table.getColumnNames(), rows };
  } catch (e) {
    // Some system tables hold column types the reader does not know.
    line = { table: name, error: String(e.message) };
  }
  process.stdout.write(JSON.stringify(line) + "\n");
}

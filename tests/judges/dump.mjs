// Dumps a Jet database as mdb-reader sees it: one line per table, rows
// sorted, so two files with the same data in another order compare equal.
// Usage: node dump.mjs FILE [PASSWORD]
import MDBReader from "mdb-reader";
import { readFileSync } from "node:fs";

const [, , file, password] = process.argv;
const reader = new MDBReader(readFileSync(file), password ? { password } : {});
const plain = (key, value) => (typeof value === "bigint" ? value.toString() : value);
const names = reader.getTableNames({ normalTables: true, systemTables: true }).sort();
for (const name of names) {
  let line;
  try {
    const table = reader.getTable(name);
    const rows = table.getData().map((row) => JSON.stringify(row, plain));
    rows.sort();
    line = { table: name, columns: table.getColumnNames(), rows };
  } catch (e) {
    // Some system tables hold column types the reader does not know.
    line = { table: name, error: String(e.message) };
  }
  process.stdout.write(JSON.stringify(line) + "\n");
}

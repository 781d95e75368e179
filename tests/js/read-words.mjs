// Prints the `word` column of the `words` table of an Access file, one value per line, in
// table order. Used by the database builder's tests as a reader independent of libmdb.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const file = process.argv[2];
if (!file) {
    process.stderr.write("usage: node read-words.mjs FILE\n");
    process.exit(2);
}
try {
    const reader = new MDBReader(readFileSync(file));
    const rows = reader.getTable("words").getData({ columns: ["word"] });
    const out = rows.map((row) => (row.word === null ? "<NULL>" : row.word) + "\n").join("");
    process.stdout.write(out);
} catch (err) {
    process.stderr.write(`read-words: ${file}: ${err.message}\n`);
    process.exit(1);
}

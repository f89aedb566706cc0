// Writes tests/data/jet/jackcess-generalKeys-V2000.mdb: a Jet 4 file whose
// text indexes, under both Jet 4 sort orders (General, version 1, which no
// other test file uses, and General legacy, version 0), were written by
// Jackcess, another library; `jetdb check --deep` makes the same keys from
// the rows. Ascending, descending and multi-column indexes over accents,
// case, hyphens, kana, CJK, trailing spaces, characters that sort as two
// letters (ß, æ, œ, ĳ, ﬁ, þ) before accented ones, NUL and other control
// characters, and a character every 211 of the whole BMP. Besides, a unique
// index over two columns.
//   cp=jackcess.jar:commons-lang3.jar:commons-logging.jar
//   javac -encoding UTF-8 -cp $cp -d /tmp tools/GenTextKeys.java
//   java -cp $cp:/tmp GenTextKeys OUT.mdb
import com.healthmarketscience.jackcess.ColumnBuilder;
import com.healthmarketscience.jackcess.DataType;
import com.healthmarketscience.jackcess.Database;
import com.healthmarketscience.jackcess.DatabaseBuilder;
import com.healthmarketscience.jackcess.IndexBuilder;
import com.healthmarketscience.jackcess.Table;
import com.healthmarketscience.jackcess.TableBuilder;
import com.healthmarketscience.jackcess.impl.ColumnImpl;
import java.io.File;
import java.util.Random;

public class GenTextKeys {
  static ColumnBuilder text(String name, int length, ColumnImpl.SortOrder order) {
    ColumnBuilder c = new ColumnBuilder(name, DataType.TEXT).setLengthInUnits(length);
    c.setTextSortOrder(order);
    return c;
  }

  public static void main(String[] args) throws Exception {
    File out = new File(args[0]);
    out.delete();
    Database db = DatabaseBuilder.create(Database.FileFormat.V2000, out);
    Table t = new TableBuilder("Words")
        .addColumn(new ColumnBuilder("ID", DataType.LONG).setAutoNumber(true))
        .addColumn(text("Word", 255, ColumnImpl.GENERAL_SORT_ORDER))
        .addColumn(text("Other", 50, ColumnImpl.GENERAL_SORT_ORDER))
        .addColumn(text("Legacy", 255, ColumnImpl.GENERAL_LEGACY_SORT_ORDER))
        .addColumn(new ColumnBuilder("N", DataType.DOUBLE))
        .addIndex(new IndexBuilder(IndexBuilder.PRIMARY_KEY_NAME).addColumns("ID").setPrimaryKey())
        .addIndex(new IndexBuilder("ixWord").addColumns("Word"))
        .addIndex(new IndexBuilder("ixWordDesc").addColumns(false, "Word"))
        .addIndex(new IndexBuilder("ixMulti").addColumns(false, "Other").addColumns(true, "Word", "N"))
        .addIndex(new IndexBuilder("ixLegacy").addColumns("Legacy"))
        .addIndex(new IndexBuilder("ixLegacyDesc").addColumns(false, "Legacy"))
        .toTable(db);
    String[] words = {"co-op", "coop", "Co-Op", "it's", "its", "ÄÖÜ", "äöü", "éclair", "Eclair",
        "ß", "ss", "Straße", "Ω", "ω", "日本語", "ｶﾀｶﾅ", "カタカナ", "ァア", "ﬁ", "Æ", "æ", "Œuvre",
        "a\u0301", "á", "   ", "trail   ", "x\u00A0", "-", "--a", "'", "Ǆ", "ǅ", "ǆ", "İ", "ı",
        "ßé", "æé", "Æé", "œé", "Süßwaren", "Plutzer Lebensmittelgroßmärkte AG", "ĳ", "Ĳé",
        "ﬁé", "ﬂ", "aﬂé", "þ", "Þé", "ð", "Ðé", "ßa\u0301", "co-ßé", "\u0000", "a\u0000é",
        "\t", "a\tb", "\u0001", "x\u001Fé", "\u007F", "\r\n", "ß\u0001é"};
    Random r = new Random(7);
    for (String w : words) t.addRow(null, w, w, w, r.nextDouble());
    int[] blocks = {0x20, 0x250, 0x370, 0x400, 0x590, 0x600, 0x900, 0xE00, 0x1E00, 0x2000, 0x3040,
        0x4E00, 0xAC00, 0xF900, 0xFF00};
    for (int i = 0; i < 150; ++i) {
      StringBuilder w = new StringBuilder();
      int length = 1 + r.nextInt(i % 50 == 0 ? 40 : 12);
      for (int k = 0; k < length; ++k) {
        char c = (char) (blocks[r.nextInt(blocks.length)] + r.nextInt(0x80));
        w.append(Character.isSurrogate(c) ? 'x' : c);
      }
      if (r.nextInt(10) == 0) w.append("   ");
      String s = w.toString();
      t.addRow(null, s, s.length() > 50 ? s.substring(0, 50) : s, s,
          r.nextInt(5) == 0 ? null : r.nextDouble() - 0.5);
    }
    for (int c = 1; c < 0xFFFE; c += 211)
      if (!Character.isSurrogate((char) c))
        t.addRow(null, "a" + (char) c + "b", "" + (char) c, "a" + (char) c + "é", (double) c);
    // A unique index over two columns, descending, holding a key of nulls twice.
    Table pairs = new TableBuilder("Pairs")
        .addColumn(new ColumnBuilder("A", DataType.LONG))
        .addColumn(new ColumnBuilder("B", DataType.LONG))
        .addIndex(new IndexBuilder("ixPair").addColumns(false, "A", "B").setUnique())
        .toTable(db);
    Integer[][] rows = {{4, 1}, {2, 2}, {1, 3}, {1, 2}, {null, null}, {null, null}};
    for (Integer[] p : rows) pairs.addRow((Object[]) p);
    db.close();
  }
}

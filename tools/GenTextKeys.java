// Writes tests/data/jet/jackcess-generalKeys-V2000.mdb: a Jet 4 file whose
// text indexes, under Jet 4's General sort order (version 1, which no other
// test file uses), were written by Jackcess, another library; `jetdb check
// --deep` makes the same keys from the rows. Ascending, descending and
// multi-column indexes over accents, case, hyphens, kana, CJK, trailing
// spaces and a character every 211 of the whole BMP.
//   cp=jackcess.jar:commons-lang3.jar:commons-logging.jar
//   javac -cp $cp -d /tmp tools/GenTextKeys.java
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
  static ColumnBuilder text(String name, int length) {
    ColumnBuilder c = new ColumnBuilder(name, DataType.TEXT).setLengthInUnits(length);
    c.setTextSortOrder(ColumnImpl.GENERAL_SORT_ORDER);
    return c;
  }

  public static void main(String[] args) throws Exception {
    File out = new File(args[0]);
    out.delete();
    Database db = DatabaseBuilder.create(Database.FileFormat.V2000, out);
    Table t = new TableBuilder("Words")
        .addColumn(new ColumnBuilder("ID", DataType.LONG).setAutoNumber(true))
        .addColumn(text("Word", 255))
        .addColumn(text("Other", 50))
        .addColumn(new ColumnBuilder("N", DataType.DOUBLE))
        .addIndex(new IndexBuilder(IndexBuilder.PRIMARY_KEY_NAME).addColumns("ID").setPrimaryKey())
        .addIndex(new IndexBuilder("ixWord").addColumns("Word"))
        .addIndex(new IndexBuilder("ixWordDesc").addColumns(false, "Word"))
        .addIndex(new IndexBuilder("ixMulti").addColumns(false, "Other").addColumns(true, "Word", "N"))
        .toTable(db);
    String[] words = {"co-op", "coop", "Co-Op", "it's", "its", "ÄÖÜ", "äöü", "éclair", "Eclair",
        "ß", "ss", "Straße", "Ω", "ω", "日本語", "ｶﾀｶﾅ", "カタカナ", "ァア", "ﬁ", "Æ", "æ", "Œuvre",
        "a\u0301", "á", "   ", "trail   ", "x\u00A0", "-", "--a", "'", "Ǆ", "ǅ", "ǆ", "İ", "ı"};
    Random r = new Random(7);
    for (String w : words) t.addRow(null, w, w, r.nextDouble());
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
      t.addRow(null, s, s.length() > 50 ? s.substring(0, 50) : s,
          r.nextInt(5) == 0 ? null : r.nextDouble() - 0.5);
    }
    for (int c = 1; c < 0xFFFE; c += 211)
      if (!Character.isSurrogate((char) c)) t.addRow(null, "a" + (char) c + "b", "" + (char) c, (double) c);
    db.close();
  }
}

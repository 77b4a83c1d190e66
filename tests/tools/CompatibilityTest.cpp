// Files written by the engine read by other dBASE readers (Debian's python3-dbfread and the
// Perl XBase module with its dbf_dump / index_dump), and files written by Perl XBase read and
// changed by the engine. The readers are used as black boxes: run, their output compared.

#include <gtest/gtest.h>
#include <iconv.h>

#include <map>
#include <sstream>

#include "recall/DeletedNotes.h"
#include "store/engine/Table.h"
#include "tests/tools/ToolTestSupport.h"
#include "tools/NoteTable.h"

namespace tindrel::test {
namespace {

using engine::Table;

const char kPython[] = "/usr/bin/python3";
const char kPerl[] = "/usr/bin/perl";
const char kIndexDump[] = "/usr/bin/index_dump";
const char kDbfDump[] = "/usr/bin/dbf_dump";

bool DbfreadAvailable() {
  return ProgramAvailable(kPython) && RunProcess({kPython, "-c", "import dbfread"}).status == 0;
}
bool PerlXBaseAvailable() { return ProgramAvailable(kPerl) && RunProcess({kPerl, "-MXBase", "-e", "1"}).status == 0; }

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> Split(const std::string& s, char by) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, by)) parts.push_back(part);
  return parts;
}

// One line per record, each value hex-encoded and separated by tabs; "-" for no value.
std::vector<std::vector<std::string>> Rows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : Split(out, '\n')) {
    if (line.empty()) continue;
    std::vector<std::string> row;
    for (const std::string& cell : Split(line, '\t')) row.push_back(cell == "-" ? std::string() : Unhex(cell));
    rows.push_back(row);
  }
  return rows;
}

std::string Utf8ToCp1253(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1253", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* o = out.data();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

size_t CodePoints(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The first `chars` characters of a UTF-8 text.
std::string FirstChars(const std::string& s, size_t chars) {
  size_t at = 0;
  for (size_t n = 0; at < s.size(); ++at) {
    if ((static_cast<unsigned char>(s[at]) & 0xC0) != 0x80 && n++ == chars) break;
  }
  return s.substr(0, at);
}

struct NoteRow {
  int64_t id;
  int64_t parent;
  std::string title;  // UTF-8
  std::string memo;   // UTF-8
  bool deleted = false;
};

std::string GreekText(size_t chars) {
  const std::string words[] = {"Αθήνα", "θάλασσα", "ουρανός", "ΐδιο", "αϋπνία", "Ωραίο", "καλημέρα"};
  std::string s;
  size_t n = 0, k = 0;
  while (n < chars) {
    const std::string piece = (n ? (k % 9 == 8 ? "\r\n" : " ") : "") + words[k % 7];
    s += piece;
    n += CodePoints(piece);
    ++k;
  }
  return s;
}

// A note table the engine made and then changed: appends, edits with memos growing past
// several blocks, shrinking and vanishing, deletes. Returns the notes by record number.
std::vector<NoteRow> MakeChangedNoteTable(const std::string& path) {
  Table::Create(path, tools::NoteTableSpec());
  auto t = Table::Open(path);
  const int id = t->FieldIndex("ID"), parent = t->FieldIndex("Parent"), text = t->FieldIndex("Text"),
            memo = t->FieldIndex("MEMO");
  std::vector<NoteRow> rows;
  auto store = [&](engine::Record& rec, const NoteRow& n) {
    t->SetText(rec, id, std::to_string(n.id));
    if (n.parent) {
      t->SetText(rec, parent, std::to_string(n.parent));
    } else {
      t->SetBlank(rec, parent);
    }
    t->SetText(rec, text, n.title);
    if (n.memo.empty()) {
      t->SetBlank(rec, memo);
    } else {
      rec.pendingMemos[memo] = t->EncodeText(n.memo, "MEMO");
    }
  };
  for (int i = 1; i <= 36; ++i) {
    NoteRow n{(i * 37) % 101, i > 1 ? (((i / 2) * 37) % 101) : 0, "", ""};
    n.title = i % 2 ? "Note " + std::to_string(i) + " about the garden" : "Σημείωση " + std::to_string(i) + " για τον κήπο";
    if (i == 6) n.title = std::string(100, 'W');
    if (i % 5 != 0) n.memo = i % 3 ? GreekText(static_cast<size_t>(i) * 41) : std::string(static_cast<size_t>(i) * 29, 'm');
    if (i == 7) n.memo = GreekText(9000);  // many blocks
    auto rec = t->BlankRecord();
    store(rec, n);
    t->Append(rec);
    rows.push_back(n);
  }
  for (int recno : {3, 8, 11, 15, 20, 27}) {
    NoteRow& n = rows[recno - 1];
    n.title = "Edited " + FirstChars(n.title, 40);
    n.memo += "\r\n" + GreekText(1500 + static_cast<size_t>(recno) * 50);  // grows past several blocks
    auto rec = t->ReadRecord(recno);
    store(rec, n);
    t->Modify(rec);
  }
  rows[6].memo = "short now";  // a long memo shrinks
  rows[11].memo.clear();       // a memo is removed
  for (int recno : {7, 12}) {
    auto rec = t->ReadRecord(recno);
    store(rec, rows[recno - 1]);
    t->Modify(rec);
  }
  for (int recno : {4, 13, 30}) {
    t->Delete(recno);
    rows[recno - 1].deleted = true;
  }
  EXPECT_TRUE(t->Check().empty());
  return rows;
}

const char kDbfreadScript[] = R"PY(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], char_decode_errors='replace')
assert t.encoding == 'cp1253', t.encoding
def cell(v):
    if v is None: return '-'
    return str(v).encode('utf-8').hex()
for r in t:
    print('\t'.join(cell(v) for v in r.values()))
print('deleted', len(t.deleted))
)PY";

// The live rows python3-dbfread reads from the table at `path`, after checking that it counts
// `deleted` deleted records.
void ReadWithDbfread(const std::string& path, size_t deleted, std::vector<std::vector<std::string>>& rows) {
  const ProcessResult read = RunProcess({kPython, "-c", kDbfreadScript, path});
  ASSERT_EQ(read.status, 0) << read.err;
  const size_t lastLine = read.out.rfind("deleted ");
  ASSERT_NE(lastLine, std::string::npos) << read.out;
  EXPECT_EQ(read.out.substr(lastLine), "deleted " + std::to_string(deleted) + "\n");
  rows = Rows(read.out.substr(0, lastLine));
}

TEST(Compatibility, DbfreadReadsWhatTheEngineWrote) {
  if (!DbfreadAvailable()) GTEST_SKIP() << "python3-dbfread is not installed";
  TempDir dir;
  const std::string path = dir / "Tindrel.dbf";
  const auto notes = MakeChangedNoteTable(path);
  std::vector<std::vector<std::string>> rows;
  ASSERT_NO_FATAL_FAILURE(ReadWithDbfread(path, 3, rows));
  std::vector<NoteRow> live;
  for (const auto& n : notes)
    if (!n.deleted) live.push_back(n);
  ASSERT_EQ(rows.size(), live.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("live record " + std::to_string(i + 1));
    ASSERT_EQ(rows[i].size(), 4u);
    EXPECT_EQ(rows[i][0], std::to_string(live[i].id));
    EXPECT_EQ(rows[i][1], live[i].parent ? std::to_string(live[i].parent) : "");
    EXPECT_EQ(rows[i][2], live[i].title);
    // dbfread takes the dBASE IV memo length as the data length, so it returns up to 8
    // bytes past the memo (the block's fill); the memo itself must be exact.
    const std::string& got = rows[i][3];
    EXPECT_EQ(got.substr(0, live[i].memo.size()), live[i].memo);
    EXPECT_LE(CodePoints(std::string_view(got).substr(std::min(got.size(), live[i].memo.size()))), 8u);
  }
}

const char kPerlReadScript[] = R"PL(
use XBase;
my $t = XBase->new(shift) or die XBase->errstr;
for my $i (0 .. $t->last_record) {
  my ($del, @v) = $t->get_record($i) or die $t->errstr;
  print join("\t", $del ? "2a" : "20", map { defined $_ && length $_ ? unpack("H*", $_) : "-" } @v), "\n";
}
)PL";

TEST(Compatibility, PerlXBaseReadsRecordsMemosAndIndexKeys) {
  if (!PerlXBaseAvailable() || !ProgramAvailable(kIndexDump)) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  TempDir dir;
  const std::string path = dir / "Tindrel.dbf";
  const auto notes = MakeChangedNoteTable(path);
  auto t = Table::Open(path);
  const ProcessResult r = RunProcess({kPerl, "-e", kPerlReadScript, path});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = Rows(r.out);
  ASSERT_EQ(rows.size(), notes.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i + 1));
    ASSERT_EQ(rows[i].size(), 5u);
    EXPECT_EQ(rows[i][0], notes[i].deleted ? "*" : " ");
    EXPECT_EQ(rows[i][1], std::to_string(notes[i].id));
    EXPECT_EQ(rows[i][2], notes[i].parent ? std::to_string(notes[i].parent) : "");
    EXPECT_EQ(rows[i][3], Utf8ToCp1253(notes[i].title));
    EXPECT_EQ(rows[i][4], Utf8ToCp1253(notes[i].memo));
  }

  // dbf_dump prints the live records; separators that no value holds keep memos with line
  // breaks in one piece.
  if (ProgramAvailable(kDbfDump)) {
    const ProcessResult d = RunProcess({kDbfDump, "--fs", "<|>", "--rs", "<#>\n", path});
    ASSERT_EQ(d.status, 0) << d.err;
    std::vector<std::vector<std::string>> records;
    for (size_t at = 0, end; (end = d.out.find("<#>\n", at)) != std::string::npos; at = end + 4) {
      std::vector<std::string> values;
      const std::string line = d.out.substr(at, end - at);
      for (size_t from = 0, sep;; from = sep + 3) {
        sep = line.find("<|>", from);
        values.push_back(line.substr(from, sep == std::string::npos ? std::string::npos : sep - from));
        if (sep == std::string::npos) break;
      }
      records.push_back(values);
    }
    size_t live = 0;
    for (const auto& n : notes) {
      if (n.deleted) continue;
      ASSERT_LT(live, records.size());
      const auto& v = records[live++];
      ASSERT_EQ(v.size(), 4u);
      EXPECT_EQ(v[0], std::to_string(n.id));
      EXPECT_EQ(v[1], n.parent ? std::to_string(n.parent) : "");
      EXPECT_EQ(v[2], Utf8ToCp1253(n.title));
      EXPECT_EQ(v[3], Utf8ToCp1253(n.memo)) << "record of note " << n.id;
    }
    EXPECT_EQ(records.size(), live);
  }

  // index_dump prints each entry of the tag in order: the 12 key bytes, blanks, the record.
  const ProcessResult dump = RunProcess({kIndexDump, dir / "Tindrel.mdx", "ID"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  std::vector<std::pair<std::string, uint32_t>> entries;
  for (const std::string& line : Split(dump.out, '\n')) {
    if (line.size() <= 12) continue;
    entries.emplace_back(line.substr(0, 12), static_cast<uint32_t>(std::stoul(line.substr(12))));
  }
  const auto* index = t->Index();
  const int tag = index->FindTag("ID");
  ASSERT_EQ(entries.size(), index->EntryCount(tag));
  std::vector<std::pair<int64_t, uint32_t>> byId;
  for (size_t i = 0; i < notes.size(); ++i)
    if (!notes[i].deleted) byId.emplace_back(notes[i].id, static_cast<uint32_t>(i + 1));
  std::sort(byId.begin(), byId.end());
  ASSERT_EQ(entries.size(), byId.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].second, byId[i].second) << "entry " << i << ": records in ascending ID order";
    EXPECT_EQ(Hex(entries[i].first), Hex(index->EntryAt(tag, i).key)) << "entry " << i;
  }
}

// Perl XBase writes a dBASE III table with memos (no language driver: the engine is told the
// code page); the engine reads it, changes it, and Perl reads the changes back.
TEST(Compatibility, EngineReadsAndChangesATablePerlXBaseWrote) {
  if (!PerlXBaseAvailable()) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  TempDir dir;
  const std::string path = dir / "perl.dbf";
  struct Row {
    std::string id, parent, text, memo, born, done, price;
  };
  const std::vector<Row> written = {
      {"1", "", "Πρώτη σημείωση", "Γραμμή ένα\r\nline two", "20240229", "T", "12.50"},
      {"2", "1", "second", std::string(3000, 'x') + "τέλος", "19991231", "F", "-3.00"},
      {"3", "1", "third, deleted", "gone", "20000101", "T", "0.00"},
      {"4", "2", "Ωμέγα", "", "", "", ""},
  };
  std::string script =
      "use XBase;\n"
      "my $t = XBase->create(name => shift, field_names => [qw(ID PARENT TEXT MEMO BORN DONE PRICE)],\n"
      "  field_types => [qw(N N C M D L N)], field_lengths => [10,10,60,10,8,1,10],\n"
      "  field_decimals => [0,0,undef,undef,undef,undef,2]) or die XBase->errstr;\n"
      "my $i = 0;\n"
      "for my $row (@ARGV) {\n"
      "  my @v = map { $_ eq '-' ? undef : pack('H*', $_) } split /,/, $row, -1;\n"
      "  $t->set_record($i++, @v) or die $t->errstr;\n"
      "}\n"
      "$t->delete_record(2);\n"
      "$t->close;\n";
  std::vector<std::string> argv = {kPerl, "-e", script, path};
  for (const Row& row : written) {
    std::string arg;
    // Perl takes a logical as a truth value, and every non-empty text but "0" is true.
    const std::string done = row.done.empty() ? "" : row.done == "T" ? "1" : "0";
    for (const std::string* v : {&row.id, &row.parent, &row.text, &row.memo, &row.born, &done, &row.price})
      arg += (arg.empty() ? "" : ",") + (v->empty() ? std::string("-") : Hex(Utf8ToCp1253(*v)));
    argv.push_back(arg);
  }
  const ProcessResult made = RunProcess(argv);
  ASSERT_EQ(made.status, 0) << made.err;

  engine::OpenOptions options;
  options.defaultCodePage = 1253;
  {
    auto t = Table::Open(path, options);
    ASSERT_EQ(t->RecordCount(), written.size());
    EXPECT_EQ(t->Index(), nullptr);
    for (uint32_t recno = 1; recno <= t->RecordCount(); ++recno) {
      SCOPED_TRACE("record " + std::to_string(recno));
      const auto rec = t->ReadRecord(recno);
      const Row& w = written[recno - 1];
      EXPECT_EQ(rec.IsDeleted(), recno == 3);
      const std::vector<std::string> want = {w.id, w.parent, w.text, w.memo, w.born, w.done, w.price};
      for (int f = 0; f < 7; ++f) EXPECT_EQ(t->GetText(rec, f), want[f]) << t->Fields()[f].name;
    }
    EXPECT_TRUE(t->Check().empty());

    // Changes by the engine: a longer memo on record 1, a new record with a memo.
    auto rec = t->ReadRecord(1);
    t->SetText(rec, t->FieldIndex("TEXT"), "Πρώτη, αλλαγμένη");
    rec.pendingMemos[t->FieldIndex("MEMO")] = t->EncodeText(std::string(1200, 'y') + "\r\nΤέλος", "MEMO");
    t->Modify(rec);
    auto added = t->BlankRecord();
    t->SetText(added, 0, "5");
    t->SetText(added, 2, "πέμπτη");
    t->SetText(added, 4, "20261210");
    t->SetText(added, 5, "F");
    t->SetText(added, 6, "7.25");
    added.pendingMemos[3] = t->EncodeText("μνήμη πέντε", "MEMO");
    t->Append(added);
    EXPECT_TRUE(t->Check().empty());
  }
  const ProcessResult r = RunProcess({kPerl, "-e", kPerlReadScript, path});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = Rows(r.out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0][3], Utf8ToCp1253("Πρώτη, αλλαγμένη"));
  EXPECT_EQ(rows[0][4], std::string(1200, 'y') + Utf8ToCp1253("\r\nΤέλος"));
  EXPECT_EQ(rows[1][4], Utf8ToCp1253(written[1].memo)) << "an untouched memo stays";
  EXPECT_EQ(rows[2][0], "*");
  EXPECT_EQ(rows[4][0], " ");
  EXPECT_EQ(rows[4][1], "5");
  EXPECT_EQ(rows[4][3], Utf8ToCp1253("πέμπτη"));
  EXPECT_EQ(rows[4][4], Utf8ToCp1253("μνήμη πέντε"));
  EXPECT_EQ(rows[4][5], "20261210");
  EXPECT_EQ(rows[4][6], "0") << "Perl gives a false logical as 0";
  EXPECT_EQ(std::stod(rows[4][7]), 7.25);
}

// A table Perl XBase wrote without an index gets one from the engine (the table header marks
// it, the index file is new): Perl still reads every record, and its index_dump reads the new
// tag's keys in ID order.
TEST(Compatibility, PerlXBaseReadsATableAndTheIndexTheEngineGaveIt) {
  if (!PerlXBaseAvailable() || !ProgramAvailable(kIndexDump)) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  TempDir dir;
  const std::string path = dir / "notes.dbf";
  const ProcessResult made = RunProcess(
      {kPerl, "-e",
       "use XBase;\n"
       "my $t = XBase->create(name => shift, field_names => [qw(ID PARENT TEXT MEMO)],\n"
       "  field_types => [qw(N N C M)], field_lengths => [10, 10, 64, 10], field_decimals => [0, 0, undef, undef])\n"
       "  or die XBase->errstr;\n"
       "my $i = 0;\n"
       "for my $id (30, 4, 17, 250, 9) { $t->set_record($i++, $id, $id == 30 ? undef : 30, \"note $id\", \"text $id\") }\n"
       "$t->close;\n",
       path});
  ASSERT_EQ(made.status, 0) << made.err;
  {
    auto t = Table::Open(path);
    ASSERT_EQ(t->Index(), nullptr);
    t->AddIndexTag({"ID", "ID"});
    EXPECT_TRUE(t->Check().empty());
  }
  const ProcessResult r = RunProcess({kPerl, "-e", kPerlReadScript, path});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = Rows(r.out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3][1], "250");
  EXPECT_EQ(rows[3][4], "text 250");

  const ProcessResult dump = RunProcess({kIndexDump, dir / "notes.mdx", "ID"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  std::vector<uint32_t> order;
  for (const std::string& line : Split(dump.out, '\n'))
    if (line.size() > 12) order.push_back(static_cast<uint32_t>(std::stoul(line.substr(12))));
  EXPECT_EQ(order, (std::vector<uint32_t>{2, 5, 3, 1, 4})) << "records in ascending ID order: 4, 9, 17, 30, 250";
}

// A table whose deleted subtree was recalled, one of its notes with a fresh ID because a new note
// took its old one: python3-dbfread reads every live record as the engine does (the recalled
// ones live again), and Perl XBase's index_dump reads the ID tag with every live record once, in
// ascending ID order, the fresh ID last.
TEST(Compatibility, OtherReadersReadARecalledTableWithItsKeysInOrder) {
  if (!DbfreadAvailable()) GTEST_SKIP() << "python3-dbfread is not installed";
  if (!PerlXBaseAvailable() || !ProgramAvailable(kIndexDump)) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  TempDir dir;
  const std::string path = dir / "Tindrel.dbf";
  MakeChangedNoteTable(path);  // records 4, 13 and 30 deleted
  auto t = Table::Open(path);
  const int idField = t->FieldIndex("ID"), textField = t->FieldIndex("Text");
  // Record k hangs below record k / 2: record 5 holds 10 and 11, which hold 20 to 23.
  for (uint32_t recno : {23, 22, 21, 20, 11, 10, 5}) t->Delete(recno);
  engine::Record taker = t->BlankRecord();
  t->SetText(taker, idField, t->GetText(t->ReadRecord(10), idField));
  t->SetText(taker, textField, "A new note with an old ID");
  t->Append(taker);
  const recall::RecallSummary summary = recall::RecallSubtree(*t, 5);
  ASSERT_EQ(summary.notes, 7u);
  ASSERT_EQ(summary.renumbered.size(), 1u);
  ASSERT_TRUE(t->Check().empty()) << t->Check().front();

  struct Live {
    uint32_t recno;
    std::vector<std::string> values;  // ID, Parent, Text, MEMO as the engine reads them
  };
  std::vector<Live> live;
  for (uint32_t recno = 1; recno <= t->RecordCount(); ++recno) {
    const engine::Record r = t->ReadRecord(recno);
    if (r.IsDeleted()) continue;
    Live row{recno, {}};
    for (int f = 0; f < 4; ++f) row.values.push_back(t->GetText(r, f));
    live.push_back(row);
  }
  ASSERT_EQ(live.size(), 37u - 3u);

  std::vector<std::vector<std::string>> rows;
  ASSERT_NO_FATAL_FAILURE(ReadWithDbfread(path, 3, rows));
  ASSERT_EQ(rows.size(), live.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(live[i].recno));
    ASSERT_EQ(rows[i].size(), 4u);
    for (size_t f = 0; f < 3; ++f) EXPECT_EQ(rows[i][f], live[i].values[f]);
    // dbfread reads up to 8 bytes of a dBASE IV memo block's fill past the memo.
    EXPECT_EQ(rows[i][3].substr(0, live[i].values[3].size()), live[i].values[3]);
  }

  const ProcessResult dump = RunProcess({kIndexDump, dir / "Tindrel.mdx", "ID"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  std::vector<uint32_t> order;
  for (const std::string& line : Split(dump.out, '\n'))
    if (line.size() > 12) order.push_back(static_cast<uint32_t>(std::stoul(line.substr(12))));
  std::vector<std::pair<int64_t, uint32_t>> byId;
  for (const Live& row : live) byId.emplace_back(std::stoll(row.values[0]), row.recno);
  std::sort(byId.begin(), byId.end());
  std::vector<uint32_t> expected;
  for (const auto& [id, recno] : byId) expected.push_back(recno);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(order.back(), 10u) << "the fresh ID is the largest";
}

}  // namespace
}  // namespace tindrel::test

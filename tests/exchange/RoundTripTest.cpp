// Round trips at scale: the generated table of 10,000 notes (English and Greek titles, memos up
// to 64 KiB, a random tree) exported to each format that can be read back, read into a new table
// as `tindrel-table create --from` makes one, and compared with the original note by note: title,
// memo, the note above it and the order of siblings. Both tables hold code page 1253, which maps
// bytes and characters one to one, so equal memo texts are equal memo bytes.
//
// The folder tree costs a file per note on the disk (about 3 ms a note on the shared test machine
// while it builds, mostly the file system's own time): by default it goes round with 500
// generated notes, and with the 10,000 under TINDREL_LONG_TESTS=1.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "exchange/Exchange.h"
#include "exchange/TableOutline.h"
#include "store/engine/Table.h"
#include "tests/exchange/OutlineText.h"
#include "tests/support/engine/TempFolder.h"
#include "tools/NoteTable.h"
#include "tools/OutlineNotes.h"

namespace tindrel::exchange {
namespace {

using namespace testing;
using engine::testing::TempFolder;

uint32_t NotesFor(Format format) {
  const bool longTests = std::getenv("TINDREL_LONG_TESTS") && std::string(std::getenv("TINDREL_LONG_TESTS")) == "1";
  return format == Format::MarkdownFolder && !longTests ? 500 : 10000;
}

class RoundTripTest : public ::testing::TestWithParam<Format> {
 protected:
  static void TearDownTestSuite() { sources_.clear(); }
  // The generated table of `count` notes, made once.
  static std::string Source(uint32_t count) {
    auto& folder = sources_[count];
    if (!folder) {
      folder = std::make_unique<TempFolder>();
      tools::CreateNoteTable(folder->Path(), tools::RandomNotes(count, 19));
    }
    return tools::NoteTablePath(folder->Path());
  }
  static std::map<uint32_t, std::unique_ptr<TempFolder>> sources_;
};
std::map<uint32_t, std::unique_ptr<TempFolder>> RoundTripTest::sources_;

// The first difference between two outlines, or "".
std::string FirstDifference(const Outline& a, const Outline& b) {
  if (a.notes.size() != b.notes.size())
    return std::to_string(a.notes.size()) + " notes against " + std::to_string(b.notes.size());
  for (size_t i = 0; i < a.notes.size(); ++i) {
    const OutlineNote &x = a.notes[i], &y = b.notes[i];
    if (x.title != y.title || x.memo != y.memo || x.parent != y.parent)
      return "note " + std::to_string(i) + ": \"" + Visible(x.title) + "\" under " + std::to_string(x.parent) +
             " against \"" + Visible(y.title) + "\" under " + std::to_string(y.parent) +
             (x.memo != y.memo ? " (the memos differ)" : "");
  }
  return "";
}

TEST_P(RoundTripTest, EveryNoteMemoAndSiblingOrderComesBack) {
  const Format format = GetParam();
  const uint32_t count = NotesFor(format);
  auto original = engine::Table::Open(Source(count), {.exclusive = false, .readOnly = true});
  const Outline before = ReadTableOutline(*original);
  ASSERT_EQ(before.notes.size(), count);
  ASSERT_TRUE(before.notices.empty());

  TempFolder work;
  const std::string exported = work.File(std::string("notes") + InfoOf(format).extension);
  const ExportSummary written = ExportNotes(*original, "", format, exported, false);
  EXPECT_EQ(written.notes, count);
  EXPECT_TRUE(written.notices.empty());

  std::vector<std::string> notices;
  const std::vector<tools::Note> notes = tools::NotesForNewTable(ReadOutline(format, exported), notices);
  EXPECT_TRUE(notices.empty()) << notices.front();
  TempFolder copy;
  tools::CreateNoteTable(copy.Path(), notes);

  auto imported = engine::Table::Open(tools::NoteTablePath(copy.Path()));
  EXPECT_EQ(imported->Check(), std::vector<std::string>());
  EXPECT_EQ(FirstDifference(ReadTableOutline(*imported), before), "") << InfoOf(format).name;
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTripTest,
                         ::testing::Values(Format::Opml, Format::Csv, Format::MarkdownFolder, Format::MarkdownFile),
                         [](const auto& info) {
                           std::string name = InfoOf(info.param).name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace tindrel::exchange

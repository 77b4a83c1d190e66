// One Markdown file: headings by depth, a nested list below the sixth level, memos that read back
// byte for byte however much they look like Markdown's own structure, and files written
// elsewhere read by their headings.

#include <gtest/gtest.h>

#include "exchange/ExchangeError.h"
#include "exchange/MarkdownFileReader.h"
#include "exchange/MarkdownFileWriter.h"
#include "tests/exchange/OutlineText.h"

namespace tindrel::exchange {
namespace {

using namespace testing;

std::string Written(const Outline& outline, std::vector<std::string>* notices = nullptr) {
  StringSink out;
  std::vector<std::string> ignored;
  WriteMarkdownFile(outline, out, notices ? *notices : ignored);
  return out.Text();
}

TEST(MarkdownFileTest, WrittenNotesReadBackExactly) {
  const Outline tricky = TrickyOutline();
  const Outline back = ReadMarkdownFile(Written(tricky), "notes");
  EXPECT_EQ(ShowOutline(back), ShowOutline(tricky));
  EXPECT_TRUE(back.notices.empty());
}

TEST(MarkdownFileTest, HeadingsGiveTheDepthAndAListContinuesBelowTheSixthLevel) {
  const Outline outline = MakeOutline({
      {1, "One", "memo\n# hash"},
      {2, "Two", ""},
      {3, "Three", ""},
      {4, "Four", ""},
      {5, "Five", ""},
      {6, "Six", "six"},
      {7, "Seven", "line\n- dash"},
      {8, "Eight", ""},
      {7, "Seven b", ""},
      {1, "Again", ""},
  });
  EXPECT_EQ(Written(outline),
            "# One\n\nmemo\n\\# hash\n"
            "## Two\n### Three\n#### Four\n##### Five\n"
            "###### Six\n\nsix\n"
            "- Seven\n\n  line\n  \\- dash\n"
            "  - Eight\n"
            "- Seven b\n"
            "# Again\n");
}

TEST(MarkdownFileTest, ATitlesLineBreaksAreWrittenAsBlanksWithANotice) {
  std::vector<std::string> notices;
  EXPECT_EQ(Written(MakeOutline({{1, "two\nlines", ""}}), &notices), "# two lines\n");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], "note 1: the title \"two lines\" holds line breaks, which its heading shows as blanks");
}

TEST(MarkdownFileTest, FilesWrittenElsewhereAreReadByTheirHeadings) {
  const std::string file =
      "Some words before any heading.\r\n"
      "\r\n"
      "# Recipes\r\n"
      "\r\n"
      "Things to cook.\r\n"
      "\r\n"
      "### Bread\r\n"  // a skipped level: still below Recipes
      "```sh\r\n"
      "# a comment in code, not a heading\r\n"
      "```\r\n"
      "- a list under a heading of level 3 is memo text\r\n"
      "## Soup\r\n"
      "#hashtag is no heading\r\n"
      "####### seven hashes are no heading either\r\n";
  const Outline outline = ReadMarkdownFile(file, "kitchen");
  EXPECT_EQ(ShowOutline(outline),
            "kitchen | Some words before any heading.\\r\\n\n"
            "Recipes | Things to cook.\\r\\n\n"
            "  Bread | ```sh\\r\\n# a comment in code, not a heading\\r\\n```\\r\\n- a list under a heading of level 3 is memo text\n"
            "  Soup | #hashtag is no heading\\r\\n####### seven hashes are no heading either\n");
  ASSERT_EQ(outline.notices.size(), 1u);
  EXPECT_EQ(outline.notices[0], "lines 1-2: the text before the first heading is kept as the note \"kitchen\"");
  EXPECT_EQ(outline.notes[2].place, "line 7");
}

TEST(MarkdownFileTest, TextThatIsNotUtf8IsRefusedByLine) {
  try {
    ReadMarkdownFile("# fine\n\nnot \xC0\xAF fine\n", "x");
    FAIL() << "read";
  } catch (const ExchangeError& e) {
    EXPECT_EQ(std::string(e.what()), "line 3, column 5: these bytes are not UTF-8 text (only UTF-8 files can be read)");
  }
}

}  // namespace
}  // namespace tindrel::exchange

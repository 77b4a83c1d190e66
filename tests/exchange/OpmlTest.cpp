// OPML out and in: what is written reads back exactly, other programs read it as OPML 2.0, and
// broken documents are refused with the place of the fault.

#include <gtest/gtest.h>

#include "exchange/ExchangeError.h"
#include "exchange/OpmlReader.h"
#include "exchange/OpmlWriter.h"
#include "exchange/OutputFile.h"
#include "tests/exchange/ExternalCheck.h"
#include "tests/exchange/OutlineText.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::exchange {
namespace {

using namespace testing;
using engine::testing::TempFolder;

std::string ErrorOf(std::string_view document) {
  try {
    ReadOpml(document);
  } catch (const ExchangeError& e) {
    return e.what();
  }
  return "no error";
}

std::vector<int> Parents(const Outline& outline) {
  std::vector<int> parents;
  for (const OutlineNote& note : outline.notes) parents.push_back(note.parent);
  return parents;
}

TEST(OpmlTest, WrittenNotesReadBackExactly) {
  const Outline tricky = TrickyOutline();
  StringSink out;
  WriteOpml(tricky, "My notes", out);
  const Outline back = ReadOpml(out.Text());
  EXPECT_EQ(ShowOutline(back), ShowOutline(tricky));
  EXPECT_EQ(Parents(back), Parents(tricky));
  EXPECT_EQ(back.notes[1].place, "line 8");
}

TEST(OpmlTest, TheDocumentIsOpml2AsXmllintAndPythonReadIt) {
  if (!HasProgram("xmllint")) GTEST_SKIP() << "xmllint is not installed";
  TempFolder dir;
  const std::string path = dir.File("notes.opml");
  const Outline tricky = TrickyOutline();
  {
    OutputFile out(path, false);
    WriteOpml(tricky, "My notes", out);
    out.Commit();
  }
  const auto lint = test::RunProcess({"xmllint", "--noout", path});
  EXPECT_EQ(lint.status, 0) << lint.err;
  EXPECT_EQ(lint.err, "");

  const auto python = RunPython(R"(
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == 'opml' and root.get('version') == '2.0', root.tag
assert root.find('head/title').text == 'My notes'
def walk(element, depth):
    for outline in element.findall('outline'):
        print(depth, outline.get('text').encode().hex(), outline.get('_note', '').encode().hex())
        walk(outline, depth + 1)
walk(root.find('body'), 1)
)", {path});
  ASSERT_EQ(python.status, 0) << python.err;
  std::string expected;
  const std::vector<int> depths = DepthsOf(tricky);
  for (size_t i = 0; i < tricky.notes.size(); ++i)
    expected += std::to_string(depths[i]) + " " + Hex(tricky.notes[i].title) + " " + Hex(tricky.notes[i].memo) + "\n";
  EXPECT_EQ(python.out, expected);
}

TEST(OpmlTest, BrokenDocumentsAreRefusedWithThePlaceOfTheFault) {
  const std::string head = "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><body>\n";
  struct Case {
    std::string document;
    std::string error;
  };
  const Case cases[] = {
      {head + "<outline text=\"a\">\n", "line 4, column 1: the document ends before <outline> opened at line 3 is closed"},
      {head + "<outline text=\"a\"></outlin>", "line 3, column 19: </outlin> does not close <outline>, opened at line 3"},
      {head + "<outline text=\"a &nbsp; b\"/>", "line 3, column 18: the entity &nbsp; is not one of XML's own (&lt; &gt; &amp; &apos; &quot;)"},
      {head + "<outline text=\"AT&T\"/>", "line 3, column 18: '&' must begin a reference such as &amp; or &#10;"},
      {head + "<outline text=\"&#1;\"/>", "line 3, column 16: the reference &#1; names no character XML allows"},
      {head + "<outline text=\"a<b\"/>", "line 3, column 17: '<' is not allowed in an attribute value (write &lt;)"},
      {head + "<outline text=\"a\" text=\"b\"/>", "line 3, column 19: the attribute text appears twice"},
      {head + "<outline text=\"open", "line 3, column 15: the attribute value is not closed"},
      {head + "<outline text=\"a\"/><!-- never closed", "line 3, column 20: the comment is not closed"},
      {"<?xml version=\"1.0\"?>\n<rss><channel/></rss>",
       "line 2, column 1: this is not an OPML document: its outermost element is <rss>, not <opml>"},
      {"<opml/>\n<opml/>", "line 2, column 1: a second element <opml> after the document's element"},
      {"<opml/>\ntrailing words", "line 2, column 1: text outside the document's element"},
      {"", "line 1, column 1: the document holds no element"},
      {head + "<outline text=\"caf\xE9\"/>", "line 3, column 19: these bytes are not UTF-8 text (only UTF-8 OPML files can be read)"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-7\"?><opml/>",
       "line 1, column 1: the document declares the encoding ISO-8859-7; only UTF-8 OPML files can be read"},
      {std::string("\xFF\xFE<\0o\0", 6), "line 1, column 1: the document is UTF-16 text; only UTF-8 OPML files can be read"},
      {head + "<outline text=\"a\x01\"/>", "line 3, column 17: the control character U+0001 is not allowed in XML"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.document), c.error) << Visible(c.document);
}

TEST(OpmlTest, OutlinesAsOtherProgramsWriteThemAreRead) {
  const std::string document =
      "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\n"
      "<!DOCTYPE opml [ <!ELEMENT opml ANY> ]>\n"
      "<!-- written elsewhere -->\n"
      "<opml version='1.0'><head><title>t</title><outline text='not a note'/></head>\n"
      "<body>\n"
      "  <outline text='Plain &amp; simple' type='link' url='http://example.org/?a=1&amp;b=2'/>\n"
      "  <outline _note='no text attribute'><![CDATA[ <ignored> ]]><?pi data?>\n"
      "    <outline text=\"line\nbreak\" _note=\"literal&#10;and&#x9;refs\r\nwritten raw\"/>\n"
      "  </outline>\n"
      "  <other><outline text='inside an element that is no outline'/></other>\n"
      "</body></opml>\n";
  const Outline outline = ReadOpml(document);
  EXPECT_EQ(ShowOutline(outline),
            "Plain & simple | \n"
            " | no text attribute\n"
            "  line break | literal\\nand\\trefs written raw\n");
}

TEST(OpmlTest, NestingFarDeeperThanAnyStackIsReadAndWritten) {
  constexpr int kDepth = 50000;
  std::string document = "<opml><body>";
  for (int i = 0; i < kDepth; ++i) document += "<outline text=\"n\">";
  for (int i = 0; i < kDepth; ++i) document += "</outline>";
  document += "</body></opml>";
  const Outline outline = ReadOpml(document);
  ASSERT_EQ(outline.notes.size(), static_cast<size_t>(kDepth));
  EXPECT_EQ(DepthsOf(outline).back(), kDepth);
  StringSink out;
  WriteOpml(outline, "deep", out);
  EXPECT_EQ(ReadOpml(out.Text()).notes.size(), static_cast<size_t>(kDepth));
}

TEST(OpmlTest, CharactersXmlCannotCarryAreRefusedBeforeAnythingIsWritten) {
  const Outline outline = MakeOutline({{1, "fine", "bell \x07 here"}, {1, "form\x0C" "feed", ""}, {1, "ok", "ok"}});
  StringSink out;
  try {
    WriteOpml(outline, "x", out);
    FAIL() << "written";
  } catch (const ExchangeError& e) {
    EXPECT_EQ(std::string(e.what()),
              "XML cannot carry these characters, so nothing was exported:\n"
              "note 1: the memo of \"fine\" holds the control character U+0007\n"
              "note 2: the title of \"form\x0C" "feed\" holds the control character U+000C");
  }
  EXPECT_EQ(out.Text(), "");
}

}  // namespace
}  // namespace tindrel::exchange

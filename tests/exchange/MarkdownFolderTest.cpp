// A Markdown folder tree: file names safe everywhere and unique among siblings, the tree as
// `find` lists it, the order of siblings kept, vaults written elsewhere read, and failures that
// name the file and leave nothing half written.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "exchange/ExchangeError.h"
#include "exchange/MarkdownFolderReader.h"
#include "exchange/MarkdownFolderWriter.h"
#include "exchange/SafeFileName.h"
#include "tests/exchange/ExternalCheck.h"
#include "tests/exchange/OutlineText.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::exchange {
namespace {

using namespace testing;
using engine::testing::TempFolder;

void Write(const Outline& outline, const std::string& folder) {
  std::vector<std::string> notices;
  WriteMarkdownFolder(outline, folder, notices);
}

std::string Listing(const std::string& folder) {
  const auto found = test::RunProcess({"sh", "-c", "cd '" + folder + "' && find . -mindepth 1 | LC_ALL=C sort"});
  EXPECT_EQ(found.status, 0) << found.err;
  return found.out;
}

std::string ErrorOf(const std::string& folder) {
  try {
    ReadMarkdownFolder(folder);
  } catch (const ExchangeError& e) {
    return e.what();
  }
  return "no error";
}

TEST(MarkdownFolderTest, TitlesBecomeNamesEveryCommonFileSystemTakes) {
  const std::pair<std::string, std::string> cases[] = {
      {"Plain title", "Plain title"},
      {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
      {"tab\there", "tab_here"},
      {"  leading blanks", "leading blanks"},
      {"trailing dots...  ", "trailing dots"},
      {".hidden", "_hidden"},
      {"..", "_"},
      {"", "Untitled"},
      {"...", "_"},
      {"CON", "CON_"},
      {"nul.txt", "nul_.txt"},
      {"Com7", "Com7_"},
      {"console", "console"},
      {"Κήπος", "Κήπος"},
      {std::string(300, 'a'), std::string(200, 'a')},
      {"x" + std::string(150, '\xCE'), "x" + std::string(150, '_')},  // not UTF-8: a "_" for each stray byte
  };
  for (const auto& [title, name] : cases) EXPECT_EQ(SafeFileName(title), name) << Visible(title);
  // A Greek title cut at 200 bytes keeps whole characters.
  EXPECT_EQ(SafeFileName(std::string(150, 'x') + "ααααααααααααααααααααααααααααααααα"),
            std::string(150, 'x') + "ααααααααααααααααααααααααα");
}

TEST(MarkdownFolderTest, TheTreeAsFindListsItWithUniqueNamesAndItsOrderFiles) {
  TempFolder dir;
  const std::string out = dir.File("vault");
  Write(MakeOutline({
            {1, "Garden", "roses\r\n"},
            {2, "Roses: red", ""},
            {2, "roses: RED", "same name but for case"},
            {2, ".hidden", "dot"},
            {1, "Notes.md", "x"},
            {2, "a", ""},
            {1, "Notes", ""},
            {1, "", "no title"},
        }),
        out);
  EXPECT_EQ(Listing(out),
            "./.tindrel-order\n"
            "./Garden\n"
            "./Garden.md\n"
            "./Garden/.tindrel-order\n"
            "./Garden/Roses_ red.md\n"
            "./Garden/_hidden.md\n"
            "./Garden/roses_ RED (2).md\n"
            "./Notes (2).md\n"
            "./Notes.md\n"
            "./Notes.md.md\n"
            "./Notes.md/.tindrel-order\n"
            "./Notes.md/a.md\n"
            "./Untitled.md\n");
  EXPECT_EQ(TempFolder::Read(out + "/.tindrel-order"), "Garden.md\nNotes.md.md\nNotes (2).md\nUntitled.md\n");
  EXPECT_EQ(TempFolder::Read(out + "/Garden.md"), "# Garden\n\nroses\r\n");
  EXPECT_EQ(TempFolder::Read(out + "/Garden/Roses_ red.md"), "# Roses: red\n");
  EXPECT_EQ(TempFolder::Read(out + "/Untitled.md"), "# \n\nno title");
  // No temporary folder is left beside it.
  EXPECT_EQ(Listing(dir.Path()).substr(0, 8), "./vault\n");
  EXPECT_EQ(Listing(dir.Path()).find(".partial"), std::string::npos);
}

TEST(MarkdownFolderTest, WrittenNotesReadBackExactlyInTheirOrder) {
  TempFolder dir;
  Outline tricky = TrickyOutline();
  // Siblings whose names sort otherwise than their order.
  tricky.notes.push_back({"zebra", "z", -1, "x", ""});
  tricky.notes.push_back({"Aardvark", "a", -1, "y", ""});
  Write(tricky, dir.File("out"));
  const Outline back = ReadMarkdownFolder(dir.File("out"));
  EXPECT_EQ(ShowOutline(back), ShowOutline(tricky));
  EXPECT_EQ(back.notes[0].place, "Garden & _Roses_ _quoted_, 'single'.md");
  EXPECT_TRUE(back.notices.empty());
}

TEST(MarkdownFolderTest, AVaultWrittenElsewhereIsReadByNamesAndHeadings) {
  TempFolder dir;
  const std::string vault = dir.File("vault");
  std::filesystem::create_directories(vault + "/.obsidian");
  std::filesystem::create_directories(vault + "/Projects");
  std::filesystem::create_directories(vault + "/Ideas");
  TempFolder::Write(vault + "/.obsidian/app.json", "{}");
  TempFolder::Write(vault + "/Projects.md", "# All projects\r\n\r\nwhat is going on");
  TempFolder::Write(vault + "/Projects/Plan 10.md", "no heading here\n");
  TempFolder::Write(vault + "/Projects/Plan 9.md", "## a second-level heading is memo text\n");
  TempFolder::Write(vault + "/Projects/photo.png", "\x89PNG");
  TempFolder::Write(vault + "/Ideas/Idea.MD", "# One idea\n");
  ASSERT_EQ(::symlink(".", (vault + "/Ideas/Again").c_str()), 0);
  const Outline outline = ReadMarkdownFolder(vault);
  EXPECT_EQ(ShowOutline(outline),
            "Ideas | \n"
            "  Again | \n"
            "  One idea | \n"
            "All projects | what is going on\n"
            "  Plan 9 | ## a second-level heading is memo text\\n\n"
            "  Plan 10 | no heading here\\n\n");
  ASSERT_EQ(outline.notices.size(), 2u);
  EXPECT_EQ(outline.notices[0], "Ideas/Again/: the folder leads back to a folder already read; what it holds is passed over");
  EXPECT_EQ(outline.notices[1], "Projects/photo.png: not a Markdown file; passed over");
}

TEST(MarkdownFolderTest, AFileThatCannotBeReadIsNamed) {
  TempFolder dir;
  const std::string vault = dir.File("vault");
  std::filesystem::create_directories(vault + "/Sub");
  TempFolder::Write(vault + "/Good.md", "# Good\n");
  ASSERT_EQ(::symlink("nowhere.md", (vault + "/Sub/Broken.md").c_str()), 0);
  EXPECT_EQ(ErrorOf(vault), "Cannot read Sub/Broken.md: No such file or directory");
  std::filesystem::remove(vault + "/Sub/Broken.md");
  TempFolder::Write(vault + "/Sub/Latin.md", "# caf\xE9\n");
  EXPECT_EQ(ErrorOf(vault), "Sub/Latin.md is not UTF-8 text (line 1, column 6)");
  EXPECT_EQ(ErrorOf(vault + "/Good.md"), vault + "/Good.md is not a folder");
  if (::geteuid() != 0) {  // the superuser reads every file
    std::filesystem::remove(vault + "/Sub/Latin.md");
    TempFolder::Write(vault + "/Sub/Locked.md", "# locked\n");
    ::chmod((vault + "/Sub/Locked.md").c_str(), 0);
    EXPECT_EQ(ErrorOf(vault), "Cannot read Sub/Locked.md: Permission denied");
  }
}

TEST(MarkdownFolderTest, ATargetThatHoldsFilesIsRefusedAndAStoppedExportLeavesNothing) {
  TempFolder dir;
  std::filesystem::create_directories(dir.File("full"));
  TempFolder::Write(dir.File("full/keep.txt"), "mine");
  std::vector<std::string> notices;
  try {
    WriteMarkdownFolder(MakeOutline({{1, "a", ""}}), dir.File("full"), notices);
    FAIL() << "written";
  } catch (const ExchangeError& e) {
    EXPECT_EQ(std::string(e.what()), "The folder " + dir.File("full") + " is not empty; choose a new or empty folder");
  }
  Outline many;
  for (int i = 0; i < 600; ++i) many.notes.push_back({"note " + std::to_string(i), "", -1, "", ""});
  struct Stopped {};
  EXPECT_THROW(WriteMarkdownFolder(many, dir.File("new"), notices,
                                   [](std::string_view, uint64_t done, uint64_t) {
                                     if (done >= 256) throw Stopped{};
                                   }),
               Stopped);
  EXPECT_EQ(Listing(dir.Path()), "./full\n./full/keep.txt\n");
}

}  // namespace
}  // namespace tindrel::exchange

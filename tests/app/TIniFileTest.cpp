#include "app/SettingsKeys.h"
#include "app/TIniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

// A byte string that may hold NULs, taken whole from a literal.
template <std::size_t N>
QByteArray Bytes(const char (&literal)[N]) {
  return QByteArray(literal, N - 1);
}

class TIniFileTest : public ::testing::Test {
 protected:
  QString Path() const { return dir_.filePath("TindrelII.ini"); }
  void Write(const QByteArray& content) {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  QByteArray Content() const {
    QFile file(Path());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
  }
  QTemporaryDir dir_;
};

TEST_F(TIniFileTest, ReadRules) {
  const QByteArray long_value(3000, 'a');
  struct Case {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    enum { kString, kInteger, kBool } kind;
    QString expected;  // integers and booleans as decimal text
  } cases[] = {
      {"boolean 1", "[InterFace]\nStayOnTop=1\n", "InterFace", "StayOnTop", Case::kBool, "1"},
      {"boolean yes reads as false", "[InterFace]\nStayOnTop=yes\n", "InterFace", "StayOnTop", Case::kBool, "0"},
      {"boolean 2 is true", "[InterFace]\nStayOnTop=2\n", "InterFace", "StayOnTop", Case::kBool, "1"},
      {"hexadecimal", "[InterFace]\nFontSize=0x0C\n", "InterFace", "FontSize", Case::kInteger, "12"},
      {"hexadecimal upper X", "[InterFace]\nFontSize=0X1a\n", "InterFace", "FontSize", Case::kInteger, "26"},
      {"hexadecimal all bits", "[InterFace]\nFontSize=0xFFFFFFFF\n", "InterFace", "FontSize", Case::kInteger, "-1"},
      {"hexadecimal too wide", "[InterFace]\nFontSize=0x100000000\n", "InterFace", "FontSize", Case::kInteger, "10"},
      {"bare 0x is no number", "[InterFace]\nFontSize=0x\n", "InterFace", "FontSize", Case::kInteger, "10"},
      {"not a number", "[InterFace]\nFontSize=twelve\n", "InterFace", "FontSize", Case::kInteger, "10"},
      {"trailing junk", "[InterFace]\nFontSize=12pt\n", "InterFace", "FontSize", Case::kInteger, "10"},
      {"negative", "[InterFace]\nFontSize=-3\n", "InterFace", "FontSize", Case::kInteger, "-3"},
      {"beyond 32 bits", "[InterFace]\nFontSize=99999999999\n", "InterFace", "FontSize", Case::kInteger, "10"},
      {"empty value", "[InterFace]\nFontSize=\n", "InterFace", "FontSize", Case::kInteger, "10"},
      {"case-insensitive names", "[interface]\nfontname=Arial\n", "InterFace", "FontName", Case::kString, "Arial"},
      {"blanks around names and value", "  [ InterFace ]  \r\n FontName =  Arial Black \r\n", "InterFace", "FontName", Case::kString, "Arial Black"},
      {"first section and first key count", "[TreeView]\nFontName=A\nFontName=B\n[TreeView]\nFontName=C\n", "TreeView", "FontName", Case::kString, "A"},
      {"key of another section", "[InterFace]\nFontName=A\n[TreeView]\n", "TreeView", "FontName", Case::kString, "MS Sans Serif"},
      {"missing closing bracket", "[InterFace\nFontName=Arial\n", "InterFace", "FontName", Case::kString, "Arial"},
      {"missing opening bracket", "InterFace]\nFontName=Arial\n", "InterFace", "FontName", Case::kString, "MS Sans Serif"},
      {"key before any section", "FontName=Arial\n[InterFace]\n", "InterFace", "FontName", Case::kString, "MS Sans Serif"},
      {"comment line", "[InterFace]\n;FontName=Arial\n", "InterFace", "FontName", Case::kString, "MS Sans Serif"},
      {"value holding '='", "[InterFace]\nFontName=a=b\n", "InterFace", "FontName", Case::kString, "a=b"},
      {"NUL ends the value", Bytes("[InterFace]\nFontName=Ari\0al\n"), "InterFace", "FontName", Case::kString, "Ari"},
      {"binary junk around", Bytes("\xff\xfe\x00\x01[junk\n\x80\x81=\x82\n[InterFace]\nFontSize=11\n\xc3"), "InterFace", "FontSize", Case::kInteger, "11"},
      {"cut at 2047 characters", "[InterFace]\nFontName=" + long_value + "\n", "InterFace", "FontName", Case::kString, QString(2047, 'a')},
      {"no file section", "", "InterFace", "StayOnTop", Case::kBool, "0"},
      {"byte-order mark before the first section", "\xEF\xBB\xBF[InterFace]\nFontName=Arial\n", "InterFace", "FontName", Case::kString, "Arial"},
  };
  for (const auto& c : cases) {
    Write(c.file);
    const TIniFile ini(Path());
    QString got;
    switch (c.kind) {
      case Case::kString: got = ini.ReadString(c.section, c.key, "MS Sans Serif"); break;
      case Case::kInteger: got = QString::number(ini.ReadInteger(c.section, c.key, 10)); break;
      case Case::kBool: got = ini.ReadBool(c.section, c.key, false) ? "1" : "0"; break;
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST_F(TIniFileTest, MissingOrSpecialFileGivesDefaultsAndIsNotCreated) {
  const TIniFile missing(Path());
  EXPECT_EQ(missing.ReadString("InterFace", "FontName", "Courier New"), "Courier New");
  EXPECT_TRUE(missing.ReadBool("InterFace", "StayOnTop", true));
  EXPECT_FALSE(QFile::exists(Path()));

  // Never blocks or reads without end: a device, and a folder in place of the file.
  EXPECT_EQ(TIniFile("/dev/zero").ReadInteger("InterFace", "FontSize", 10), 10);
  ASSERT_TRUE(QDir(dir_.path()).mkdir("TindrelII.ini"));
  EXPECT_EQ(TIniFile(Path()).ReadInteger("InterFace", "FontSize", 10), 10);
}

TEST_F(TIniFileTest, HugeFileIsReadOnlyUpToTheLimit) {
  {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[InterFace]\nFontSize=14\n");
    ASSERT_TRUE(file.resize(qint64(4) << 30));  // sparse: four gigabytes of NULs
  }
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadInteger("InterFace", "FontSize", 10), 14);
  EXPECT_EQ(ini.ReadInteger("TreeView", "FontSize", 10), 10);
  ini.WriteInteger("TreeView", "FontSize", 9);
  EXPECT_EQ(ini.ReadInteger("TreeView", "FontSize", 10), 9);
  EXPECT_EQ(ini.ReadInteger("InterFace", "FontSize", 10), 14);
  EXPECT_LE(QFileInfo(Path()).size(), TIniFile::kMaxFileSize + 64);
}

TEST_F(TIniFileTest, FirstRunWritesTheSevenKeysInOrder) {
  using namespace settings;
  TIniFile ini(Path());
  ini.WriteBool(kInterfaceSection, kStayOnTop, kDefaultStayOnTop);
  ini.WriteString(kInterfaceSection, kFontName, kDefaultMemoFontName);
  ini.WriteInteger(kInterfaceSection, kFontSize, kDefaultFontSize);
  ini.WriteBool(kInterfaceSection, kMemoWordWrap, kDefaultMemoWordWrap);
  ini.WriteBool(kTreeViewSection, kMouseMoveSelect, kDefaultMouseMoveSelect);
  ini.WriteString(kTreeViewSection, kFontName, kDefaultTreeFontName);
  ini.WriteInteger(kTreeViewSection, kFontSize, kDefaultFontSize);
  EXPECT_EQ(Content(),
            "[InterFace]\nStayOnTop=0\nFontName=Courier New\nFontSize=10\nMemoWordWrap=0\n"
            "\n[TreeView]\nMouseMoveSelect=0\nFontName=MS Sans Serif\nFontSize=10\n");

  // A second save changes values in place.
  ini.WriteBool(kInterfaceSection, kStayOnTop, true);
  ini.WriteInteger(kTreeViewSection, kFontSize, 12);
  EXPECT_EQ(Content(),
            "[InterFace]\nStayOnTop=1\nFontName=Courier New\nFontSize=10\nMemoWordWrap=0\n"
            "\n[TreeView]\nMouseMoveSelect=0\nFontName=MS Sans Serif\nFontSize=12\n");
}

TEST_F(TIniFileTest, WritesKeepEveryOtherByteOfTheFile) {
  const QByteArray original(
      "; kept comment\r\n[Other]\r\nx=\xff\xfe\r\n\r\n[interface]\r\nfontsize = 8\r\nUnknown=1\r\n"
      "\r\n[TreeView]\r\nFontName=Arial");
  Write(original);
  TIniFile ini(Path());
  ini.WriteInteger("InterFace", "FontSize", 11);
  ini.WriteBool("InterFace", "StayOnTop", true);
  ini.WriteString("TreeView", "FontName", "Line\nBreak");
  EXPECT_EQ(Content(),
            QByteArray("; kept comment\r\n[Other]\r\nx=\xff\xfe\r\n\r\n[interface]\r\nFontSize=11\r\n"
                       "Unknown=1\r\nStayOnTop=1\r\n\r\n[TreeView]\r\nFontName=Line Break"));
  EXPECT_EQ(ini.ReadString("TreeView", "FontName", ""), "Line Break");
}

TEST_F(TIniFileTest, AByteOrderMarkStaysWithTheFileAndAValueKeepsItsOwn) {
  Write("\xEF\xBB\xBF[InterFace]\r\nFontSize=8\r\n");
  TIniFile ini(Path());
  const QString marked = QString(QChar(0xFEFF)) + "Arial";
  ini.WriteString("InterFace", "FontName", marked);
  EXPECT_EQ(Content(), QByteArray("\xEF\xBB\xBF[InterFace]\r\nFontSize=8\r\nFontName=\xEF\xBB\xBF" "Arial\r\n"));
  EXPECT_EQ(ini.ReadString("InterFace", "FontName", ""), marked);
  EXPECT_EQ(ini.ReadInteger("InterFace", "FontSize", 10), 8);
}

TEST_F(TIniFileTest, UnwritableFileRaisesUnableToWriteAndKeepsTheOld) {
  const QString in_missing_folder = dir_.filePath("gone/TindrelII.ini");
  TIniFile nowhere(in_missing_folder);
  try {
    nowhere.WriteBool("InterFace", "StayOnTop", true);
    FAIL() << "no error";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + in_missing_folder.toStdString());
  }

  ASSERT_TRUE(QDir(dir_.path()).mkdir("TindrelII.ini"));
  TIniFile folder(Path());
  EXPECT_THROW(folder.WriteInteger("InterFace", "FontSize", 12), EIniFileException);
  EXPECT_TRUE(QFileInfo(Path()).isDir());
}

TEST(SaneFontSize, OutOfRangeSizesBecomeTheDefault) {
  struct Case { int stored, used; } cases[] = {
      {12, 12}, {1, 1}, {72, 72}, {0, 10}, {-4, 10}, {73, 10}, {0x7FFFFFFF, 10}, {-1, 10}};
  for (const auto& c : cases) EXPECT_EQ(settings::SaneFontSize(c.stored), c.used) << c.stored;
}

}  // namespace
}  // namespace tindrel

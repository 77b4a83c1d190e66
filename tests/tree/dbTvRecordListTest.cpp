// The snapshot list: ID order and lookups, parent order, and what CompareSnapshots reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include <QLocale>
#include <QStringList>

#include "tree/dbTvRecordList.h"

namespace tindrel {
namespace {

TTVRecordList ListOf(std::initializer_list<std::array<const char*, 3>> rows) {
  TTVRecordList list;
  for (const auto& r : rows) list.AddRecord(QString::fromUtf8(r[0]), QString::fromUtf8(r[1]), QString::fromUtf8(r[2]));
  return list;
}

TEST(TTVRecordList, FindByIdUsesOrdinalOrderAndAnswersTheInsertionPoint) {
  TTVRecordList empty;
  int index = -1;
  EXPECT_FALSE(empty.FindByID(QStringLiteral("1"), index));
  EXPECT_EQ(index, 0);

  TTVRecordList list = ListOf({{"2", "", "b"}, {"1", "", "a"}, {"10", "", "c"}});
  struct Case {
    const char* id;
    bool found;
    int index;
  };
  for (const Case& c : {Case{"1", true, 0}, Case{"10", true, 1}, Case{"2", true, 2}, Case{"11", false, 2},
                        Case{"0", false, 0}, Case{"3", false, 3}}) {
    EXPECT_EQ(list.FindByID(QString::fromUtf8(c.id), index), c.found) << c.id;
    EXPECT_EQ(index, c.index) << c.id;
  }
  EXPECT_EQ(list.At(0).RecordID, QStringLiteral("1"));
  EXPECT_EQ(list.At(1).RecordID, QStringLiteral("10"));
}

TEST(TTVRecordList, LongIdsKeepTheOrdinalOrder) {
  TTVRecordList list = ListOf({{"12345679", "", ""}, {"1234567890", "", ""}, {"12345678", "", ""},
                               {"123456789", "", ""}, {"1234567891", "", ""}, {"99", "", ""}});
  list.SetSortedByID(true);
  QStringList order;
  for (int i = 0; i < list.Count(); ++i) order << list.At(i).RecordID;
  EXPECT_EQ(order.join(u' '), QStringLiteral("12345678 123456789 1234567890 1234567891 12345679 99"));
  int index = -1;
  EXPECT_TRUE(list.FindByID(QStringLiteral("1234567891"), index));
  EXPECT_EQ(index, 3);
}

TEST(TTVRecordList, FindByIdFindsTheFirstOfEqualIds) {
  TTVRecordList list = ListOf({{"5", "", "x"}, {"5", "", "y"}, {"5", "", "z"}, {"4", "", "w"}});
  int index = -1;
  ASSERT_TRUE(list.FindByID(QStringLiteral("5"), index));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(list.CountOfID(QStringLiteral("5")), 3);
  EXPECT_EQ(list.CountOfID(QStringLiteral("4")), 1);
}

TEST(TTVRecordList, ParentOrderIsByParentThenTextWithoutCase) {
  TTVRecordList list = ListOf({{"1", "P", "b"}, {"2", "Q", "a"}, {"3", "P", "A2"}, {"4", "P", "A"}});
  int index = -1;
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("P"), index));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list.ChildAt(0)->Text, QStringLiteral("A"));
  EXPECT_EQ(list.ChildAt(1)->Text, QStringLiteral("A2"));
  EXPECT_EQ(list.ChildAt(2)->Text, QStringLiteral("b"));
  EXPECT_EQ(list.ChildAt(3)->ParentID, QStringLiteral("Q"));
  EXPECT_FALSE(list.FindFirstChild(QStringLiteral("R"), index));
  EXPECT_EQ(index, 4);
  EXPECT_EQ(list.ChildAt(4), nullptr);
}

// Sets the default locale for one scope.
class LocaleScope {
 public:
  explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
  ~LocaleScope() { QLocale::setDefault(saved_); }

 private:
  QLocale saved_;
};

QStringList ChildTexts(TTVRecordList& list, const char* parent) {
  QStringList texts;
  int i = 0;
  if (!list.FindFirstChild(QString::fromUtf8(parent), i)) return texts;
  for (; list.ChildAt(i) && list.ChildAt(i)->ParentID == QString::fromUtf8(parent); ++i) texts << list.ChildAt(i)->Text;
  return texts;
}

TEST(TTVRecordList, SiblingsFollowTheLocalesCollationAndEqualTitlesKeepTheReadOrder) {
  for (const QLocale& locale : {QLocale(QLocale::Greek, QLocale::Greece), QLocale::c()}) {
    SCOPED_TRACE(locale.name().toStdString());
    LocaleScope scope(locale);
    TTVRecordList list = ListOf({{"1", "G", "Ωρα"},    {"2", "G", "Άγγελος"}, {"3", "G", "Ύπνος"},
                                 {"4", "G", "Βουνό"},  {"5", "G", "Όρος"},    {"6", "G", "Έλα"},
                                 {"7", "G", "Ώμος"},   {"8", "G", "Ζώνη"},    {"10", "G", "Ήλιος"},
                                 {"11", "G", "Ίρις"},  {"12", "G", "ορος"},   {"20", "L", "Zebra"},
                                 {"21", "L", "éclair"}, {"22", "L", "Apple"},  {"23", "L", "ärger"},
                                 {"24", "L", "Eagle"}, {"9", "T", "note"},    {"13", "T", "NOTE"},
                                 {"30", "T", "Note"}});
    list.SetSortedByID(true);  // the parent order is made from the ID order, not the read order
    EXPECT_EQ(ChildTexts(list, "G").join(u' '),
              QStringLiteral("Άγγελος Βουνό Έλα Ζώνη Ήλιος Ίρις ορος Όρος Ύπνος Ώμος Ωρα"));
    EXPECT_EQ(ChildTexts(list, "L").join(u' '), QStringLiteral("Apple ärger Eagle éclair Zebra"));
    EXPECT_EQ(ChildTexts(list, "T").join(u' '), QStringLiteral("note NOTE Note"));
    EXPECT_LT(CompareNodeText(QStringLiteral("Όρος"), QStringLiteral("Ωρα")), 0);
    EXPECT_EQ(CompareNodeText(QStringLiteral("NOTE"), QStringLiteral("note")), 0);
  }
}

TEST(TTVRecordList, FamiliesOfEverySizeSortAsOneCollationWithTiesInReadOrder) {
  // Small families are put in order by comparing titles, large ones through collation keys:
  // either way the order is the collation's, equal titles (in other cases) in read order.
  const char* titles[] = {"Ωρα", "éclair", "ORος", "Eagle", "ορος", "apple", "Apple", "ärger", "Zebra", "APPLE"};
  LocaleScope scope(QLocale(QLocale::Greek, QLocale::Greece));
  for (int size : {2, 3, 12, 13, 40}) {
    SCOPED_TRACE(size);
    TTVRecordList list;
    std::vector<std::pair<QString, int>> expected;
    for (int i = 0; i < size; ++i) {
      const QString title = QString::fromUtf8(titles[(i * 7) % 10]);
      list.AddRecord(QString::number(1000 - i), QStringLiteral("P"), title);  // ID order is not read order
      expected.emplace_back(title, i);
    }
    list.AddRecord(QStringLiteral("1"), QStringLiteral("Q"), QStringLiteral("other family"));
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return CompareNodeText(a.first, b.first) < 0; });
    int index = -1;
    ASSERT_TRUE(list.FindFirstChild(QStringLiteral("P"), index));
    for (int i = 0; i < size; ++i) {
      ASSERT_EQ(list.ChildAt(index + i)->Text, expected[static_cast<size_t>(i)].first) << i;
      EXPECT_EQ(list.ChildAt(index + i)->Order, expected[static_cast<size_t>(i)].second) << i;
    }
    EXPECT_EQ(list.ChildAt(index + size)->ParentID, QStringLiteral("Q"));
  }
}

TEST(TTVRecordList, ShapeFindsChildrenTopLevelNotesAndSharedTwins) {
  // 1 and the twins 4 have children; 7 names a parent nobody has, 8 and 2 none; 9 and 10 name
  // each other.
  TTVRecordList list = ListOf({{"4", "1", "twin a"}, {"2", "", "two"}, {"5", "4", "under the twins"},
                               {"1", "", "one"}, {"4", "", "twin b"}, {"7", "99", "orphan"}, {"8", "1", "eight"},
                               {"9", "10", "loop"}, {"10", "9", "loop"}});
  const TSnapshotShape shape = list.Shape();
  QStringList seen;
  for (int i = 0; i < list.Count(); ++i) {
    QStringList children;
    const TSnapshotShape::Record& r = shape.Records[static_cast<size_t>(i)];
    for (int k = 0; k < r.ChildCount; ++k) children << list.ChildAt(r.FirstChild + k)->Text;
    seen << QStringLiteral("%1%2%3[%4]")
                .arg(list.At(i).RecordID, r.NoParent ? QStringLiteral("^") : QString(),
                     r.FirstOfID == i ? QString() : QStringLiteral("="), children.join(u','));
  }
  EXPECT_EQ(seen.join(u' '), QStringLiteral("1^[eight,twin a] 10[loop] 2^[] 4[under the twins] 4^=[under the twins] "
                                            "5[] 7^[] 8[] 9[loop]"));
}

TEST(TTVRecordList, AddingAfterTheParentListWasBuiltStartsAFreshOne) {
  TTVRecordList list = ListOf({{"1", "P", "b"}});
  int index = -1;
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("P"), index));
  list.AddRecord(QStringLiteral("2"), QStringLiteral("P"), QStringLiteral("a"));
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("P"), index));
  EXPECT_EQ(list.ChildAt(index)->Text, QStringLiteral("a"));
  EXPECT_EQ(list.ParentList()->Items.size(), 2u);
}

TEST(TTVRecordList, SetParentIdResortsTheParentOrder) {
  TTVRecordList list = ListOf({{"1", "", "root"}, {"2", "1", "x"}, {"3", "1", "y"}});
  int index = -1;
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("1"), index));
  list.SetParentID(QStringLiteral("3"), QStringLiteral("2"));
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("2"), index));
  EXPECT_EQ(list.ChildAt(index)->RecordID, QStringLiteral("3"));
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("1"), index));
  EXPECT_EQ(list.ChildAt(index + 1)->ParentID, QStringLiteral("2"));
}

TEST(TTVRecordList, MovesKeepTheParentOrderOfAFreshSort) {
  // Siblings with equal texts in other cases, moves to a parent that has no children yet, to
  // the top level and back, and onto the same parent: after each, the kept order holds the
  // same (parent, text) sequence as a list sorted afresh from the same snapshots.
  TTVRecordList list = ListOf({{"1", "", "root"}, {"2", "1", "beta"}, {"3", "1", "Alpha"}, {"4", "1", "alpha"},
                               {"5", "2", "gamma"}, {"6", "2", "Beta"}, {"7", "", "other"}, {"8", "7", "delta"}});
  int index = -1;
  ASSERT_TRUE(list.FindFirstChild(QStringLiteral("1"), index));
  struct Move {
    const char* id;
    const char* parent;
  };
  for (const Move& m : {Move{"3", "2"}, Move{"6", "8"}, Move{"4", ""}, Move{"4", "1"}, Move{"2", "2"}, Move{"8", "8"},
                        Move{"5", "5"}, Move{"9", "1"}}) {
    list.SetParentID(QString::fromUtf8(m.id), QString::fromUtf8(m.parent));
    ASSERT_TRUE(list.ParentList()->Sorted) << m.id;
    TTVRecordList fresh;
    for (int i = 0; i < list.Count(); ++i) fresh.AddRecord(list.At(i).RecordID, list.At(i).ParentID, list.At(i).Text);
    fresh.FindFirstChild(QStringLiteral("1"), index);  // sorts its parent order
    for (int i = 0; i < list.Count(); ++i) {
      EXPECT_EQ(list.ChildAt(i)->ParentID, fresh.ChildAt(i)->ParentID) << "after moving " << m.id << ", at " << i;
      EXPECT_EQ(CompareNodeText(list.ChildAt(i)->Text, fresh.ChildAt(i)->Text), 0) << "after moving " << m.id;
    }
    const bool known = list.FindByID(QString::fromUtf8(m.id), index);
    if (known) {
      EXPECT_EQ(list.At(index).ParentID, QString::fromUtf8(m.parent));
    }
  }
}

TEST(TTVRecordList, ALargeSnapshotSortsBothOrdersSideBySideAsOneAfterTheOther) {
  // Enough snapshots for the two orders to be sorted on two threads: equal IDs, parents that
  // are missing, families of every size, titles equal but for case or accents.
  const QStringList titles = {QStringLiteral("alpha"), QStringLiteral("Alpha"), QStringLiteral("beta"),
                              QStringLiteral("Βήτα"), QStringLiteral("βητα"), QStringLiteral("é"),
                              QStringLiteral("e"), QStringLiteral("zeta 10"), QStringLiteral("Zeta 2")};
  std::uint32_t seed = 20261211;
  auto next = [&seed](std::uint32_t below) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % below;
  };
  TTVRecordList sideBySide;
  TTVRecordList oneAfterOther;
  for (int i = 0; i < 60000; ++i) {
    const QString id = QString::number(next(50000));
    const QString parent = next(10) == 0 ? QString() : QString::number(next(next(4) == 0 ? 60000 : 300));
    const QString& title = titles[static_cast<qsizetype>(next(static_cast<std::uint32_t>(titles.size())))];
    sideBySide.AddRecord(id, parent, title);
    oneAfterOther.AddRecord(id, parent, title);
  }
  const TSnapshotShape shape = sideBySide.Shape();
  oneAfterOther.SetSortedByID(true);
  int index = 0;
  oneAfterOther.FindFirstChild(QString(), index);  // the parent order, on this thread after the ID order
  const TSnapshotShape expected = oneAfterOther.Shape();
  ASSERT_EQ(shape.Records.size(), expected.Records.size());
  for (int i = 0; i < sideBySide.Count(); ++i) {
    ASSERT_EQ(sideBySide.At(i).Order, oneAfterOther.At(i).Order) << "ID order at " << i;
    ASSERT_EQ(sideBySide.At(i).IDOrder, i);
    ASSERT_EQ(sideBySide.ChildAt(i)->Order, oneAfterOther.ChildAt(i)->Order) << "parent order at " << i;
    const auto& got = shape.Records[static_cast<size_t>(i)];
    const auto& want = expected.Records[static_cast<size_t>(i)];
    ASSERT_EQ(std::tie(got.FirstChild, got.ChildCount, got.FirstOfID, got.NoParent),
              std::tie(want.FirstChild, want.ChildCount, want.FirstOfID, want.NoParent))
        << "shape at " << i;
  }
}

TEST(TTVRecordList, CompareSnapshotsCodes) {
  auto base = [] { return ListOf({{"1", "", "a"}, {"2", "1", "b"}, {"3", "1", "c"}}); };
  TTVRecordList a = base();
  struct Case {
    const char* name;
    TTVRecordList other;
    TSnapshotCompare code;
  };
  std::vector<Case> cases;
  cases.push_back({"same in another order", ListOf({{"3", "1", "c"}, {"1", "", "a"}, {"2", "1", "b"}}), scSame});
  cases.push_back({"one text", ListOf({{"1", "", "a"}, {"2", "1", "B"}, {"3", "1", "c"}}), scTextsChanged});
  cases.push_back({"one parent", ListOf({{"1", "", "a"}, {"2", "1", "b"}, {"3", "2", "c"}}), scStructureChanged});
  cases.push_back({"one id and a text", ListOf({{"1", "", "x"}, {"2", "1", "b"}, {"4", "1", "c"}}), scStructureChanged});
  cases.push_back({"fewer", ListOf({{"1", "", "a"}, {"2", "1", "b"}}), scCountChanged});
  for (Case& c : cases) EXPECT_EQ(a.CompareSnapshots(&c.other), c.code) << c.name;
  EXPECT_EQ(a.CompareSnapshots(nullptr), scCountChanged);
}

TEST(TTVRecordList, DifferentCountsAreReportedWithoutSorting) {
  TTVRecordList a = ListOf({{"2", "", "b"}, {"1", "", "a"}});
  TTVRecordList b = ListOf({{"2", "", "b"}});
  EXPECT_EQ(a.CompareSnapshots(&b), scCountChanged);
  EXPECT_FALSE(a.SortedByID());
  EXPECT_EQ(a.At(0).RecordID, QStringLiteral("2"));
}

}  // namespace
}  // namespace tindrel

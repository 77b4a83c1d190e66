// The pieces every dialog window shares: the text catalogue (lookup of the navigator's hints by
// property name, restoring the built-in texts) and the OK/Cancel button maker.

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "navigator/DialogButtons.h"
#include "navigator/TwwIntl.h"

namespace tindrel {
namespace {

TEST(TwwIntl, NavigatorHintsAreFoundByPropertyName) {
  TwwIntl& intl = TwwIntl::Instance();
  const struct {
    const char* property;
    const char* text;
  } hints[] = {
      {"FirstHint", "Move to first record"},         {"PriorPageHint", "Move backward %d records"},
      {"SaveBookmarkHint", "Bookmark current record"}, {"LocateDialogHint", "Locate a specific record"},
      {"SearchDialogHint", "Search the dataset"},      {"RecordViewDialogHint", "View current record"},
  };
  for (const auto& h : hints) {
    SCOPED_TRACE(h.property);
    const QString* hint = intl.Navigator.Hints.FindHint(QString::fromLatin1(h.property));
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(*hint, QString::fromLatin1(h.text));
  }
  EXPECT_EQ(intl.Navigator.Hints.FindHint(QStringLiteral("CustomHint")), nullptr);
  EXPECT_EQ(intl.Navigator.Hints.FindHint(QStringLiteral("firsthint")), nullptr);
  // Every published name leads to a text of its own.
  for (const QString& name : TwwDBNavigatorIntlHints::PropertyNames()) {
    SCOPED_TRACE(name.toStdString());
    const QString* hint = intl.Navigator.Hints.FindHint(name);
    ASSERT_NE(hint, nullptr);
    EXPECT_FALSE(hint->isEmpty());
  }
  EXPECT_EQ(TwwDBNavigatorIntlHints::PropertyNames().size(), 18u);
}

TEST(TwwIntl, ReplacedTextsComeBackWithTheDefaults) {
  TwwIntl& intl = TwwIntl::Instance();
  *intl.Navigator.Hints.FindHint(QStringLiteral("NextHint")) = QStringLiteral("Vorwärts");
  intl.UserMessages.LocateNoMatches = QStringLiteral("nichts");
  intl.DialogFontStyle = fsBold | fsItalic;
  intl.RestoreDefaults();
  EXPECT_EQ(intl.Navigator.Hints.NextHint, QStringLiteral("Move to next record"));
  EXPECT_EQ(intl.UserMessages.LocateNoMatches, QStringLiteral("No matches found"));
  EXPECT_EQ(intl.DialogFontStyle, 0u);
  EXPECT_EQ(intl.Navigator.ConfirmDeleteMessage, QStringLiteral("Delete record?"));
}

TEST(DialogButtons, OkAndCancelCloseTheDialogWithTheirResult) {
  for (const bool bitmapped : {true, false}) {
    SCOPED_TRACE(bitmapped ? "glyph buttons" : "plain buttons");
    TwwIntl::Instance().OKCancelBitmapped = bitmapped;
    for (const TwwButtonKind kind : {TwwButtonKind::bkOK, TwwButtonKind::bkCancel}) {
      QDialog dialog;
      QPushButton* button = MakeDialogButton(&dialog, kind);
      const bool ok = kind == TwwButtonKind::bkOK;
      EXPECT_EQ(button->parent(), &dialog);
      EXPECT_EQ(button->text(), ok ? QStringLiteral("&OK") : QStringLiteral("Cancel"));
      EXPECT_EQ(button->size(), QSize(Scaled(77, &dialog), Scaled(27, &dialog)));
      EXPECT_EQ(button->isDefault(), ok);
      EXPECT_EQ(qobject_cast<TwwGlyphButton*>(button) != nullptr, bitmapped);
      EXPECT_FALSE(button->font().bold());
      EXPECT_EQ(ModalResultOf(button), ok ? QDialog::Accepted : QDialog::Rejected);
      QTimer::singleShot(0, button, [button] { button->click(); });
      EXPECT_EQ(dialog.exec(), ok ? QDialog::Accepted : QDialog::Rejected);
    }
  }
  TwwIntl::Instance().RestoreDefaults();
}

TEST(DialogButtons, EnterPressesOkAndEscPressesCancel) {
  for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
    QDialog dialog;
    MakeDialogButton(&dialog, TwwButtonKind::bkOK)->move(0, 0);
    MakeDialogButton(&dialog, TwwButtonKind::bkCancel)->move(80, 0);
    QTimer::singleShot(0, &dialog, [&dialog, key] { QTest::keyClick(&dialog, static_cast<Qt::Key>(key)); });
    EXPECT_EQ(dialog.exec(), key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
  }
}

}  // namespace
}  // namespace tindrel

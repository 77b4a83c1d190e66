// Every caption of every dialog window the program shows fits its control, with the fonts the
// machine really has (the dialogs' face falls back to DejaVu Sans on Debian): labels, buttons
// (radio and check boxes with their indicator, glyph buttons with their glyph), group box
// titles, tabs, the entries of drop-down lists and the headings of tables. ctest runs this
// program at 96 dots per inch and once more on a screen of twice that.

#include "app/TExchangeForm.h"
#include "app/TRestoreForm.h"
#include "app/TMainForm.h"
#include "app/TProgressWindow.h"
#include "app/TTableStatus.h"
#include "filter/TwwFilterDlg.h"
#include "locate/TwwLocateDlg.h"
#include "navigator/DialogButtons.h"
#include "navigator/TwwDBNavigator.h"
#include "navigator/TwwLookupDlg.h"
#include "navigator/TwwIntl.h"
#include "navigator/TwwNavButton.h"
#include "platform/QtPlatform.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextLayout>
#include <QtMath>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tindrel {
namespace {

QString WithoutMnemonic(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(u'&');
  text.replace(u'\x01', u'&');
  return text;
}

// One caption that does not fit: where, what, the pixels it needs and the pixels it has.
struct Clipped {
  std::string where;
  int need = 0;
  int have = 0;
};

void PrintTo(const Clipped& c, std::ostream* os) { *os << c.where << ": needs " << c.need << " px, has " << c.have; }

class CaptionWalk {
 public:
  explicit CaptionWalk(QWidget& window) : window_(window) {}

  std::vector<Clipped> Run() {
    Check(window_);
    // What a person sees: shown controls, less those kept out of sight beyond their parent's edges.
    for (QWidget* w : window_.findChildren<QWidget*>())
      if (w->isVisibleTo(&window_) && w->parentWidget()->rect().intersects(w->geometry())) Check(*w);
    return clipped_;
  }

 private:
  void Report(const QWidget& w, const QString& text, int need, int have) {
    if (need <= have) return;
    const QString name = w.objectName().isEmpty() ? QString::fromLatin1(w.metaObject()->className()) : w.objectName();
    clipped_.push_back({(window_.windowTitle() + u'/' + name + QStringLiteral(" \"") + text + u'"').toStdString(), need, have});
  }

  void Check(QWidget& w) {
    QStyle* style = w.style();
    if (auto* label = qobject_cast<QLabel*>(&w)) {
      const QString text = label->textFormat() == Qt::RichText ? QString() : WithoutMnemonic(label->text());
      if (text.isEmpty()) return;
      const QFontMetrics fm = label->fontMetrics();
      const int have = label->contentsRect().width() - 2 * std::max(0, label->margin());
      const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
      if (!label->wordWrap()) {
        for (const QString& line : lines) Report(w, line, fm.horizontalAdvance(line), have);
        return;
      }
      // A wrapped label fits when every line it breaks into is as wide as the label at most
      // and all of them are inside its height.
      int height = 0;
      for (const QString& paragraph : lines) {
        QTextLayout layout(paragraph, label->font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
          line.setLineWidth(have);
          Report(w, paragraph.mid(line.textStart(), line.textLength()), qCeil(line.naturalTextWidth()), have);
          height += fm.lineSpacing();
        }
        layout.endLayout();
      }
      Report(w, text + QStringLiteral(" (height)"), height, label->contentsRect().height());
    } else if (auto* box = qobject_cast<QCheckBox*>(&w)) {
      CheckIndicatorButton(*box, QStyle::PM_IndicatorWidth, QStyle::PM_CheckBoxLabelSpacing);
    } else if (auto* radio = qobject_cast<QRadioButton*>(&w)) {
      CheckIndicatorButton(*radio, QStyle::PM_ExclusiveIndicatorWidth, QStyle::PM_RadioButtonLabelSpacing);
    } else if (auto* button = qobject_cast<QPushButton*>(&w)) {
      const QString text = WithoutMnemonic(button->text());
      if (text.isEmpty()) return;
      int have = 0;
      if (auto* glyph = qobject_cast<TwwGlyphButton*>(button)) {
        have = glyph->CaptionRect().width();
      } else {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        have = style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        if (!button->icon().isNull()) have -= button->iconSize().width() + 4;
      }
      Report(w, text, button->fontMetrics().horizontalAdvance(text), have);
    } else if (auto* group = qobject_cast<QGroupBox*>(&w)) {
      if (group->title().isEmpty()) return;
      QStyleOptionGroupBox option;
      option.initFrom(group);
      option.text = group->title();
      option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
      option.textAlignment = group->alignment();
      // The style measures the title in the font it draws it with; it must keep the margin it
      // leaves on its left on its right too.
      const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
      Report(w, WithoutMnemonic(group->title()), label.width(), group->width() - 2 * label.left());
    } else if (auto* tabs = qobject_cast<QTabBar*>(&w)) {
      const int padding = style->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, tabs);
      for (int i = 0; i < tabs->count(); ++i) {
        const QString text = WithoutMnemonic(tabs->tabText(i));
        const QRect tab = tabs->tabRect(i);
        Report(w, text, tabs->fontMetrics().horizontalAdvance(text) + padding, tab.width());
        Report(w, text + QStringLiteral(" (right edge)"), tab.right() + 1, tabs->width());
      }
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
      QStyleOptionComboBox option;
      option.initFrom(combo);
      option.editable = combo->isEditable();
      const int have = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
      for (int i = 0; i < combo->count(); ++i)
        Report(w, combo->itemText(i), combo->fontMetrics().horizontalAdvance(combo->itemText(i)), have);
    } else if (auto* header = qobject_cast<QHeaderView*>(&w)) {
      if (header->orientation() != Qt::Horizontal || !header->model()) return;
      const int margins = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
      for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i)) continue;
        const QString text = header->model()->headerData(i, Qt::Horizontal).toString();
        Report(w, text, header->fontMetrics().horizontalAdvance(text) + margins, header->sectionSize(i));
      }
    }
  }

  // The caption follows the indicator and the gap after it.
  void CheckIndicatorButton(QAbstractButton& button, QStyle::PixelMetric indicator, QStyle::PixelMetric spacing) {
    const QString text = WithoutMnemonic(button.text());
    if (text.isEmpty()) return;
    const int have = button.width() - button.style()->pixelMetric(indicator, nullptr, &button) -
                     button.style()->pixelMetric(spacing, nullptr, &button);
    Report(button, text, button.fontMetrics().horizontalAdvance(text), have);
  }

  QWidget& window_;
  std::vector<Clipped> clipped_;
};

// Runs `open`, which shows a modal window, and `inside` on that window once it is up; `inside`
// must close it.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget&)>& inside) {
  QWidget* const before = QApplication::activeModalWidget();
  bool done = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (done || !modal || modal == before || !modal->isVisible()) return;
    done = true;
    QApplication::setActiveWindow(modal);
    inside(*modal);
    if (modal->isVisible()) modal->close();  // a failed step still ends
  });
  poll.start(5);
  open();
  poll.stop();
  EXPECT_TRUE(done) << "no window came up";
}

class DialogCaptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    tools::CreateNoteTable(dir_.path().toStdString(), {{1, 0, "Alpha", "alpha body"}, {2, 1, "Beta", ""}});
    form_ = std::make_unique<TMainForm>(dir_.path() + u'/');
    form_->show();
  }
  void TearDown() override { TwwIntl::Instance().RestoreDefaults(); }

  static void ExpectAllFit(QWidget& window) {
    const std::vector<Clipped> clipped = CaptionWalk(window).Run();
    EXPECT_TRUE(clipped.empty()) << ::testing::PrintToString(clipped);
  }

  // Opens every dialog window the program has and checks its captions; `sizes` gets each
  // window's size as it showed.
  void CheckEveryDialog(std::map<std::string, QSize>& sizes) {
    WithModal([&] { form_->MenuLocateClick(nullptr); }, [&](QWidget& window) {
      ASSERT_NE(qobject_cast<TwwLocateDlg*>(&window), nullptr);
      sizes["Locate"] = window.size();
      ExpectAllFit(window);
    });
    WithModal([&] { form_->MenuFilterClick(nullptr); }, [&](QWidget& window) {
      auto* dlg = qobject_cast<TwwFilterDlg*>(&window);
      ASSERT_NE(dlg, nullptr);
      sizes["Super Search"] = window.size();
      ExpectAllFit(window);
      dlg->ValueRangeTabSet->setCurrentIndex(1);  // the range page
      ExpectAllFit(window);
      dlg->ValueRangeTabSet->setCurrentIndex(0);
      dlg->FilterValueEdit->setText(QStringLiteral("alpha"));
      WithModal([&] { dlg->ViewButton->click(); }, [&](QWidget& summary) {
        sizes["Summary"] = summary.size();
        ExpectAllFit(summary);
      });
    });
    TwwNavButton* search = nullptr;
    for (TwwNavButton* b : form_->wwDBNavigator1->findChildren<TwwNavButton*>())
      if (b->Style() == nbsSearchDialog) search = b;
    ASSERT_NE(search, nullptr);
    WithModal([&] { search->click(); }, [&](QWidget& window) {
      ASSERT_NE(qobject_cast<TwwLookupDlg*>(&window), nullptr);
      ExpectAllFit(window);
    });
    for (QAction* item : {form_->MenuExportToAscii, form_->MenuExportToOPML, form_->MenuImportFromMarkdownFolders,
                          form_->MenuImportFromCSV}) {
      SCOPED_TRACE(item->objectName().toStdString());
      WithModal([&] { item->trigger(); }, [&](QWidget& window) {
        ASSERT_NE(qobject_cast<TExchangeForm*>(&window), nullptr);
        ExpectAllFit(window);
      });
    }
    form_->MenuBackup->trigger();  // one backup for the restore window to list
    WithModal([&] { form_->MenuRestore->trigger(); }, [&](QWidget& window) {
      ASSERT_NE(qobject_cast<TRestoreForm*>(&window), nullptr);
      ExpectAllFit(window);
    });
    {
      TProgressWindow progress(QStringLiteral("Import"), QStringLiteral("/home/someone/Notes/notes.opml"), form_.get());
      progress.Callback()("Storing the notes", 1, 2);
      ExpectAllFit(progress);
    }
    struct Box {
      MessageIcon icon;
      MessageButtons buttons;
      QString text;
    } const boxes[] = {
        {MessageIcon::Information, mbOK, "No more matches found"},
        {MessageIcon::Warning, mbOK,
         "Invalid FilterMethod for Dataset. \rOnly fdByFilter is supported for this type of Dataset"},
        {MessageIcon::Confirmation, mbOK | mbCancel | mbAll, "Delete \"Alpha\" and the notes below it?"},
        {MessageIcon::Confirmation, mbOK | mbCancel,
         "Replace the notes by the backup of 2026-12-11 09:30:05, made at close: 100,000 notes?\n"
         "The notes as they are now are kept as one more backup."},
        {MessageIcon::Error, mbOK,
         "Table: Cannot open the table /home/someone/TindrelII/Tindrel.dbf: the file is damaged (the memo "
         "file Tindrel.dbt is shorter than its header says)."},
        {MessageIcon::Warning, mbOK,
         TTableStatus::OpenWarningsText({QStringLiteral("The last changes were completed from the journal in "
                                                        "/home/someone/TindrelII/Tindrel.dbf")})},
        {MessageIcon::Error, mbOK,
         TTableStatus::FailedChangeText(
             QStringLiteral("Writing /home/someone/TindrelII/Tindrel.dbt failed: No space left on device"), true, true,
             QStringLiteral("A change to /home/someone/TindrelII/Tindrel.dbf failed; reopen the table"))},
    };
    QtMessageBoxes real;
    for (const Box& b : boxes) {
      SCOPED_TRACE(b.text.toStdString());
      WithModal([&] { real.Show(QStringLiteral("Tindrel II"), b.text, b.icon, b.buttons); },
                [&](QWidget& window) {
                  ASSERT_NE(qobject_cast<QMessageBox*>(&window), nullptr);
                  ExpectAllFit(window);
                });
    }
  }

  testing::ScriptedPlatform platform_;
  QTemporaryDir dir_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(DialogCaptionsTest, EveryCaptionFitsAndTheWindowsKeepTheirDesignedSizes) {
  std::map<std::string, QSize> sizes;
  CheckEveryDialog(sizes);
  QWidget& main = *form_;
  EXPECT_EQ(sizes["Locate"], QSize(Scaled(212, &main), Scaled(238, &main)));
  EXPECT_EQ(sizes["Super Search"].width(), Scaled(476, &main));
  EXPECT_EQ(sizes["Summary"].width(), Scaled(481, &main));
}

TEST_F(DialogCaptionsTest, CaptionsLongerThanTheDesignAllowsWidenTheirControlsAndWindows) {
  TwwIntl& intl = TwwIntl::Instance();
  intl.DialogFontStyle = fsBold;
  intl.BtnCancelCaption = QStringLiteral("Cancel and Close");
  intl.LocateDialog.MatchStartLabel = QStringLiteral("&Partial Match at the Beginning of the Value");
  intl.LocateDialog.BtnFirst = QStringLiteral("Find the Fi&rst");
  intl.FilterDialog.FieldOrderAlphabetic = QStringLiteral("Alpha&betical Order");
  intl.FilterDialog.MatchStart = QStringLiteral("&Partial Match at the Beginning of the Value");
  intl.FilterDialog.ViewSummaryBtn = QStringLiteral("View the Search Su&mmary");
  intl.FilterDialog.SummaryFieldHeading = QStringLiteral("The Field that is Searched for a Value");
  std::map<std::string, QSize> sizes;
  CheckEveryDialog(sizes);
  QWidget& main = *form_;
  EXPECT_GT(sizes["Locate"].width(), Scaled(212, &main));
  EXPECT_EQ(sizes["Locate"].height(), Scaled(238, &main));
  EXPECT_GT(sizes["Super Search"].width(), Scaled(476, &main));
}

}  // namespace
}  // namespace tindrel

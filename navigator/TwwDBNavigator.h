#pragma once
// The navigator bar: a data-aware row (or column) of glyph buttons bound to a dataset through a
// data source. Record buttons call the dataset's operations, the two bookmark buttons use the
// navigator's bookmark store, and dialog buttons execute dialog components, known only through
// TwwCustomDialog and the name-keyed class registry. Every open, close, change of editing state,
// of content or of position makes every button re-evaluate whether it is enabled.
//
// Layout: visible buttons run left to right (top to bottom in vertical layout), a button that
// would end beyond the navigator or has LineBreak starts a new row. With asSizeNavigator the
// navigator takes the size of its buttons, with asSizeNavButtons the buttons share the
// navigator's client area, remainder pixels to the first ones.
//
// Placing the main window's bar (eight 25 x 25 buttons, 200 x 25, tool bar settings):
//   auto* nav = TwwDBNavigator::PlaceOnMainWindow(toolBar, dataSource, filterDialog, locateDialog);
//   toolBar->addWidget(nav);   // or put it at the tool bar's left in a layout

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

#include "navigator/TwwNavBookmark.h"
#include "navigator/TwwNavButton.h"
#include "navigator/TwwNavGlyphs.h"
#include "navigator/TwwNavTypes.h"
#include "store/TDataLink.h"

namespace tindrel {

class TDataSet;
class TDataSource;
class TwwCustomDialog;
class TwwDBNavigator;
class TwwImageList;

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A panel that can paint itself transparent (its parent's background shows through).
class TwwCustomTransparentPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TwwCustomTransparentPanel(QWidget* parent = nullptr);

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool TransparentClearsBackground() const { return clearsBackground_; }
  void SetTransparentClearsBackground(bool on) { clearsBackground_ = on; }
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut cut);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut cut);
  // The number of bevels that are not none (0, 1 or 2), each one pixel wide.
  int BevelCount() const { return (bevelInner_ != bvNone ? 1 : 0) + (bevelOuter_ != bvNone ? 1 : 0); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  virtual void BevelsChanged() {}

 private:
  bool transparent_ = false;
  bool clearsBackground_ = false;
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvNone;
};

// The navigator's data link: turns the three notifications the buttons care about into updates.
class TwwNavDataLink : public TDataLink {
 public:
  explicit TwwNavDataLink(TwwDBNavigator* navigator) : navigator_(navigator) {}
  TwwDBNavigator* Navigator() const { return navigator_; }

 protected:
  void NotifyDataSetChange() override;
  void NotifyEditingChange() override;
  void NotifyActiveChange() override;
  void NotifyReadOnlyChange() override;

 private:
  TwwDBNavigator* navigator_;
};

// The button list: a view over the navigator's buttons in their order.
class TwwNavButtons {
 public:
  explicit TwwNavButtons(TwwDBNavigator* navigator) : navigator_(navigator) {}

  int Count() const;
  TwwNavButton* Buttons(int i) const;         // "Index of Buttons[] out of range"
  int VisibleCount() const;
  TwwNavButton* VisibleButtons(int i) const;  // "Index of VisibleButtons[] out of range"
  // The button's position; "Button parameter of RetrieveIndex not in Buttons list".
  int RetrieveIndex(const TwwNavButton* button) const;

  // While the lock is held nothing is arranged.
  void BeginUpdate() { ++updateLock_; }
  void EndUpdate() { if (updateLock_ > 0) --updateLock_; }
  int UpdateLock() const { return updateLock_; }

  void ArrangeButtons();
  void UpdateAllButtons(TwwUpdateCause cause);

 private:
  TwwDBNavigator* navigator_;
  int updateLock_ = 0;
};

class TwwDBNavigator : public TwwCustomTransparentPanel {
  Q_OBJECT
 public:
  explicit TwwDBNavigator(QWidget* parent = nullptr);
  ~TwwDBNavigator() override;

  // The main window's navigator "wwDBNavigator1": 200 x 25, hand-point cursor, hints shown,
  // repeat 500 / 100 ms, bound to `source`, with the eight buttons Post, Cancel, Refresh,
  // SaveBookmark, RestoreBookmark, FilterDialog (`filterDialog`), LocateDialog (`locateDialog`)
  // and SearchDialog (its dialog created on the first click), 25 x 25 each, named
  // "wwDBNavigator1Post"... and starting disabled until the first state update.
  static TwwDBNavigator* PlaceOnMainWindow(QWidget* parent, TDataSource* source, TwwCustomDialog* filterDialog,
                                           TwwCustomDialog* locateDialog);

  TDataSource* DataSource() const { return dataLink_.DataSource(); }
  void SetDataSource(TDataSource* source);
  // The data source's dataset. With `raise`: "Error, DataSource not assigned" without a data
  // source, and an invalid-operation error without a dataset; otherwise none.
  TDataSet* GetNavDataSet(bool raise) const;
  TwwNavDataLink& DataLink() { return dataLink_; }
  const TwwNavDataLink& DataLink() const { return dataLink_; }

  TwwNavButtons& Buttons() { return buttons_; }
  const TwwNavButtons& Buttons() const { return buttons_; }
  // Puts `control` into the navigator; anything but a TwwNavButton raises "TwwDBNavigator only
  // accepts controls derived from TwwNavButton".
  void InsertControl(QWidget* control);

  TwwNavLayout Layout() const { return layout_; }
  void SetLayout(TwwNavLayout layout);
  TwwNavAutoSizeStyle AutosizeStyle() const { return autosizeStyle_; }
  void SetAutosizeStyle(TwwNavAutoSizeStyle style);
  int MoveBy() const { return moveBy_; }
  void SetMoveBy(int records);
  TwwNavOptions Options() const { return options_; }
  void SetOptions(TwwNavOptions options) { options_ = options; }
  bool Flat() const { return flat_; }
  void SetFlat(bool on);
  TwwImageList* ImageList() const { return imageList_.data(); }
  void SetImageList(TwwImageList* list);
  TwwNavRepeatInterval RepeatInterval;
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Renames the navigator and every button whose name begins with the old name.
  void SetName(const QString& name);

  // The bookmark store.
  TBookmark SaveNavBookmark(TDataSet* dataSet);
  TBookmark FindNavBookmark(const TDataSet* dataSet) const { return bookmarks_.Find(dataSet); }
  void DropNavBookmarks(const TDataSet* dataSet) { bookmarks_.Drop(dataSet); }
  const TwwNavBookmarks& Bookmarks() const { return bookmarks_; }

  void UpdateAllButtons(TwwUpdateCause cause) { buttons_.UpdateAllButtons(cause); }
  void ArrangeButtons();
  void AutoSizeNavigator();
  // Arranges and sizes in the order the sizing style needs (buttons sized first with
  // asSizeNavButtons, arranged first otherwise).
  void Realign();
  // Creates the default buttons (the 14 record styles) when there are none; also done when the
  // navigator is first painted without buttons.
  void CreateDefaultButtons();

  QSize sizeHint() const override { return size(); }
  QSize minimumSizeHint() const override { return size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void BevelsChanged() override { Realign(); }

 private:
  friend class TwwNavButton;
  friend class TwwNavButtons;
  void AddButton(TwwNavButton* button);
  void RemoveButton(TwwNavButton* button);
  void MoveButton(TwwNavButton* button, int index);
  void SizeButtons();
  TwwNavButton* AddDefaultButton(TwwNavButtonStyle style);

  TwwNavDataLink dataLink_;
  TwwNavButtons buttons_;
  TwwNavBookmarks bookmarks_;
  std::vector<TwwNavButton*> list_;
  TwwNavLayout layout_ = nlHorizontal;
  TwwNavAutoSizeStyle autosizeStyle_ = asSizeNavigator;
  int moveBy_ = 10;
  TwwNavOptions options_ = noConfirmDelete;
  bool flat_ = true;
  QPointer<TwwImageList> imageList_;
  bool showHint_ = false;
  bool enabled_ = true;
  bool destroying_ = false;
  bool handleCreated_ = false;
  bool arranging_ = false;
  bool defaultsQueued_ = false;
};

}  // namespace tindrel

#pragma once
// The search box of the search window: an edit whose text, after a pause in the typing, moves
// the table of its data source to the first record whose key begins with the text. A burst of
// typing causes one search after the pause (100 ms for a local engine table unless SearchDelay
// says otherwise).

#include <QLineEdit>

#include <functional>
#include <memory>

namespace tindrel {

class PlatformTimer;
class TDataSource;
class TwwIncrementalSearch;

using TwwAfterSearchEvent = std::function<void(TwwIncrementalSearch& sender, bool matchFound)>;

class TwwIncrementalSearch : public QLineEdit {
  Q_OBJECT
 public:
  explicit TwwIncrementalSearch(QWidget* parent = nullptr);
  ~TwwIncrementalSearch() override;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source) { dataSource_ = source; }
  // The field searched when the table has no key fields (empty: the first field).
  QString SearchField;
  // Milliseconds of pause before a search; 0: automatic.
  int SearchDelay = 0;
  bool ShowMatchText = false;
  TwwAfterSearchEvent OnAfterSearch;

  // Runs the search now when the text differs from the last searched one (the timer firing,
  // or the window closing).
  void FlushPendingSearch();
  // Searches for `text` at once; returns whether it matched.
  bool DoSearch(const QString& text);
  bool SearchPending() const;
  const QString& LastSearchText() const { return lastSearch_; }
  // Forgets the last searched text and empties the box without searching.
  void Reset();

 private:
  // Restarts the typing pause when the text differs from the last searched one.
  void RestartPause();
  int PauseMs() const;
  std::unique_ptr<PlatformTimer> timer_;
  TDataSource* dataSource_ = nullptr;
  QString lastSearch_;
};

}  // namespace tindrel

#pragma once
// The base of the dialog components (locate, filter, search): a non-visual object placed on a
// window, which builds its dialog window when executed. The navigator drives every dialog only
// through Execute and GetPrimaryDataSet, and finds dialog classes by name in the registry below,
// where each dialog module registers its class at start-up.

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace tindrel {

class TDataSet;
class TDataSource;

class TwwCustomDialog : public QObject {
  Q_OBJECT
 public:
  explicit TwwCustomDialog(QObject* owner = nullptr);
  ~TwwCustomDialog() override;

  // Shows the dialog modally; true when it was closed with OK.
  virtual bool Execute() = 0;
  // The dataset the dialog works on, or none.
  virtual TDataSet* GetPrimaryDataSet() const = 0;

  // The class name the registry knows this dialog by ("TwwLocateDialog").
  virtual QString ClassName() const = 0;
  // Whether this dialog is of the named class or derives from it.
  virtual bool InheritsClass(const QString& className) const { return className == ClassName(); }

  // The published class-typed binding properties. Each returns false when the dialog class has
  // no such property (the dialog then stays unbound).
  virtual bool SetDataSourceProperty(TDataSource* source) { return false; }
  virtual bool SetSearchTableProperty(TDataSet* table) { return false; }
};

// The name-keyed registry of dialog classes.
class TwwDialogRegistry {
 public:
  using Factory = std::function<TwwCustomDialog*(QObject* owner)>;

  // Registers (or replaces) the class `className` with the factory that creates one.
  static void Register(const QString& className, Factory factory);
  static bool IsRegistered(const QString& className);
  // A new dialog of the class owned by `owner`, or null when the class is not registered.
  static TwwCustomDialog* Create(const QString& className, QObject* owner);
  static std::vector<QString> ClassNames();
};

}  // namespace tindrel

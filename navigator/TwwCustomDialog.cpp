#include "navigator/TwwCustomDialog.h"

#include <map>

namespace tindrel {

TwwCustomDialog::TwwCustomDialog(QObject* owner) : QObject(owner) {}

TwwCustomDialog::~TwwCustomDialog() = default;

namespace {

std::map<QString, TwwDialogRegistry::Factory>& Classes() {
  static std::map<QString, TwwDialogRegistry::Factory> classes;
  return classes;
}

}  // namespace

void TwwDialogRegistry::Register(const QString& className, Factory factory) {
  Classes()[className] = std::move(factory);
}

bool TwwDialogRegistry::IsRegistered(const QString& className) { return Classes().count(className) != 0; }

TwwCustomDialog* TwwDialogRegistry::Create(const QString& className, QObject* owner) {
  auto it = Classes().find(className);
  return it == Classes().end() ? nullptr : it->second(owner);
}

std::vector<QString> TwwDialogRegistry::ClassNames() {
  std::vector<QString> names;
  for (const auto& entry : Classes()) names.push_back(entry.first);
  return names;
}

}  // namespace tindrel

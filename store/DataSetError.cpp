#include "store/DataSetError.h"

namespace tindrel {

namespace {
std::string Compose(const QString& component, const QString& text) {
  if (component.isEmpty()) return text.toStdString();
  return (component + QStringLiteral(": ") + text).toStdString();
}
}  // namespace

DataSetError::DataSetError(const QString& componentName, const QString& text)
    : std::runtime_error(Compose(componentName, text)), component_(componentName), text_(text) {}

}  // namespace tindrel

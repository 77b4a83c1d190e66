#pragma once
// A failure of the dataset layer. The message is the raising component's name, ": " and the
// text, for example "Table: Cannot perform this operation on a closed dataset".

#include <stdexcept>
#include <QString>

namespace tindrel {

class DataSetError : public std::runtime_error {
 public:
  DataSetError(const QString& componentName, const QString& text);

  const QString& ComponentName() const { return component_; }
  const QString& Text() const { return text_; }

 private:
  QString component_;
  QString text_;
};

}  // namespace tindrel

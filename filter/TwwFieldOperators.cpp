#include "filter/TwwFieldOperators.h"

#include "filter/FilterValueSyntax.h"
#include "platform/ErrorBox.h"
#include "platform/Platform.h"

namespace tindrel {

bool TwwFieldOperators::Unique() const {
  const auto same = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; };
  return !same(orChar_, andChar_) && !same(orChar_, nullChar_) && !same(andChar_, nullChar_);
}

void TwwFieldOperators::Assign(QString& word, const QString& value) {
  if (value != word) word = TrimBlanksAndTabs(value);
  if (!Unique())
    Platform::Instance().MessageBoxes().Show(QString::fromLatin1(kApplicationTitle),
                                             QStringLiteral("Operators do not have a unique value."),
                                             MessageIcon::Warning, mbOK);
}

}  // namespace tindrel

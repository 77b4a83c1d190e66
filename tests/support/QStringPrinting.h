#pragma once
// Failure messages show a QString as the text a person reads, not as its bytes.

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

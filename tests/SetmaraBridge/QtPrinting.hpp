#pragma once

#include <QString>

#include <ostream>

// Qt texts in test messages, as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

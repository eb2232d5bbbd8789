#pragma once

#include <QString>

#include <ostream>

// Readable QString values in test failure messages. Include it in every file of a test
// program that compares QStrings, so all of them print alike.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

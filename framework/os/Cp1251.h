#pragma once

#include "OsError.h"

#include <QByteArray>
#include <QString>

namespace fw {

// The program's single-byte code page (Windows 1251). Conversions never
// replace a character silently: what the code page cannot hold is an error.
QByteArray toCp1251(const QString& text);   // throws EncodingError naming the character
QString fromCp1251(const QByteArray& bytes);
bool isCp1251(const QString& text);
// One character; quick enough to be asked for every character of a file.
bool isCp1251Char(char32_t codePoint);

// "U+4E2D «中»": how an error names a character.
QString describeCodePoint(char32_t codePoint);

} // namespace fw

#pragma once

#include "DbError.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

namespace fw {

// Code page 1251, the program's one: the database's columns, statements,
// files, mail and the plug-in. Every byte is a character (0x98, which the code
// page leaves unused, is U+0098), so whatever a column holds reads as text and
// is written back byte for byte.
namespace cp1251 {

char16_t toChar(uint8_t byte);
// The byte of a character; -1 when the code page has none.
int toByte(char32_t c);

QString decode(const char* bytes, qsizetype length);
// Appends the bytes of text to out. On a character outside the code page,
// returns false with out as it was and *bad at the character.
bool encode(QStringView text, QByteArray& out, qsizetype* bad = nullptr);

// A control character other than TAB, CR and LF: no text a person types or a
// file holds, though a column may hold one (U+0098 above all).
bool isControl(char32_t c);
// The code point at i, a surrogate pair taken whole.
char32_t codePointAt(QStringView text, qsizetype i);
// Where text holds a character that a person or a file may not give: a
// control character or one outside the code page; -1 when it holds none.
qsizetype refusedAt(QStringView text);
// How every message names a refused character: "управляющий символ U+0098",
// "символ U+20BD «₽», которого нет в кодировке Windows-1251".
QString describe(char32_t c);

} // namespace cp1251

// Code page 1251 for files, mail and the plug-in.
QByteArray toCp1251(const QString& text);   // throws EncodingError naming the character
QString fromCp1251(const QByteArray& bytes);

} // namespace fw

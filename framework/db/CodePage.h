#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

namespace fw::cp1251 {

// Code page 1251, the database's own, without a codec object: the engine
// stores these bytes, so they must be exactly the engine's.

// The character of a byte. 0x98, unused in the code page, reads as U+0098, so
// that whatever bytes a column holds read back as some text.
char16_t toChar(uint8_t byte);
// The byte of a character, 0 when the code page has none (and for NUL). U+0098
// has none: it is no character of the code page, and the engine refuses it.
uint8_t toByte(char32_t c);

QString decode(const char* bytes, qsizetype length);
// Appends the bytes of text to out. On a character outside the code page,
// returns false with out as it was and *bad at the character.
bool encode(QStringView text, QByteArray& out, qsizetype* bad = nullptr);

// The code point at i ("U+2603 «☃»"), for messages naming a refused character.
QString describe(QStringView text, qsizetype i);

} // namespace fw::cp1251

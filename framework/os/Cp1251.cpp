#include "Cp1251.h"

#include <QStringView>
#include <QTextCodec>

#include <algorithm>
#include <array>

namespace fw {

namespace {

QTextCodec* codec()
{
    static QTextCodec* const c = QTextCodec::codecForName("windows-1251");
    if (!c)
        throw EncodingError("Кодировка Windows-1251 недоступна", 0);
    return c;
}

// The length of the code point at i: 2 for a surrogate pair, else 1 (a lone
// surrogate counts as one unit of its own).
qsizetype codePointLength(QStringView text, qsizetype i)
{
    return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
}

bool encodes(QStringView text, QByteArray* out)
{
    // The codec keeps a trailing lone surrogate as pending state without
    // counting it as remaining: look for lone surrogates ourselves.
    for (qsizetype i = 0; i < text.size(); i += codePointLength(text, i))
        if (text[i].isSurrogate() && codePointLength(text, i) == 1)
            return false;
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    QByteArray bytes = codec()->fromUnicode(text.data(), int(text.size()), &state);
    if (state.invalidChars != 0 || state.remainingChars != 0)
        return false;
    if (out)
        *out = std::move(bytes);
    return true;
}

// The first code point of text that the code page cannot hold.
char32_t firstUnencodable(const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = codePointLength(text, i);
        if (!encodes(QStringView(text).mid(i, len), nullptr)) {
            if (len == 2)
                return QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            return text.at(i).unicode();
        }
        i += len;
    }
    return 0;
}

} // namespace

QString describeCodePoint(char32_t codePoint)
{
    QString s = "U+" + QString("%1").arg(uint(codePoint), 4, 16, QChar('0')).toUpper();
    const QString glyph = QString::fromUcs4(&codePoint, 1);
    if (QChar::isPrint(codePoint))
        s += QString(" «%1»").arg(glyph);
    return s;
}

QByteArray toCp1251(const QString& text)
{
    QByteArray bytes;
    if (encodes(text, &bytes))
        return bytes;
    const char32_t cp = firstUnencodable(text);
    throw EncodingError(QString("Символ %1 нельзя записать в кодировке Windows-1251").arg(describeCodePoint(cp)), cp);
}

QString fromCp1251(const QByteArray& bytes)
{
    QTextCodec::ConverterState state;
    QString text = codec()->toUnicode(bytes.constData(), int(bytes.size()), &state);
    if (state.invalidChars != 0)
        throw EncodingError("Текст содержит байты, которых нет в кодировке Windows-1251", 0);
    return text;
}

bool isCp1251(const QString& text)
{
    return encodes(text, nullptr);
}

bool isCp1251Char(char32_t codePoint)
{
    if (codePoint < 0x80)
        return true;
    // The characters of the upper half, sorted.
    static const std::array<char32_t, 128> upper = [] {
        std::array<char32_t, 128> chars{};
        QByteArray bytes(128, Qt::Uninitialized);
        for (int i = 0; i < 128; ++i)
            bytes[i] = char(0x80 + i);
        const QString text = codec()->toUnicode(bytes);
        for (int i = 0; i < 128; ++i)
            chars[size_t(i)] = i < text.size() ? text.at(i).unicode() : 0;
        std::sort(chars.begin(), chars.end());
        return chars;
    }();
    return std::binary_search(upper.begin(), upper.end(), codePoint);
}

} // namespace fw

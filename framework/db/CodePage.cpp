#include "CodePage.h"

#include <array>

namespace fw {

namespace cp1251 {

namespace {

// The upper half of the code page.
constexpr char16_t kUpper[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char32_t kLastUpper = 0x2122;

// The byte of each character of the upper half; 0 for none.
const std::array<uint8_t, kLastUpper + 1>& byteTable()
{
    static const auto table = [] {
        std::array<uint8_t, kLastUpper + 1> t{};
        for (int i = 0; i < 128; ++i) t[kUpper[i]] = uint8_t(0x80 + i);
        return t;
    }();
    return table;
}

} // namespace

char16_t toChar(uint8_t byte) { return byte < 0x80 ? char16_t(byte) : kUpper[byte - 0x80]; }

int toByte(char32_t c)
{
    if (c < 0x80) return int(c);
    const int b = c <= kLastUpper ? byteTable()[c] : 0;
    return b ? b : -1;
}

QString decode(const char* bytes, qsizetype length)
{
    QString s(length, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    for (qsizetype i = 0; i < length; ++i) out[i] = toChar(uint8_t(bytes[i]));
    return s;
}

bool encode(QStringView text, QByteArray& out, qsizetype* bad)
{
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char* p = out.data() + at;
    const char16_t* in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = toByte(in[i]);
        if (b < 0) {
            out.truncate(at);
            if (bad) *bad = i;
            return false;
        }
        p[i] = char(b);
    }
    return true;
}

bool isControl(char32_t c)
{
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x7F && c <= 0x9F);
}

char32_t codePointAt(QStringView text, qsizetype i)
{
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[i], text[i + 1]);
    return text[i].unicode();
}

qsizetype refusedAt(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (isControl(text[i].unicode()) || toByte(text[i].unicode()) < 0) return i;
    return -1;
}

QString describe(char32_t c)
{
    const QString code = QString("U+%1").arg(uint(c), 4, 16, QChar('0')).toUpper();
    if (QChar::category(c) == QChar::Other_Control) return "управляющий символ " + code;
    const QString glyph = QChar::isPrint(c) ? QString(" «%1»").arg(QString::fromUcs4(&c, 1)) : QString();
    return QString("символ %1%2, которого нет в кодировке Windows-1251").arg(code, glyph);
}

} // namespace cp1251

QByteArray toCp1251(const QString& text)
{
    QByteArray bytes;
    qsizetype bad = 0;
    if (cp1251::encode(text, bytes, &bad)) return bytes;
    const char32_t c = cp1251::codePointAt(text, bad);
    throw EncodingError("Нельзя записать " + cp1251::describe(c), c);
}

QString fromCp1251(const QByteArray& bytes) { return cp1251::decode(bytes.constData(), bytes.size()); }

} // namespace fw

#include "TsvFile.h"

#include "OutputFile.h"
#include "db/CodePage.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <QStringDecoder>

namespace fw {

TsvWriter::TsvWriter(const QString& fileName) : fileName_(fileName), file_(fileName)
{
    // Unbuffered: the writes below go straight to the descriptor, so that a
    // failure carries the system's own reason (a full disk, a quota).
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw FileError(QString("Не удалось создать файл \"%1\": %2").arg(fileName_, file_.errorString()));
}

TsvWriter::~TsvWriter()
{
    if (file_.isOpen()) {
        try {
            flushBuffer();
        } catch (const FileError&) {
        }
        file_.close();
    }
}

void TsvWriter::fail(int error)
{
    buffer_.clear();
    file_.close();
    throw FileError(QString("Ошибка записи в файл \"%1\": %2").arg(fileName_, QString::fromLocal8Bit(std::strerror(error))));
}

void TsvWriter::flushBuffer()
{
    const int fd = file_.handle();
    qsizetype done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd, buffer_.constData() + done, size_t(buffer_.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        done += n;   // a short write is followed by the next one, which names the cause
    }
    buffer_.clear();
}

void TsvWriter::write(const QByteArray& bytes)
{
    if (!file_.isOpen())
        throw FileError(QString("Файл \"%1\" уже закрыт").arg(fileName_));
    buffer_ += bytes;
    if (buffer_.size() >= 64 * 1024)
        flushBuffer();
}

void TsvWriter::writeValue(const QString& value)
{
    QString v = value;
    for (QChar& c : v)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    QByteArray bytes;
    try {
        bytes = toCp1251(v);
    } catch (const EncodingError& e) {
        throw EncodingError(QString("Файл \"%1\", строка %2: %3").arg(fileName_).arg(line_).arg(e.message()),
                            e.codePoint());
    }
    if (!lineStart_)
        bytes.prepend('\t');
    lineStart_ = false;
    write(bytes);
}

void TsvWriter::newLine()
{
    write("\r\n");
    lineStart_ = true;
    ++line_;
}

void TsvWriter::close()
{
    if (!file_.isOpen())
        return;
    flushBuffer();
    // A file system may report a full disk or quota only when the data is synced.
    if (::fsync(file_.handle()) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    file_.close();
    if (file_.error() != QFileDevice::NoError)
        throw FileError(QString("Ошибка записи в файл \"%1\": %2").arg(fileName_, file_.errorString()));
}

void TsvWriter::discard()
{
    buffer_.clear();
    if (file_.isOpen())
        file_.close();
    removePartialFile(fileName_);
}

QStringList splitTsvLine(const QString& line)
{
    if (line.isEmpty())
        return {};
    return line.split('\t');
}

namespace {

// Checks UTF-8 chunk by chunk; a sequence may span two chunks.
class Utf8Scan {
public:
    void feed(const char* data, qint64 size)
    {
        for (qint64 i = 0; i < size && valid_; ++i) {
            const auto b = static_cast<unsigned char>(data[i]);
            if (pending_ > 0) {
                if ((b & 0xC0) != 0x80 || b < lower_ || b > upper_) {
                    valid_ = false;
                    return;
                }
                lower_ = 0x80;
                upper_ = 0xBF;
                if (--pending_ == 0) ++sequences_;
                continue;
            }
            if (b < 0x80) continue;
            nonAscii_ = true;
            lower_ = 0x80;
            upper_ = 0xBF;
            if (b >= 0xC2 && b <= 0xDF) pending_ = 1;
            else if (b >= 0xE0 && b <= 0xEF) {
                pending_ = 2;
                if (b == 0xE0) lower_ = 0xA0;        // no overlong forms
                if (b == 0xED) upper_ = 0x9F;        // no surrogates
            } else if (b >= 0xF0 && b <= 0xF4) {
                pending_ = 3;
                if (b == 0xF0) lower_ = 0x90;
                if (b == 0xF4) upper_ = 0x8F;        // nothing above U+10FFFF
            } else
                valid_ = false;
        }
    }
    bool validUtf8() const { return valid_ && pending_ == 0; }
    // Valid UTF-8 with whole characters in it, cut inside the last one: a
    // lone 1251 capital at the end of an ASCII file is no such thing.
    bool cutUtf8() const { return valid_ && pending_ > 0 && sequences_ > 0; }
    bool failed() const { return !valid_; }
    bool nonAscii() const { return nonAscii_; }

private:
    int pending_ = 0;
    unsigned char lower_ = 0x80, upper_ = 0xBF;
    bool valid_ = true;
    bool nonAscii_ = false;
    qint64 sequences_ = 0;
};

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

FileError readError(const QFile& file)
{
    return FileError(QString("Ошибка чтения файла \"%1\": %2").arg(file.fileName(), file.errorString()));
}

bool isBlankByte(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

// Where the file's last line that holds more than blanks and TABs ends: empty
// lines and lines of TABs only (a spreadsheet's empty rows) at the end are not
// read. A line is read whole once it is begun, so that last line keeps its TABs.
qint64 contentEnd(QFile& file, qint64 start)
{
    qint64 end = file.size();
    QByteArray chunk;
    while (end > start) {
        const qint64 from = std::max(start, end - (qint64(1) << 16));
        if (!file.seek(from)) throw readError(file);
        chunk = file.read(end - from);
        if (chunk.size() != end - from) throw readError(file);
        qsizetype i = chunk.size();
        while (i > 0 && isBlankByte(chunk.at(i - 1))) --i;
        if (i > 0) return from + i;
        end = from;
    }
    return start;
}

// Text an import cannot read as lines of code page 1251 or UTF-8: UTF-16, and
// lines ended by CR alone. Named, so the user knows how to save the file instead.
void checkTextLayout(QFile& file, const QString& fileName)
{
    if (!file.seek(0)) throw readError(file);
    const QByteArray head = file.read(qint64(1) << 16);
    if (!file.seek(0)) throw readError(file);
    const auto refuse = [&](const QString& what) {
        throw FileError(QString("Файл \"%1\" %2").arg(fileName, what));
    };
    const QString saveAs = "Сохраните его как текст в кодировке Windows-1251 или UTF-8 и выберите снова.";
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        refuse("записан в кодировке UTF-16 (Юникод), а импорт читает текст в кодировке Windows-1251 или UTF-8.\n"
               + saveAs);
    // Without a mark UTF-16 shows in its high bytes: 0 for Latin letters, digits
    // and TABs, 4 for Cyrillic, in every other place. Bytes 0 to 4 never occur in
    // text of code page 1251 or UTF-8.
    qsizetype low[2] = {0, 0};
    for (qsizetype i = 0; i < head.size(); ++i)
        if (static_cast<unsigned char>(head.at(i)) <= 4) ++low[i % 2];
    const qsizetype pairs = head.size() / 2;
    const qsizetype most = std::max(low[0], low[1]), least = std::min(low[0], low[1]);
    if (pairs >= 2 && most * 3 >= pairs && least * 4 <= most)
        refuse("записан в кодировке UTF-16 (Юникод), а импорт читает текст в кодировке Windows-1251 или UTF-8.\n"
               + saveAs);
    const qsizetype cr = head.indexOf('\r');
    if (cr >= 0 && !head.contains('\n') && cr + 1 < file.size())
        refuse("разбит на строки одним символом CR (возврат каретки), как в старых программах Mac OS, "
               "а импорт читает строки, которые оканчиваются на CR LF (Windows) или LF.\n"
               "Сохраните файл с концами строк Windows и выберите снова.");
}

} // namespace

TextEncoding DetectTextEncoding(QFile& file, bool* hasBom)
{
    if (!file.seek(0)) throw readError(file);
    const QByteArray head = file.peek(3);
    const bool bom = head == kUtf8Bom;
    if (hasBom) *hasBom = bom;
    if (bom) return TextEncoding::Utf8;
    Utf8Scan scan;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) throw readError(file);
        if (n == 0) break;
        scan.feed(chunk.constData(), n);
        if (scan.failed()) break;   // one invalid sequence rules UTF-8 out
    }
    if (!file.seek(0)) throw readError(file);
    return (scan.validUtf8() && scan.nonAscii()) || scan.cutUtf8() ? TextEncoding::Utf8 : TextEncoding::Cp1251;
}

FileError NoDataLinesError(const QString& fileName)
{
    return FileError(QString("В файле \"%1\" нет строк для импорта.").arg(fileName));
}

TsvReader::TsvReader(const QString& fileName) : fileName_(fileName), file_(fileName)
{
    if (!file_.open(QIODevice::ReadOnly))
        throw FileError(QString("Не удалось открыть файл \"%1\": %2").arg(fileName_, file_.errorString()));
    checkTextLayout(file_, fileName_);
    bool bom = false;
    encoding_ = DetectTextEncoding(file_, &bom);
    start_ = bom ? kUtf8Bom.size() : 0;
    rewind();
}

void TsvReader::refuse(const QString& line, qsizetype at, const QString& what, char32_t codePoint) const
{
    const int column = int(QStringView(line).left(at).count(u'\t')) + 1;
    QString name;
    if (line_ > 1 && !header_.value(column - 1).trimmed().isEmpty())
        name = QString(" (\"%1\")").arg(header_.value(column - 1).trimmed());
    throw EncodingError(
        QString("Файл \"%1\", строка %2, столбец %3%4: %5").arg(fileName_).arg(line_).arg(column).arg(name, what),
        codePoint);
}

void TsvReader::checkText(const QString& line) const
{
    // A line holds no line end: a CR inside it is refused as any control character.
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char32_t c = cp1251::codePointAt(line, i);
        if (c == 0) refuse(line, i, "нулевой байт: файл не текстовый", 0);
        if (c == '\r' || cp1251::isControl(c)) refuse(line, i, cp1251::describe(c) + ": файл не текстовый", c);
        if (cp1251::toByte(c) < 0) refuse(line, i, cp1251::describe(c) + ": его нельзя сохранить в базе данных", c);
    }
}

bool TsvReader::readLine(QString& line)
{
    if (file_.pos() >= end_)
        return false;
    QByteArray bytes = file_.readLine();
    if (file_.error() != QFileDevice::NoError)
        throw readError(file_);
    ++line_;
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    if (encoding_ == TextEncoding::Utf8) {
        // The whole file was checked (or announced by its mark); a line that
        // is still not UTF-8, or ends inside a character, is reported rather
        // than read as replacement marks or cut short.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        line = decoder(bytes);
        if (decoder.hasError()) {
            const qsizetype at = line.indexOf(QChar::ReplacementCharacter);
            refuse(line, at < 0 ? line.size() : at, "текст не в кодировке UTF-8", 0);
        }
    } else {
        line = fromCp1251(bytes);
    }
    checkText(line);
    if (line_ == 1)
        header_ = splitTsvLine(line);
    return true;
}

bool TsvReader::readLine(QStringList& values)
{
    QString line;
    if (!readLine(line))
        return false;
    values = splitTsvLine(line);
    return true;
}

void TsvReader::rewind()
{
    // Found again each time: the file may have been put right since.
    end_ = contentEnd(file_, start_);
    if (!file_.seek(start_))
        throw readError(file_);
    line_ = 0;
}

QStringList TsvReader::readHeader()
{
    rewind();
    QStringList values;
    if (!readLine(values))
        throw FileError(QString("Файл \"%1\" пуст.").arg(fileName_));
    return values;
}

int TsvReader::scanDataLines(const std::function<void(const QStringList& values)>& fn)
{
    readHeader();
    QStringList values;
    int count = 0;
    while (readLine(values)) {
        ++count;
        if (fn) fn(values);
    }
    if (count == 0)
        throw NoDataLinesError(fileName_);
    return count;
}

} // namespace fw

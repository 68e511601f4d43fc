#include "TsvFile.h"

#include "Cp1251.h"
#include "OutputFile.h"

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
                --pending_;
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
    bool failed() const { return !valid_; }
    bool nonAscii() const { return nonAscii_; }

private:
    int pending_ = 0;
    unsigned char lower_ = 0x80, upper_ = 0xBF;
    bool valid_ = true;
    bool nonAscii_ = false;
};

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

} // namespace

TextEncoding DetectTextEncoding(QFile& file, bool* hasBom)
{
    const auto readError = [&file] {
        return FileError(QString("Ошибка чтения файла \"%1\": %2").arg(file.fileName(), file.errorString()));
    };
    if (!file.seek(0)) throw readError();
    const QByteArray head = file.peek(3);
    const bool bom = head == kUtf8Bom;
    if (hasBom) *hasBom = bom;
    if (bom) return TextEncoding::Utf8;
    Utf8Scan scan;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) throw readError();
        if (n == 0) break;
        scan.feed(chunk.constData(), n);
        if (scan.failed()) break;   // one invalid sequence rules UTF-8 out
    }
    if (!file.seek(0)) throw readError();
    return scan.validUtf8() && scan.nonAscii() ? TextEncoding::Utf8 : TextEncoding::Cp1251;
}

TsvReader::TsvReader(const QString& fileName) : fileName_(fileName), file_(fileName)
{
    if (!file_.open(QIODevice::ReadOnly))
        throw FileError(QString("Не удалось открыть файл \"%1\": %2").arg(fileName_, file_.errorString()));
    bool bom = false;
    encoding_ = DetectTextEncoding(file_, &bom);
    start_ = bom ? kUtf8Bom.size() : 0;
    rewind();
}

bool TsvReader::readLine(QString& line)
{
    if (file_.atEnd())
        return false;
    QByteArray bytes = file_.readLine();
    if (file_.error() != QFileDevice::NoError)
        throw FileError(QString("Ошибка чтения файла \"%1\": %2").arg(fileName_, file_.errorString()));
    ++line_;
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    if (encoding_ == TextEncoding::Utf8) {
        // The whole file was checked (or announced by its mark); a line that
        // is still not UTF-8 is reported rather than read as replacement marks.
        QStringDecoder decoder(QStringDecoder::Utf8);
        line = decoder(bytes);
        if (decoder.hasError())
            throw EncodingError(
                QString("Файл \"%1\", строка %2: текст не в кодировке UTF-8").arg(fileName_).arg(line_), 0);
        return true;
    }
    try {
        line = fromCp1251(bytes);
    } catch (const EncodingError& e) {
        throw EncodingError(QString("Файл \"%1\", строка %2: %3").arg(fileName_).arg(line_).arg(e.message()),
                            e.codePoint());
    }
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
    if (!file_.seek(start_))
        throw FileError(QString("Ошибка чтения файла \"%1\": %2").arg(fileName_, file_.errorString()));
    line_ = 0;
}

} // namespace fw

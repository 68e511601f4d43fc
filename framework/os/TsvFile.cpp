#include "TsvFile.h"

#include "Cp1251.h"
#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

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

TsvReader::TsvReader(const QString& fileName) : fileName_(fileName), file_(fileName)
{
    if (!file_.open(QIODevice::ReadOnly))
        throw FileError(QString("Не удалось открыть файл \"%1\": %2").arg(fileName_, file_.errorString()));
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
    if (!file_.seek(0))
        throw FileError(QString("Ошибка чтения файла \"%1\": %2").arg(fileName_, file_.errorString()));
    line_ = 0;
}

} // namespace fw

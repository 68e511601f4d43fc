#include "TsvFile.h"

#include "Cp1251.h"

namespace fw {

TsvWriter::TsvWriter(const QString& fileName) : fileName_(fileName), file_(fileName)
{
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QString("Не удалось создать файл \"%1\": %2").arg(fileName_, file_.errorString()));
}

TsvWriter::~TsvWriter()
{
    if (file_.isOpen())
        file_.close();
}

void TsvWriter::fail()
{
    const QString reason = file_.errorString();
    file_.close();
    throw FileError(QString("Ошибка записи в файл \"%1\": %2").arg(fileName_, reason));
}

void TsvWriter::write(const QByteArray& bytes)
{
    if (!file_.isOpen())
        throw FileError(QString("Файл \"%1\" уже закрыт").arg(fileName_));
    if (file_.write(bytes) != bytes.size())
        fail();
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
    if (!file_.flush())
        fail();
    file_.close();
    if (file_.error() != QFileDevice::NoError)
        throw FileError(QString("Ошибка записи в файл \"%1\": %2").arg(fileName_, file_.errorString()));
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

#pragma once

#include "OsError.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>

namespace fw {

// Writes the tab-separated text files that the system exchanges: code page
// 1251, no byte-order mark, one TAB between values, every line ended by CR LF.
// Every write and the close are checked, so a failed export never looks done.
class TsvWriter {
public:
    explicit TsvWriter(const QString& fileName);   // creates or truncates; throws FileError
    TsvWriter(const TsvWriter&) = delete;
    TsvWriter& operator=(const TsvWriter&) = delete;
    ~TsvWriter();                                  // closes an unclosed file, ignoring errors

    // TAB, CR and LF inside a value become spaces so that the file reads back.
    // A character outside the code page throws EncodingError naming it.
    void writeValue(const QString& value);
    void newLine();
    void close();                                  // throws FileError when the data did not reach the disk
    // Gives up a failed file: it is closed and, when it is a regular file, removed.
    void discard();

    const QString& fileName() const { return fileName_; }
    int lineNumber() const { return line_; }       // the line being written, from 1

private:
    void write(const QByteArray& bytes);
    void flushBuffer();
    [[noreturn]] void fail(int error);

    QString fileName_;
    QFile file_;
    QByteArray buffer_;
    bool lineStart_ = true;
    int line_ = 1;
};

// Splits one line: every TAB ends a value, a trailing TAB gives an empty last
// value, an empty line has no values.
QStringList splitTsvLine(const QString& line);

// How a text file read by the program is encoded.
enum class TextEncoding { Cp1251, Utf8 };

// Code page 1251 unless the file starts with a UTF-8 byte-order mark, or is
// valid UTF-8 holding at least one non-ASCII character (a file saved by a
// UTF-8 editor or spreadsheet); valid UTF-8 cut off inside its last character
// counts as UTF-8 too, so that the cut is refused rather than read as 1251.
// Reads the file from its start; throws FileError.
TextEncoding DetectTextEncoding(QFile& file, bool* hasBom = nullptr);

// Reads the files the imports take, line by line (CR LF or LF endings), in the
// encoding that DetectTextEncoding finds; a byte-order mark is not part of the
// first line, and lines at the end of the file that are empty or hold only TABs
// are not read at all. A UTF-16 file and one whose lines end in CR alone are
// refused at the open with FileError naming the encoding or the line ends.
// What is read goes into a database of code page 1251, so every line is
// checked: a control character other than TAB, a character outside the code
// page or bytes that are not UTF-8 throw EncodingError naming the line, the
// column and the character.
class TsvReader {
public:
    explicit TsvReader(const QString& fileName);   // throws FileError
    TsvReader(const TsvReader&) = delete;
    TsvReader& operator=(const TsvReader&) = delete;

    // The next line's values; false at the end of the file.
    bool readLine(QStringList& values);
    // The text of the next line; false at the end of the file.
    bool readLine(QString& line);
    int lineNumber() const { return line_; }      // the line last read, from 1
    void rewind();

    // The first line's values, read from the start; throws FileError when the file is empty.
    QStringList readHeader();
    // Reads every line after the header from the start, handing each to fn,
    // and returns their count; throws FileError when there is none.
    int scanDataLines(const std::function<void(const QStringList& values)>& fn);

    const QString& fileName() const { return fileName_; }
    TextEncoding encoding() const { return encoding_; }

private:
    void checkText(const QString& line) const;
    [[noreturn]] void refuse(const QString& line, qsizetype at, const QString& what, char32_t codePoint) const;

    QString fileName_;
    QFile file_;
    int line_ = 0;
    TextEncoding encoding_ = TextEncoding::Cp1251;
    qint64 start_ = 0;   // past the byte-order mark
    qint64 end_ = 0;     // before the empty lines that end the file
    QStringList header_;
};

// "Nothing to import": a file that holds its header line alone, or nothing
// an import can take.
FileError NoDataLinesError(const QString& fileName);

} // namespace fw

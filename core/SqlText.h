#pragma once

#include <QString>
#include <QStringList>

// Statements of an editable data set built from its field list; "\r" ends a line.
QString MakeInsertSQL(const QString& table, const QStringList& fields);
QString MakeModifySQL(const QString& table, const QStringList& fields);   // first field is the key
QString MakeDeleteSQL(const QString& table, const QStringList& fields);

// Doubles every double quote, for values written into SQL between double quotes.
QString DoubleQuotes(const QString& s);

// Every TAB becomes CR LF; a trailing TAB gets one more CR LF so that the
// empty last value survives the split into lines.
void TabsToLines(QString& s);
// The values of one tab-separated line, as the lines of TabsToLines: an empty
// line has no values, otherwise there are TABs + 1 of them.
QStringList SplitTabLine(const QString& line);
// Splits text into lines at CR LF, CR or LF; a final line break adds no line.
QStringList TextToLines(const QString& text);

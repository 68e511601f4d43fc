#include "SqlText.h"

QString MakeInsertSQL(const QString& table, const QStringList& fields)
{
    QStringList params;
    for (const QString& f : fields) params << ":" + f;
    return "insert into " + table + "\r" + "(" + fields.join(", ") + ")" + "\r" + "Values ("
        + params.join(", ") + ")" + "\r";
}

QString MakeModifySQL(const QString& table, const QStringList& fields)
{
    QString s = "update " + table + " set" + "\r";
    for (int i = 0; i < fields.size(); ++i)
        s += fields[i] + " = :" + fields[i] + (i + 1 < fields.size() ? "," : "") + "\r";
    const QString key = fields.value(0);
    return s + "where " + key + " = :OLD_" + key;
}

QString MakeDeleteSQL(const QString& table, const QStringList& fields)
{
    const QString key = fields.value(0);
    return "delete from " + table + "\r" + "where " + key + " = :OLD_" + key;
}

QString DoubleQuotes(const QString& s)
{
    QString r = s;
    return r.replace("\"", "\"\"");
}

void TabsToLines(QString& s)
{
    const bool trailing = s.endsWith('\t');
    s.replace("\t", "\r\n");
    if (trailing) s += "\r\n";
}

QStringList TextToLines(const QString& text)
{
    QStringList lines;
    QString current;
    bool pending = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '\r' || c == '\n') {
            lines << current;
            current.clear();
            pending = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending) lines << current;
    return lines;
}

QStringList SplitTabLine(const QString& line)
{
    QString s = line;
    TabsToLines(s);
    return TextToLines(s);
}

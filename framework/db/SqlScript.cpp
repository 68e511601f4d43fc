#include "SqlScript.h"

#include "Database.h"

#include <QRegularExpression>

namespace fw {

QStringList splitSqlScript(const QString& script)
{
    static const QRegularExpression setTerm(R"(^\s*SET\s+TERM\s+(\S+)\s*$)",
                                            QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    QString term = ";";
    QString current;
    const int n = int(script.size());
    int i = 0;
    auto flush = [&]() {
        const QString stmt = current.trimmed();
        current.clear();
        if (stmt.isEmpty()) return;
        const auto m = setTerm.match(stmt);
        if (m.hasMatch()) {
            term = m.captured(1);
            return;
        }
        out << stmt;
    };
    while (i < n) {
        const QChar c = script[i];
        if (c == '\'' || c == '"') {
            int j = i + 1;
            while (j < n) {
                if (script[j] == c) {
                    if (j + 1 < n && script[j + 1] == c) { j += 2; continue; }   // doubled quote
                    break;
                }
                ++j;
            }
            current += script.mid(i, j - i + 1);
            i = j + 1;
        } else if (c == '-' && i + 1 < n && script[i + 1] == '-') {
            const int j = script.indexOf('\n', i);
            i = j < 0 ? n : j;
        } else if (c == '/' && i + 1 < n && script[i + 1] == '*') {
            const int j = script.indexOf("*/", i + 2);
            i = j < 0 ? n : j + 2;
        } else if (script.mid(i, term.size()) == term) {
            i += int(term.size());
            flush();
        } else {
            current += c;
            ++i;
        }
    }
    flush();
    return out;
}

void runSqlScript(Database& db, const QString& script)
{
    const QStringList statements = splitSqlScript(script);
    // DDL must be committed before later statements can use the new objects,
    // so each statement commits on its own; a failure names the statement.
    // Scripts have no parameters: the text goes to the engine as written, so
    // that ":name" inside a procedure or trigger body stays a PSQL variable.
    // A script may change tables that prepared queries describe.
    db.noteSchemaChange();
    for (const QString& sql : statements) {
        try {
            Transaction tr(db);
            tr.start();
            const QByteArray text = encodeSql(sql);
            ISC_STATUS_ARRAY st;
            if (isc_dsql_execute_immediate(st, db.handle(), tr.handle(), 0, text.constData(), 1, nullptr))
                throw errorFromStatus(st);
            tr.commit();
        } catch (const DbError& e) {
            throw DbError(e.message() + "\n\n" + sql, e.sqlCode(), e.iscCode());
        }
    }
}

} // namespace fw

#include "dm.h"

#include "Conversion.h"

#include "os/IniFile.h"

namespace kestrup {

Tdm* dm = nullptr;

namespace {
const QString kCommit = QStringLiteral("commit");
}

Tdm::Tdm()
{
    // The main program's character set: texts in their columns' own.
    db.setParams({QString(), kDbUser, kDbPassword});
    db.beforeConnect = [this](fw::Database&) { dbBeforeConnect(); };
    odFileIni.defaultExt = "ini";
    odFileIni.fileName = "br.ini";
    odFileIni.filter = "br.ini|br.ini";
}

Tdm::~Tdm()
{
    Detach();
}

void Tdm::dbBeforeConnect()
{
    const QString file = findSettingsFile(FileIni);
    if (file.isEmpty()) throw fw::UserError("Файл не найден!");
    fw::ConnectParams p = db.params();
    p.path = databaseName(fw::IniFile::fromFile(file), file);
    db.setParams(p);
}

void Tdm::Convert(const std::function<void()>& step)
{
    db.connect();
    try {
        tr.start();
        CheckDatabase();
    } catch (...) {
        Detach();
        throw;
    }

    // The mark of a started conversion is committed on its own; everything
    // else is one transaction, so a failure leaves the schema as it was.
    const QStringList& statements = conversionStatements();
    QString current;
    try {
        for (qsizetype i = 0; i < statements.size(); ++i) {
            current = statements[i];
            ExecStep(current);
            if (i == 0) {
                tr.commitRetaining();
            } else if (i == statements.size() - 1) {
                // Some checks of the new schema run only at commit.
                current = kCommit;
                tr.commit();
            }
            if (step) step();
        }
    } catch (const fw::DbError& e) {
        RestoreVersion();
        throw StatementError(e, current);
    } catch (...) {
        RestoreVersion();
        throw;
    }
    sql1.reset();
    db.disconnect();
}

void Tdm::ExecStep(const QString& sql)
{
    sql1.reset();
    sql1.emplace(db, sql);
    sql1->execute(tr);
}

void Tdm::CheckDatabase()
{
    sql1.emplace(db, "select * from ver");
    sql1->execute(tr);
    const int ver = sql1->fetch() ? sql1->value("ver").asInt() : 0;
    sql1->closeCursor();
    sql1.reset();
    if (ver == -1)
        throw fw::UserError("Предыдущая попытка конвертации не была завершена успешно.\n"
                            "Конвертация этого файла невозможна.");
    if (ver != 6) throw fw::UserError("Не соответствует версия Базы Данных!");
    // The converter's own attachment is one of them.
    if (db.attachedUserNames().size() > 1)
        throw fw::UserError("Обнаружены подключения к базе!\n"
                            "Конвертирование возможно только при полном отсутствии подключений.");
}

void Tdm::RestoreVersion()
{
    sql1.reset();
    try {
        if (tr.active()) tr.rollback();
        tr.start();
        ExecStep("update ver set ver=6");
        sql1.reset();
        tr.commit();
    } catch (...) {
        // The engine's first error is the one to report; the database stays at -1.
    }
    Detach();
}

void Tdm::Detach() noexcept
{
    sql1.reset();
    try {
        if (tr.active()) tr.rollback();
    } catch (...) {
    }
    try {
        db.disconnect();
    } catch (...) {
    }
}

} // namespace kestrup

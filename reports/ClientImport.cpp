#include "ClientImport.h"

#include "db/DataSet.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "os/OsError.h"
#include "os/TsvFile.h"
#include "widgets/DBGrid.h"

#include <QMap>

#include <algorithm>

// --- distinct file values

int TImportValues::LowerBound(const QString& value) const
{
    const auto it = std::lower_bound(items_.begin(), items_.end(), value, [](const TImportValue& a, const QString& v) {
        return QString::compare(a.Value, v, Qt::CaseInsensitive) < 0;
    });
    return int(it - items_.begin());
}

void TImportValues::Add(const QString& value)
{
    const int at = LowerBound(value);
    if (at < Count() && QString::compare(items_[at].Value, value, Qt::CaseInsensitive) == 0) return;
    items_.insert(at, TImportValue{value, -1});
}

int TImportValues::IndexOf(const QString& value) const
{
    const int at = LowerBound(value);
    return at < Count() && QString::compare(items_[at].Value, value, Qt::CaseInsensitive) == 0 ? at : -1;
}

// --- system fields

const QList<TLookupRow>& LookupTable()
{
    static const QList<TLookupRow> table{
        {"User", "Select idUser, Name from Users order by 2", "idUser"},
        {"Reklama", "Select idReklama, Reklama from Reklama order by 2", "idReklama"},
        {"Reklama2", "Select idReklama2, Reklama2 from Reklama2 order by 2", "idReklama2"},
        {"Country", "Select idCountry, Country from Country order by 2", "idCountry"},
        {"Region", "Select idRegion, Region from Region order by 2", "idRegion"},
        {"Segment", "Select idSegment, Segmentt from Segmentt order by 2", "idSegment"},
        {"Segment2", "Select idSegment2, Segmentt2 from Segmentt2 order by 2", "idSegment2"},
        {"Persp", "Select idPersp, Persp from Persp order by 2", "idPersp"},
    };
    return table;
}

int FindLookupField(const QString& gridField)
{
    const QList<TLookupRow>& table = LookupTable();
    for (int i = 0; i < table.size(); ++i)
        if (table[i].GridField == gridField) return i;
    return -1;
}

namespace {

quint8 DataTypeOf(const fw::Field* f)
{
    if (!f) return idtText;
    switch (f->type()) {
    case fw::FieldType::String:
    case fw::FieldType::Memo: return idtText;
    case fw::FieldType::Integer: return idtInteger;
    case fw::FieldType::DateTime: return idtDateTime;
    default: return 0;
    }
}

void AddGridFields(const fw::DBGrid& grid, bool contact, TImportFields& to)
{
    // The grid's data set describes its fields even while it is closed.
    const fw::DataSource* source = grid.dataSource();
    const fw::DataSet* ds = source ? source->dataSet() : nullptr;
    for (int i = 0; i < grid.columnCount(); ++i) {
        const QString name = grid.column(i).fieldName;
        if (!contact && (name.compare("POLZOV", Qt::CaseInsensitive) == 0
                         || name.compare("REGPOLZOV", Qt::CaseInsensitive) == 0))
            continue;
        const fw::Field* f = ds ? ds->findField(name) : nullptr;
        TImportField field;
        if (const int l = FindLookupField(name); l >= 0) {
            field.FieldName = LookupTable()[l].KeyField;
            field.DataType = idtInteger;
            field.IsLookup = true;
        } else {
            field.FieldName = name;
            field.DataType = DataTypeOf(f);
        }
        field.Caption = grid.columnTitle(i);
        field.Size = f && f->type() == fw::FieldType::String ? f->size() : 0;
        field.IsContact = contact;
        to << field;
    }
}

} // namespace

void BuildSystemFields(const fw::DBGrid& dbgCust, const fw::DBGrid& dbgContacts, TImportFields& fields,
                       TImportFields& contactTemplate)
{
    fields.clear();
    contactTemplate.clear();
    AddGridFields(dbgCust, false, fields);
    AddGridFields(dbgContacts, true, contactTemplate);
}

void AddContactFields(TImportFields& fields, const TImportFields& contactTemplate, int count)
{
    for (TImportField& f : fields) {
        f.FileIndex = -1;
        f.FileField.clear();
    }
    for (int k = 1; k <= count; ++k)
        for (TImportField f : contactTemplate) {
            f.Caption = QString::number(k) + f.Caption;
            f.FileIndex = -1;
            f.FileField.clear();
            fields << f;
        }
}

void RemoveContactFields(TImportFields& fields)
{
    const auto first = std::find_if(fields.begin(), fields.end(), [](const TImportField& f) { return f.IsContact; });
    fields.erase(first, fields.end());
}

// --- values

QString PrepareStringValue(const QString& value, int size)
{
    QString s = value;
    while (s.contains(QLatin1String("\"\""))) s.replace(QLatin1String("\"\""), QLatin1String("\""));
    if (size > 0 && s.size() > size) {
        qsizetype n = size;
        if (s.at(n - 1).isHighSurrogate()) --n;
        s.truncate(n);
    }
    return s;
}

void CheckValueCount(int headerCount, int valueCount, int lineNumber)
{
    if (headerCount == valueCount) return;
    throw fw::UserError(QString("Обнаружено несоотвествие количества значений в файле!\r"
                                "Значений должно быть - %1\r"
                                "Значений обнаружено - %2\r"
                                "Ошибка в строке файла - %3")
                            .arg(headerCount)
                            .arg(valueCount)
                            .arg(lineNumber));
}

QDateTime ImportDateValue(const QString& value, int lineNumber)
{
    const QDateTime dt = fw::strToDateTime(value);
    if (!dt.isValid())
        throw fw::UserError(QString("Неверная дата \"%1\" в строке файла - %2").arg(value).arg(lineNumber));
    return dt;
}

void CheckImportLine(const TImportFields& fields, int headerCount, const QStringList& values, int lineNumber)
{
    CheckValueCount(headerCount, int(values.size()), lineNumber);
    for (const TImportField& f : fields)
        if (f.DataType == idtDateTime && f.Linked() && !values.value(f.FileIndex).isEmpty())
            ImportDateValue(values.value(f.FileIndex), lineNumber);
}

QList<QList<int>> ExtraContactColumns(const QStringList& header, const TImportFields& fields,
                                      const TImportFields& contactTemplate, int count)
{
    QMap<int, QList<int>> blocks;
    for (int c = 0; c < header.size(); ++c) {
        if (std::any_of(fields.begin(), fields.end(), [c](const TImportField& f) { return f.FileIndex == c; }))
            continue;
        const QString name = header[c].trimmed();
        qsizetype digits = 0;
        while (digits < name.size() && name.at(digits).isDigit()) ++digits;
        const int block = name.left(digits).toInt();
        if (block <= count) continue;
        const QString title = name.mid(digits);
        for (const TImportField& f : contactTemplate)
            if (title.compare(f.Caption, Qt::CaseInsensitive) == 0) {
                blocks[block] << c;
                break;
            }
    }
    return blocks.values();
}

QList<int> LinkedDateColumns(const TImportFields& fields)
{
    QList<int> columns;
    for (const TImportField& f : fields)
        if (f.DataType == idtDateTime && f.Linked()) columns << f.FileIndex;
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    return columns;
}

TImportLineError::TImportLineError(int imported, int lineNumber, const QString& reason)
    : fw::UserError(QString("Импорт прерван. Импортировано записей: %1.\rСтрока файла %2 не импортирована:\r%3")
                        .arg(imported)
                        .arg(lineNumber)
                        .arg(reason)),
      imported_(imported), line_(lineNumber)
{
}

// --- the import

namespace {

// "Insert into TABLE (keys, fields)" / "Values (:keys, params)": one text for
// the client's and the contacts' inserts, alone and inside the execute block.
QStringList InsertSql(const QString& table, const QStringList& keys, const QStringList& keyParams,
                      const QStringList& names, const QStringList& params)
{
    return {"Insert into " + table + " (" + (keys + names).join(", ") + ")",
            "Values (:" + (keyParams + params).join(", :") + ")"};
}

QStringList FieldNames(const TImportFields& fields, int first, int last)
{
    QStringList names;
    for (int i = first; i < last; ++i) names << fields[i].FieldName;
    return names;
}

} // namespace

TClientImport::TClientImport(fw::Database& db, const TImportFields& fields, const TImportFields& contactTemplate,
                             int contactCount, int idUser)
    : Today([] { return QDate::currentDate(); }), db_(db), fields_(fields), template_(contactTemplate),
      contactCount_(contactCount), idUser_(idUser)
{
    while (clientFieldCount_ < fields_.size() && !fields_[clientFieldCount_].IsContact) ++clientFieldCount_;
}

TClientImport::~TClientImport() = default;

QStringList TClientImport::ClientSql() const
{
    const QStringList names = FieldNames(fields_, 0, clientFieldCount_);
    return InsertSql("Customer", {"idCust"}, {"idCust"}, names, names);
}

QStringList TClientImport::ContactSql() const
{
    const QStringList names = FieldNames(template_, 0, BlockSize());
    return InsertSql("Contacts", {"idContacts", "idCust"}, {"idContacts", "idCust"}, names, names);
}

QStringList TClientImport::LineSql() const
{
    // Parameters by position: the client's fields (C1..), then per contact block
    // a flag whether it is written (Bk) and its fields (Kk_1..), each typed as its column.
    QStringList inputs;
    QStringList clientParams;
    for (int i = 0; i < clientFieldCount_; ++i) {
        clientParams << QString("C%1").arg(i + 1);
        inputs << QString("  C%1 type of column Customer.%2 = ?").arg(i + 1).arg(fields_[i].FieldName);
    }
    QStringList body{"begin", "  execute procedure ID_CUST returning_values :idCust;"};
    for (const QString& line : InsertSql("Customer", {"idCust"}, {"idCust"}, FieldNames(fields_, 0, clientFieldCount_),
                                         clientParams))
        body << "  " + line + (line.startsWith("Values") ? ";" : "");
    const QStringList contactNames = FieldNames(template_, 0, BlockSize());
    for (int k = 1; k <= contactCount_; ++k) {
        inputs << QString("  B%1 smallint = ?").arg(k);
        QStringList params;
        for (int j = 0; j < BlockSize(); ++j) {
            params << QString("K%1_%2").arg(k).arg(j + 1);
            inputs << QString("  K%1_%2 type of column Contacts.%3 = ?").arg(k).arg(j + 1).arg(template_[j].FieldName);
        }
        body << QString("  if (:B%1 = 1) then").arg(k) << "  begin"
             << "    execute procedure ID_CONTACTS returning_values :idContacts;";
        for (const QString& line :
             InsertSql("Contacts", {"idContacts", "idCust"}, {"idContacts", "idCust"}, contactNames, params))
            body << "    " + line + (line.startsWith("Values") ? ";" : "");
        body << "  end";
    }
    body << "end";
    for (int i = 0; i + 1 < inputs.size(); ++i) inputs[i] += ",";
    QStringList sql{"execute block"};
    if (!inputs.isEmpty()) sql << "(" << inputs << ")";
    sql << "as"
        << "declare variable idCust type of column Customer.idCust;"
        << "declare variable idContacts type of column Contacts.idContacts;" << body;
    return sql;
}

fw::Value TClientImport::DefaultLookupValue(const QString& name) const
{
    return name.toUpper() == "IDUSER" ? idUser_ : 0;
}

void TClientImport::SetParams(int at, int first, int last, bool contact, const QStringList& values, int lineNumber)
{
    for (int i = first; i < last; ++i) {
        const TImportField& f = fields_[i];
        const QString value = f.Linked() ? values.value(f.FileIndex) : QString();
        fw::Value v;
        switch (f.DataType) {
        case idtText:
            if (f.Linked()) {
                const QString whole = PrepareStringValue(value, 0);
                lineCut_.Count(f.Caption, whole.size(), f.Size);
                v = PrepareStringValue(whole, f.Size);
            } else if (contact) {
                v = QString("");
            }
            break;
        case idtInteger: {
            if (!f.IsLookup)
                throw fw::UserError(contact ? "Неизвестное поле контакта!" : "Неизвестное поле компании!");
            const int k = f.Linked() ? f.FileValues.IndexOf(value) : -1;
            const int sys = k >= 0 ? f.FileValues[k].SysIndex : -1;
            v = sys < 0 || sys >= f.SysKeys.size() ? DefaultLookupValue(f.FieldName) : fw::Value(f.SysKeys[sys]);
            break;
        }
        case idtDateTime:
            if (!f.Linked() || value.isEmpty()) v = QDateTime(Today(), QTime(0, 0));
            else v = ImportDateValue(value, lineNumber);
            break;
        default:
            break;
        }
        line_->setParam(at + (i - first), v);
    }
}

void TClientImport::ImportLine(const QStringList& values, int lineNumber)
{
    if (headerCount_ >= 0) CheckValueCount(headerCount_, int(values.size()), lineNumber);
    if (!line_) line_ = std::make_unique<fw::Statement>(db_, LineSql().join('\n'), fw::Statement::Positional{});
    line_->clearParams();
    lineCut_ = TCutValues();
    SetParams(0, 0, clientFieldCount_, false, values, lineNumber);
    for (int k = 1; k <= contactCount_; ++k) {
        const int first = clientFieldCount_ + (k - 1) * BlockSize();
        const int last = std::min(first + BlockSize(), int(fields_.size()));
        const int at = clientFieldCount_ + (k - 1) * (BlockSize() + 1);
        bool any = false;
        for (int i = first; i < last && !any; ++i)
            any = fields_[i].Linked() && !values.value(fields_[i].FileIndex).isEmpty();
        // A block without any value is not written.
        line_->setParam(at, any ? 1 : 0);
        if (any) SetParams(at + 1, first, last, true, values, lineNumber);
    }
    db_.startTransaction();
    try {
        line_->execute(*db_.activeTransaction());
        db_.commit();
        cut_.Add(lineCut_);
    } catch (...) {
        if (db_.inTransaction()) db_.rollback();
        throw;
    }
}

int TClientImport::Run(fw::TsvReader& file, const std::function<bool(int count)>& progress)
{
    const QStringList header = file.readHeader();
    headerCount_ = int(header.size());
    const QList<QList<int>> extra = ExtraContactColumns(header, fields_, template_, contactCount_);
    leftOut_ = 0;
    cut_ = TCutValues();
    QStringList values;
    line_ = std::make_unique<fw::Statement>(db_, LineSql().join('\n'), fw::Statement::Positional{});
    int count = 0;
    for (;;) {
        // A line that cannot even be read is the line after the last one read.
        const int next = file.lineNumber() + 1;
        try {
            if (!file.readLine(values)) break;
            ImportLine(values, next);
        } catch (const fw::DbError& e) {
            throw TImportLineError(count, next, e.shownText());
        } catch (const fw::Error& e) {
            throw TImportLineError(count, next, e.message());
        } catch (const std::exception& e) {
            throw TImportLineError(count, next, QString::fromLocal8Bit(e.what()));
        }
        ++count;
        for (const QList<int>& block : extra)
            if (std::any_of(block.begin(), block.end(), [&](int c) { return !values.value(c).isEmpty(); })) ++leftOut_;
        if (progress && !progress(count)) break;
    }
    if (count == 0) throw fw::NoDataLinesError(file.fileName());
    return count;
}

#include "IniFile.h"

#include "db/CodePage.h"

#include <QDir>
#include <QFile>

namespace fw {

namespace {
QString decode(const QByteArray& bytes)
{
    // Editors that save UTF-8 put a byte-order mark first; without it the
    // file is the system's code page.
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    return fromCp1251(bytes);
}
} // namespace

IniFile IniFile::fromBytes(const QByteArray& bytes)
{
    IniFile ini;
    ini.exists_ = true;
    QString text = decode(bytes);
    QString section;
    bool inSection = false;
    for (QString line : text.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(';')) continue;
        if (t.startsWith('[')) {
            const int close = t.indexOf(']');
            section = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
            inSection = true;
            bool known = false;
            for (const QString& s : ini.sections_)
                if (s.compare(section, Qt::CaseInsensitive) == 0) known = true;
            if (!known) ini.sections_ << section;
            continue;
        }
        if (!inSection) continue;
        const int eq = t.indexOf('=');
        if (eq <= 0) continue;
        Entry e{section, t.left(eq).trimmed(), t.mid(eq + 1).trimmed()};
        if (e.value.size() >= 2) {
            const QChar q = e.value.front();
            if ((q == '"' || q == '\'') && e.value.back() == q) e.value = e.value.mid(1, e.value.size() - 2);
        }
        ini.entries_.push_back(std::move(e));
    }
    return ini;
}

IniFile IniFile::fromFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return IniFile();
    return fromBytes(f.readAll());
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    for (const Entry& e : entries_)
        if (e.section.compare(section, Qt::CaseInsensitive) == 0
            && e.key.compare(key, Qt::CaseInsensitive) == 0)
            return e.value;
    return std::nullopt;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    return value(section, key).value_or(def);
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    const auto v = value(section, key);
    if (!v) return def;
    bool ok = false;
    const int n = v->toInt(&ok);
    return ok ? n : def;
}

QStringList IniFile::sections() const { return sections_; }

QStringList IniFile::keys(const QString& section) const
{
    QStringList out;
    for (const Entry& e : entries_)
        if (e.section.compare(section, Qt::CaseInsensitive) == 0) out << e.key;
    return out;
}

QString findFileNoCase(const QString& folder, const QString& name)
{
    QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (dir.exists(name)) return dir.filePath(name);
    const QStringList all = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& f : all)
        if (f.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(f);
    return {};
}

} // namespace fw

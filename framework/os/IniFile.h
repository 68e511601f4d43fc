#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace fw {

// Read-only ini file in the Windows manner: section and key names in any case,
// values raw (no escapes: "D:\new\x.gdb" stays as it is), trimmed, one pair of
// enclosing quotes removed, code page 1251 (UTF-8 after a byte-order mark).
// The first of duplicate keys wins.
class IniFile {
public:
    IniFile() = default;
    static IniFile fromBytes(const QByteArray& text);
    // Empty when the file cannot be read; exists() tells whether it was there.
    static IniFile fromFile(const QString& path);

    bool exists() const { return exists_; }
    std::optional<QString> value(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key, const QString& def) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    QStringList sections() const;
    QStringList keys(const QString& section) const;

private:
    struct Entry { QString section, key, value; };
    std::vector<Entry> entries_;
    QStringList sections_;
    bool exists_ = false;
};

// Finds a file in a folder whatever the letter case of its name (Linux names
// are case-sensitive, the names in the program are not). Empty when absent.
QString findFileNoCase(const QString& folder, const QString& name);

} // namespace fw

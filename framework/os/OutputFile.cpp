#include "OutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fw {

bool removePartialFile(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isSymLink() || !info.isFile())
        return false;
    return QFile::remove(fileName);
}

QString documentFileName(const QString& title, const QString& suffix, const QDate& date)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable())
        folder = QDir::tempPath();
    QString base = title.simplified();
    for (QChar& c : base)
        if (QStringLiteral("/\\:*?\"<>|").contains(c) || c.unicode() < 32)
            c = '_';
    if (base.isEmpty())
        base = QStringLiteral("Экспорт");
    base += ' ' + date.toString("dd.MM.yyyy");
    const QDir dir(folder);
    QString name = dir.filePath(base + '.' + suffix);
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = dir.filePath(QString("%1 (%2).%3").arg(base).arg(n).arg(suffix));
    return name;
}

void shareWithGroup(const QString& fileName)
{
    QFile f(fileName);
    f.setPermissions(f.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                     | QFileDevice::WriteUser | QFileDevice::ReadGroup);
}

} // namespace fw

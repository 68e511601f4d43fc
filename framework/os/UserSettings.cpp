#include "UserSettings.h"

#include "db/DbError.h"

namespace fw {

namespace {
QString& redirectedFile()
{
    static QString file;
    return file;
}
} // namespace

std::unique_ptr<QSettings> openUserSettings()
{
    if (!redirectedFile().isEmpty())
        return std::make_unique<QSettings>(redirectedFile(), QSettings::NativeFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Tolmar", "Brontal");
}

int readUserInt(const QString& key, int defaultValue)
{
    const QVariant v = openUserSettings()->value(key);
    bool ok = false;
    const int n = v.toInt(&ok);
    return v.isValid() && ok ? n : defaultValue;
}

void writeUserInt(const QString& key, int value)
{
    auto s = openUserSettings();
    s->setValue(key, value);
    s->sync();
    if (s->status() != QSettings::NoError)
        throw Error(QString("Не удалось сохранить настройку %1 в \"%2\"").arg(key, s->fileName()));
}

UserSettingsScope::UserSettingsScope(const QString& fileName) : previous_(redirectedFile())
{
    redirectedFile() = fileName;
}

UserSettingsScope::~UserSettingsScope()
{
    redirectedFile() = previous_;
}

} // namespace fw

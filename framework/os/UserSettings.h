#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace fw {

// The per-user store that takes the place of the registry key
// Software\Tolmar\Brontal: QSettings in its native format.
std::unique_ptr<QSettings> openUserSettings();

// Keys are paths below the application's key ("1/LoginUserId").
int readUserInt(const QString& key, int defaultValue);
void writeUserInt(const QString& key, int value);   // throws Error when the store cannot be written

// While one lives, the store is the given file instead of the user's own
// (tests). Scopes nest; the previous store comes back on destruction.
class UserSettingsScope {
public:
    explicit UserSettingsScope(const QString& fileName);
    UserSettingsScope(const UserSettingsScope&) = delete;
    UserSettingsScope& operator=(const UserSettingsScope&) = delete;
    ~UserSettingsScope();
private:
    QString previous_;
};

} // namespace fw

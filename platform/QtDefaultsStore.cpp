#include "platform/QtDefaultsStore.h"

#include <QString>

namespace
{

// The variable moves only the program's own settings file (the demo keeps its settings apart this way);
// the rest of the user's configuration folder, where Qt finds the desktop's theme and fonts, stays in force.
std::unique_ptr<QSettings> UserSettings()
{
    const QString path = qEnvironmentVariable(QtDefaultsStore::kSettingsFileVariable);
    if (!path.isEmpty())
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Corvane", "Corvane");
}

} // namespace

QtDefaultsStore::QtDefaultsStore()
    : settings(UserSettings())
{
}

QtDefaultsStore::QtDefaultsStore(const QString& iniPath)
    : settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

QtDefaultsStore::~QtDefaultsStore()
{
    settings->sync();
}

bool QtDefaultsStore::HasValue(const std::string& key) const
{
    return settings->contains(QString::fromStdString(key));
}

std::string QtDefaultsStore::GetValue(const std::string& key) const
{
    const QVariant value = settings->value(QString::fromStdString(key));
    // An unquoted comma in a hand-edited INI file makes a list of the value; the text is what was meant.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(',').toStdString();
    return value.toString().toStdString();
}

void QtDefaultsStore::SetValue(const std::string& key, const std::string& value)
{
    settings->setValue(QString::fromStdString(key), QString::fromStdString(value));
}

void QtDefaultsStore::Synchronize()
{
    settings->sync();
}

QString QtDefaultsStore::GetFileName() const
{
    return settings->fileName();
}

bool QtDefaultsStore::LastSyncSucceeded() const
{
    return settings->status() == QSettings::NoError;
}

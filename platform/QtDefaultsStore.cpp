#include "platform/QtDefaultsStore.h"

#include <QString>

QtDefaultsStore::QtDefaultsStore()
    : settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Corvane", "Corvane"))
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

#pragma once

#include "core/DefaultsStore.h"

#include <QSettings>

#include <memory>

class QString;

// The defaults store on QSettings in INI format. Every key is read and written as text so that the file
// stays readable and means the same in every locale.
class QtDefaultsStore : public DefaultsStore
{
public:
    // The environment variable that names another settings file in place of the user's.
    static constexpr const char* kSettingsFileVariable = "CORVANE_SETTINGS_FILE";

    // The user's settings file: "Corvane/Corvane.ini" in the configuration folder ($XDG_CONFIG_HOME), or the
    // file that $CORVANE_SETTINGS_FILE names when it is set and not empty.
    QtDefaultsStore();
    // A settings file at a given path (tests, and tools that keep their own settings).
    explicit QtDefaultsStore(const QString& iniPath);
    ~QtDefaultsStore() override;

    bool HasValue(const std::string& key) const override;
    std::string GetValue(const std::string& key) const override;
    void SetValue(const std::string& key, const std::string& value) override;
    void Synchronize() override;

    // The file behind the store.
    QString GetFileName() const;
    // The outcome of the last Synchronize: whether the file could be written.
    bool LastSyncSucceeded() const;

private:
    std::unique_ptr<QSettings> settings;
};

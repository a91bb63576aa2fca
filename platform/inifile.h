#pragma once
// "Ardentiq.ini": where it lives, how it is opened and read, and the account
// keys that the account dialog stores. The processing program declares its
// other keys beside its settings.

#include <QString>

#include <memory>

class QSettings;

// One key of the ini file. `readDefault` is what the program reads into its
// settings when the key is absent; `dialogDefault` is what the settings dialogs
// show when it is absent (the two differ for a few keys).
struct SettingKey {
    const char *path;          // "Group/Key"
    const char *readDefault;
    const char *dialogDefault;
};

namespace SettingKeys {
// Account
inline constexpr SettingKey CustomerType{"Account/CustomerType", "", ""};
inline constexpr SettingKey CustomerCode{"Account/CustomerCode", "", ""};
inline constexpr SettingKey DataKey{"Account/DataKey", "", ""};
inline constexpr SettingKey SchoolName{"Account/SchoolName", "", ""};
inline constexpr SettingKey SchoolID{"Account/SchoolID", "", ""};
} // namespace SettingKeys

// Full path of the ini file: the executable's folder + "/Ardentiq.ini".
QString settingsFilePath();
// Tests point every reader and writer at a file of their own; an empty path
// restores the real one.
void setSettingsFilePathForTesting(const QString &path);

// The stored text of a key, or the given default when it is absent. The
// settings handle must have its codec set.
QString settingText(const QSettings &settings, const SettingKey &key, bool dialogDefault = false);

// A handle on the ini file (INI format, UTF-8 codec set before first use).
std::unique_ptr<QSettings> openSettingsFile(const QString &path = settingsFilePath());

// Shown when a dialog's save did not reach the disk.
QString settingsWriteFailedMessage(const QString &path);

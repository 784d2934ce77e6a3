#include "app/ConnectionSettings.h"

#include "app/SettingsStore.h"

ConnectionSettings ReadConnectionSettings() {
    const auto store =
        SettingsStore::open(QStringLiteral("ORVANT Current User"), QStringLiteral("Connection"));
    const auto value = [&store](const char* key) {
        return store->value(QLatin1String(key), QString()).toString();
    };
    return {value("Server"), value("Database"), value("User"), value("Password")};
}

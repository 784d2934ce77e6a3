#pragma once

#include "app/DbConnection.h"
#include "station/Messages.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class LabDbBuilder;
class Station;
class TdsTestServer;

// Records every modal message and answers it with OK. onShow runs "inside" the message, where a
// real user could click elsewhere before answering.
class RecordingMessages : public Messages {
public:
    struct Shown {
        QString text;
        Icon icon;
    };
    void show(const QString& text, Icon icon) override;
    // Asked questions are recorded too; answer gives the reply (nothing: cancelled).
    std::optional<QString> choose(const QString& text, const QStringList& choices, bool) override {
        shown.append({text + QLatin1Char('\n') + choices.join(QLatin1Char('|')), Icon::None});
        return answer ? answer(choices) : std::nullopt;
    }
    std::function<std::optional<QString>(const QStringList&)> answer;

    QStringList texts() const;
    QList<Shown> shown;
    std::function<void(const QString&)> onShow;
};

// A private world for one test: a temporary folder holding the user's configuration
// (XDG_CONFIG_HOME), the system folder variable ("windir", so the print log stays inside) and a
// real lab database file, empty or with demo data.
class TestWorld {
public:
    TestWorld();
    ~TestWorld();

    QString path() const { return m_dir.path(); }
    QString labPath() const { return m_dir.filePath(QStringLiteral("lab.db")); }
    QString printLogFolder() const { return m_dir.filePath(QStringLiteral("PrintLog")); }
    QString labelFolder() const { return m_dir.filePath(QStringLiteral("labels")); }

    // Creates the lab database file (empty schema). Call once.
    LabDbBuilder& createLab();
    LabDbBuilder& lab();
    // Stores the connection settings that point the station at labPath().
    void storeEmbeddedSettings() const;
    void storeSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) const;
    // Writes a label template that prints into labelFolder() as PDF files.
    QString writePdfTemplate() const;

private:
    static void forgetRegistrySettings();
    QTemporaryDir m_dir;
    QByteArray m_oldConfigHome;
    QByteArray m_oldDataHome;
    QByteArray m_oldWindir;
    std::unique_ptr<LabDbBuilder> m_lab;
};

// A station over a TestWorld's lab database, with recorded messages.
class StationFixture {
public:
    explicit StationFixture(TestWorld& world, bool overSqlServer = false);
    ~StationFixture();

    Station& station() { return *m_station; }
    RecordingMessages messages;
    std::unique_ptr<TdsTestServer> server;
    DbConnection connection;

private:
    std::unique_ptr<Station> m_station;
};

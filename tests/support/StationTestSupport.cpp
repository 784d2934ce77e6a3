#include "StationTestSupport.h"
#include "TdsTestServer.h"

#include "app/SettingsStore.h"
#include "labdb/LabDbBuilder.h"
#include "station/Station.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

void RecordingMessages::show(const QString& text, Icon icon) {
    shown.append({text, icon});
    if (onShow)
        onShow(text);
}

QStringList RecordingMessages::texts() const {
    QStringList list;
    for (const Shown& s : shown)
        list.append(s.text);
    return list;
}

TestWorld::TestWorld()
    : m_oldConfigHome(qgetenv("XDG_CONFIG_HOME"))
    , m_oldDataHome(qgetenv("XDG_DATA_HOME"))
    , m_oldWindir(qgetenv("windir")) {
    if (!m_dir.isValid())
        qFatal("cannot make a temporary folder");
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit()); // the ledger
    // The print log goes to the first part of "windir" before its first backslash + PrintLog.
    qputenv("windir", (m_dir.path() + QStringLiteral("\\Windows")).toLocal8Bit());
    forgetRegistrySettings();
}

// Windows keeps the settings in the registry, which outlives a world: each starts without any.
void TestWorld::forgetRegistrySettings() {
#ifdef Q_OS_WIN
    QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings"),
              QSettings::NativeFormat)
        .remove(QString());
#endif
}

TestWorld::~TestWorld() {
    m_lab.reset();
    qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    qputenv("XDG_DATA_HOME", m_oldDataHome);
    qputenv("windir", m_oldWindir);
    forgetRegistrySettings();
}

LabDbBuilder& TestWorld::createLab() {
    LabDbBuilder::create(labPath());
    m_lab = std::make_unique<LabDbBuilder>(labPath());
    return *m_lab;
}

LabDbBuilder& TestWorld::lab() {
    if (!m_lab)
        return createLab();
    return *m_lab;
}

void TestWorld::storeEmbeddedSettings() const {
    storeSetting(QStringLiteral("ORVANT Current User"), QStringLiteral("Connection"),
                 QStringLiteral("Server"), QStringLiteral("sqlite:") + labPath());
}

void TestWorld::storeSetting(const QString& application, const QString& section, const QString& key,
                             const QString& value) const {
    SettingsStore::write(application, section, key, value);
}

QString TestWorld::writePdfTemplate() const {
    QFile source(QStringLiteral(QUILLON_SOURCE_DIR "/src/labels/LabBarcodeLabel.rpt"));
    if (!source.open(QIODevice::ReadOnly))
        qFatal("cannot read the default label template");
    QString text = QString::fromUtf8(source.readAll());
    const QString target = m_dir.filePath(QStringLiteral("LabBarcodeLabel.rpt"));
    QDir(m_dir.path()).mkpath(QStringLiteral("labels"));
    // Point the shipped template's printer at the PDF folder.
    static const QRegularExpression printer(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\""));
    text.replace(printer, QStringLiteral("\"printer\": \"pdf:") + labelFolder() + QLatin1Char('"'));
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the label template");
    out.write(text.toUtf8());
    return target;
}

StationFixture::StationFixture(TestWorld& world, bool overSqlServer)
    : server(overSqlServer ? std::make_unique<TdsTestServer>(world.labPath()) : nullptr) {
    world.storeEmbeddedSettings();
    if (server ? !connection.open(server->settings()) : !OpenConnection(connection))
        qFatal("cannot open the test lab database: %s", qPrintable(connection.failureReason()));
    m_station = std::make_unique<Station>(connection.lab(), messages);
}

StationFixture::~StationFixture() = default;

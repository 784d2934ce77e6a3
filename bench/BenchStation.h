#pragma once

// Shared by the benchmark programs: a station running offscreen over a lab database file in a
// private folder, messages printed instead of shown, and timing.

#include "app/DbConnection.h"
#include "app/SettingsStore.h"
#include "labdb/LabDbBuilder.h"
#include "station/Messages.h"
#include "station/Station.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace Bench {

class PrintedMessages : public Messages {
public:
    void show(const QString& text, Icon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
};

// Settings, print log, label ledger and labels inside dir; call before the QApplication exists.
inline void isolate(const QTemporaryDir& dir) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit()); // the ledger
    qputenv("windir", (dir.path() + QStringLiteral("\\Windows")).toLocal8Bit());
}

// A label template with the shipped one's contents in dir, printing PDF files into folder.
inline QString writePdfTemplate(const QString& dir, const QString& folder) {
    QFile source(QStringLiteral(QUILLON_SOURCE_DIR "/src/labels/LabBarcodeLabel.rpt"));
    if (!source.open(QIODevice::ReadOnly))
        qFatal("cannot read the label template");
    QString text = QString::fromUtf8(source.readAll());
    static const QRegularExpression printer(QStringLiteral("\"printer\"\\s*:\\s*\"[^\"]*\""));
    text.replace(printer, QStringLiteral("\"printer\": \"pdf:") + folder + QLatin1Char('"'));
    const QString path = dir + QStringLiteral("/LabBarcodeLabel.rpt");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the label template");
    out.write(text.toUtf8());
    return path;
}

// A new lab database in dir with `requests` generated requests up to now; prints how long that
// took.
inline QString generateLab(const QTemporaryDir& dir, int requests, const QDateTime& now) {
    const QString path = dir.filePath(QStringLiteral("lab.db"));
    QElapsedTimer clock;
    clock.start();
    LabDbBuilder::create(path);
    LabDbBuilder(path).generate(requests, now);
    std::printf("lab database: %d requests generated in %.1f s\n", requests, clock.elapsed() / 1e3);
    return path;
}

// The station over the lab database at labPath, loaded and shown (offscreen).
class StationUnderTest {
public:
    bool open(const QString& labPath) {
        SettingsStore::write(QStringLiteral("ORVANT Current User"), QStringLiteral("Connection"),
                             QStringLiteral("Server"), QStringLiteral("sqlite:") + labPath);
        if (!OpenConnection(m_connection)) {
            std::fprintf(stderr, "cannot open: %s\n", qPrintable(m_connection.failureReason()));
            return false;
        }
        m_station = std::make_unique<Station>(m_connection.lab(), m_messages);
        return m_station->show();
    }
    Station& station() { return *m_station; }

private:
    DbConnection m_connection;
    PrintedMessages m_messages;
    std::unique_ptr<Station> m_station;
};

struct Figures {
    double median;
    double worst;
};

// Times work over runs, each after an untimed prepare; milliseconds.
template <typename Prepare, typename Work>
Figures measure(int runs, Prepare&& prepare, Work&& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

template <typename Work> double medianMs(int runs, Work&& work) {
    return measure(
               runs, [] {}, std::forward<Work>(work))
        .median;
}

} // namespace Bench

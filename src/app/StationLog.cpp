#include "app/StationLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <cstdio>
#include <cstring>
#include <memory>

Q_LOGGING_CATEGORY(lcStartup, "quillon.startup")
Q_LOGGING_CATEGORY(lcPrint, "quillon.print")
Q_LOGGING_CATEGORY(lcQueue, "quillon.queue")
Q_LOGGING_CATEGORY(lcLookup, "quillon.lookup")

namespace StationLog {

namespace {

class Writer {
public:
    Writer(QString path, qint64 maxBytes, int keep)
        : m_path(std::move(path))
        , m_maxBytes(maxBytes)
        , m_keep(keep) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        open();
    }

    void write(const QByteArray& line) {
        const QMutexLocker lock(&m_mutex);
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        if (m_file.isOpen() && m_file.size() + line.size() > m_maxBytes)
            rotate();
        if (m_file.isOpen()) {
            m_file.write(line);
            m_file.flush();
        }
    }

private:
    void open() {
        m_file.setFileName(m_path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
            std::fprintf(stderr, "quillon: the log file %s cannot be written\n",
                         qPrintable(m_path));
    }

    void rotate() {
        m_file.close();
        const auto numbered = [this](int n) -> QString {
            return m_path + QLatin1Char('.') + QString::number(n);
        };
        QFile::remove(numbered(m_keep));
        for (int n = m_keep - 1; n >= 1; --n)
            QFile::rename(numbered(n), numbered(n + 1));
        if (m_keep >= 1)
            QFile::rename(m_path, numbered(1));
        else
            QFile::remove(m_path);
        open();
    }

    QString m_path;
    qint64 m_maxBytes;
    int m_keep;
    QFile m_file;
    QMutex m_mutex;
};

std::unique_ptr<Writer>& writer() {
    static std::unique_ptr<Writer> instance;
    return instance;
}

const char* level(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "info";
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QByteArray text = (line(type, context.category, message) + QLatin1Char('\n')).toUtf8();
    // A message the writer's own file work raises goes to the standard error only.
    static thread_local bool writing = false;
    if (!writer() || writing) {
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        return;
    }
    writing = true;
    writer()->write(text);
    writing = false;
}

} // namespace

QString line(QtMsgType type, const char* category, const QString& message) {
    const QString time =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QString name = category && std::strcmp(category, "default") != 0
                             ? QString::fromLatin1(category)
                             : QStringLiteral("quillon");
    return time + QLatin1Char(' ') + name + QLatin1Char(' ') + QLatin1String(level(type)) +
           QStringLiteral(": ") + message;
}

void install(const QString& path, qint64 maxBytes, int keep) {
    writer() = std::make_unique<Writer>(path, maxBytes, keep);
    qInstallMessageHandler(handle);
}

void uninstall() {
    qInstallMessageHandler(nullptr);
    writer().reset();
}

QString defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/quillon.log");
}

} // namespace StationLog

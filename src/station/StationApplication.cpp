#include "station/StationApplication.h"

#include "app/Version.h"

#include <QApplication>

std::unique_ptr<QCoreApplication> makeStationApplication(int& argc, char** argv) {
    auto application = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QString::fromLatin1(quillonVersion));
    return application;
}

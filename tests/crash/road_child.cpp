// The station's rooms with no window, run once over a world folder: a timer refresh and one
// automatic run. The crash test kills it at random moments and runs it again to finish.
#include "RoadWorld.h"

#include <QGuiApplication>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc < 2)
        return 64;
    RoadWorld world(QString::fromLocal8Bit(argv[1]));
    const AutoPrintCycle::Summary summary = world.refreshAndPrint();
    for (const QString& text : world.notices.texts)
        qWarning("%s", qPrintable(text));
    return summary.stationFault.isEmpty() && summary.failed == 0 ? 0 : 1;
}

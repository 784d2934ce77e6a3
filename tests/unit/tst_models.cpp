#include "app/RowSet.h"
#include "lookup/ExamChecklistModel.h"
#include "queue/AddedLabelCheck.h"
#include "queue/RequestListModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

// The item models the grid and the checklist show, checked by Qt's model tester as they change;
// and the list's printed requests a run looks up again.
class ModelsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestListStates();
    void checklistTicksAndStates();
    void addedLabelLookups();
};

void ModelsTest::requestListStates() {
    RequestListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(list.appendRow({QStringLiteral("2026-12-08 10:00:00"), QStringLiteral("A1"),
                            QStringLiteral("DOE"), QString(), QString(), QString(), QString(),
                            QStringLiteral("ignored")}));
    QVERIFY(list.appendRow({QString(), QStringLiteral("A2")}));
    QVERIFY(list.appendRow({QString(), QStringLiteral("A1")})); // a second row of a number
    QCOMPARE(list.rowOf(QStringLiteral("A1")), 0);              // the first row is its row
    QCOMPARE(list.rowOf(QStringLiteral("a1")), -1);
    QCOMPARE(list.cellText(0, RequestListModel::Printed), QString());
    QCOMPARE(list.headerData(7, Qt::Horizontal).toString(), QStringLiteral("Printed"));

    const auto row = [&list](int r, int role) { return list.data(list.index(r, 3), role); };
    list.markFailed(1, QStringLiteral("Sample not found!"));
    QCOMPARE(list.cellText(1, RequestListModel::Printed), QStringLiteral("Failed"));
    QCOMPARE(row(1, Qt::ToolTipRole).toString(), QStringLiteral("Sample not found!"));
    QCOMPARE(row(1, Qt::BackgroundRole).value<QColor>(), RequestListModel::failedColour());
    list.markPrinted(1);
    QCOMPARE(list.cellText(1, RequestListModel::Printed), QStringLiteral("Printed"));
    QVERIFY(!row(1, Qt::ToolTipRole).isValid());
    QCOMPARE(row(1, RequestListModel::StateRole).toInt(), int(RequestListModel::State::Printed));
    QVERIFY(!row(0, Qt::BackgroundRole).isValid());

    list.setCellText(0, RequestListModel::RefNum, QStringLiteral("B1"));
    QCOMPARE(list.rowOf(QStringLiteral("A1")), 2);
    QCOMPARE(list.rowOf(QStringLiteral("B1")), 0);
    list.clear();
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(list.rowOf(QStringLiteral("A2")), -1);
}

void ModelsTest::checklistTicksAndStates() {
    ExamChecklistModel entries;
    QAbstractItemModelTester tester(&entries,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    entries.appendEntry(QStringLiteral("B1 [HEMA] "));
    entries.appendEntry(QStringLiteral(" [] "));
    QVERIFY(!entries.isTicked(0));
    entries.tickAll();
    // A click on a check box, as the view sends it.
    QVERIFY(entries.setData(entries.index(1), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(entries.isTicked(0));
    QVERIFY(!entries.isTicked(1));
    QVERIFY(entries.flags(entries.index(0)) & Qt::ItemIsUserCheckable);
    entries.setState(0, ExamChecklistModel::EntryState::Failed, QStringLiteral("why"));
    QCOMPARE(entries.data(entries.index(0), Qt::ToolTipRole).toString(), QStringLiteral("why"));
    QCOMPARE(entries.data(entries.index(0), Qt::DisplayRole).toString(),
             QStringLiteral("B1 [HEMA] "));
    entries.untickAll();
    QVERIFY(!entries.isTicked(0));
    entries.clear();
    QCOMPARE(entries.entryCount(), 0);
    QVERIFY(!entries.isTicked(0)); // out of range reads unticked
}

// Which printed requests a run looks up: the unknown, the changed, re-checks due (spread over
// runs); the window's leavers are forgotten.
void ModelsTest::addedLabelLookups() {
    AddedLabelCheck check;
    qint64 now = 0;
    check.setClock([&now] { return now; });
    QList<QStringList> window;
    for (int i = 0; i < 12; ++i)
        window.append({QStringLiteral("R%1").arg(i), QStringLiteral("2"), QStringLiteral("CBC")});
    const auto run = [&] {
        check.startRun();
        check.takeFingerprints(RowSet({"RefNum", "Items", "Labels"}, window));
        int lookups = 0;
        for (const QStringList& request : std::as_const(window)) {
            if (check.needsLookup(request.at(0))) {
                ++lookups;
                check.settled(request.at(0), false);
            }
        }
        return lookups;
    };
    QCOMPARE(run(), 12);
    QCOMPARE(run(), 0);
    now += 2 * 60 * 1000;
    QCOMPARE(run(), AddedLabelCheck::maxRechecksPerRun);
    QCOMPARE(run(), 12 - AddedLabelCheck::maxRechecksPerRun);
    QCOMPARE(run(), 0);
    window[3][1] = QStringLiteral("3");
    QCOMPARE(run(), 1);
    window = window.mid(0, 5);
    QCOMPARE(run(), 0);
    QCOMPARE(check.size(), 5);
}

QTEST_GUILESS_MAIN(ModelsTest)
#include "tst_models.moc"

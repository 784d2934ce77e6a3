#include "labels/PrintCommand.h"

#include "app/Failure.h"
#include "labels/BarcodeRecorder.h"
#include "labels/CopiesText.h"
#include "labels/LabelPrinting.h"
#include "lookup/RequestLookup.h"
#include "queue/PrintLog.h"
#include "queue/PrintedMarks.h"
#include "station/CheckList.h"
#include "station/Messages.h"
#include "station/Station.h"
#include "station/StationWindow.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Where a print job stopped, for a message that tells the user what is done and what is not.
class JobStop : public Failure {
public:
    using Failure::Failure;
};

QString doneText(const QStringList& done) {
    return done.isEmpty() ? QStringLiteral("No label of this request was printed.")
                          : QStringLiteral("Printed, recorded and logged before it: %1.")
                                .arg(done.join(QStringLiteral(", ")));
}

} // namespace

PrintCommand::PrintCommand(Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station) {
    connect(station.window().controls().cmdGenerate, &QPushButton::clicked, this,
            &PrintCommand::onPrintClick);
}

void PrintCommand::onPrintClick() {
    if (m_station.activity().isJobRunning())
        return; // dropped: a lookup, print job or cycle is running
    run();
}

bool PrintCommand::run() {
    Station& s = m_station;
    const StationControls& c = s.window().controls();
    const StationActivity::Scope running(s.activity(), StationActivity::Kind::Print);
    CurrentRequest& request = s.currentRequest();
    const QString logKey = request.LookedUpNumber;
    QStringList done;
    QStringList notRecorded;

    s.EnableTimers(false);
    try {
        const int entries = c.lstExams->entryCount();
        for (int k = 1; k <= entries; ++k) {
            QCoreApplication::processEvents();
            if (s.activity().stopRequested())
                return false; // Exit: the entries done so far are complete
            if (!c.lstExams->isTicked(k))
                continue;
            QString barcode = request.Barcodes.value(k - 1);
            if (barcode.isEmpty()) {
                s.messages().show(QStringLiteral("Refnum is blank."), Messages::Icon::None);
                continue;
            }
            const QString copiesText = c.txtCopies->text();
            const std::optional<qint16> copies = parseCopies(copiesText);
            if (!copies) {
                throw JobStop(QStringLiteral("The number of copies \"%1\" is not a number from "
                                             "-32768 to 32767, so %2 was not printed.")
                                  .arg(copiesText, barcode));
            }
            try {
                s.labelPrinting().printBarcodeLabel(
                    barcode, request.PatientName, request.HospNum, request.Instruments.value(k - 1),
                    request.TransDate, request.RoomID, request.Age + QLatin1Char('/') + request.Sex,
                    *copies);
            } catch (const Failure& failure) {
                throw JobStop(QStringLiteral("The labels of %1 could not be printed: %2")
                                  .arg(barcode, failure.description()));
            }

            const QString printed = barcode;
            const BarcodeRecording recording = saveBarcodes(s.lab(), barcode);
            if (k - 1 < request.Barcodes.size())
                request.Barcodes[k - 1] = barcode;
            if (recording.outcome == BarcodeRecording::Outcome::UndoFailed)
                notRecorded.append(recording.undoFailureMessage(printed));
            else if (recording.outcome == BarcodeRecording::Outcome::RolledBack)
                notRecorded.append(printed + QStringLiteral(": ") + recording.failure);

            try {
                s.printLog().CheckPrintLog(logKey, request.TransDate, true, true);
                s.marks().MarkIfLogged(logKey, request.TransDate);
            } catch (const Failure& failure) {
                // Printed and recorded: a retry must not print it again.
                c.lstExams->setTicked(k, false);
                throw JobStop(QStringLiteral("%1 was printed, but the print log could not be "
                                             "written: %2")
                                  .arg(printed, failure.description()));
            }
            // Done: unticked, so that Print after a later failure goes on with the rest only.
            c.lstExams->setTicked(k, false);
            done.append(printed);
        }
    } catch (const std::exception& error) {
        // The request stays loaded with the unfinished entries ticked; the user can mend the
        // cause and press Print again, or Reset.
        s.EnableTimers(true);
        const auto* failure = dynamic_cast<const Failure*>(&error);
        QString text = (failure ? failure->description() : QString::fromLocal8Bit(error.what())) +
                       QLatin1Char('\n') + doneText(done);
        if (!notRecorded.isEmpty())
            text += QStringLiteral("\nNot recorded in the database:\n") +
                    notRecorded.join(QLatin1Char('\n'));
        s.messages().show(text, Messages::Icon::Warning);
        return false;
    }

    c.cmdGenerate->setEnabled(false);
    s.lookup().ResetInput(true, false, true, true);
    s.EnableTimers(true);
    if (!notRecorded.isEmpty()) {
        s.messages().show(QStringLiteral("These labels were printed, but their barcodes could "
                                         "not be recorded in the database:\n") +
                              notRecorded.join(QLatin1Char('\n')),
                          Messages::Icon::Warning);
    }
    return true;
}

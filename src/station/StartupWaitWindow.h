#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

class QLabel;

// What a kiosk shows while its start-up waits for the lab database or the print-log folder: the
// fault, when the next try comes, and Exit. The tries themselves are StartupRetry's.
class StartupWaitWindow : public QWidget {
    Q_OBJECT
public:
    explicit StartupWaitWindow(QWidget* parent = nullptr);

    void showFault(const QString& fault, const QDateTime& nextTry);

Q_SIGNALS:
    // Exit pressed or the window closed: the station stays ended.
    void exitChosen();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_fault = nullptr;   // owned by this window
    QLabel* m_nextTry = nullptr; // owned by this window
};

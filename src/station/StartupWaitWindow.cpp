#include "station/StartupWaitWindow.h"

#include "station/StationPictures.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

StartupWaitWindow::StartupWaitWindow(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("frmStartupWait"));
    setWindowTitle(QStringLiteral("Quillon: waiting to start"));
    setWindowIcon(StationPictures::windowIcon());
    auto* layout = new QVBoxLayout(this);
    m_fault = new QLabel(this);
    m_fault->setWordWrap(true);
    m_nextTry = new QLabel(this);
    auto* exit = new QPushButton(QStringLiteral("E&xit"), this);
    exit->setDefault(true);
    layout->addWidget(m_fault);
    layout->addWidget(m_nextTry);
    layout->addWidget(exit, 0, Qt::AlignRight);
    connect(exit, &QPushButton::clicked, this, &StartupWaitWindow::exitChosen);
    resize(560, 200);
}

void StartupWaitWindow::showFault(const QString& fault, const QDateTime& nextTry) {
    m_fault->setText(fault);
    m_nextTry->setText(QStringLiteral("The station tries again by itself at %1.")
                           .arg(nextTry.toString(QStringLiteral("HH:mm:ss"))));
    show();
}

void StartupWaitWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT exitChosen();
}

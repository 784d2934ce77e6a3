#pragma once

#include <QString>

class LabDatabase;
#include <QTextStream>

// "quillon --check": a station's set-up checked without a window, one line per check, a fault
// with its remedy. It changes nothing: the write check is rolled back, the print log is opened for
// append without a write, and no label is printed.
class SetupCheck {
public:
    explicit SetupCheck(QTextStream& out)
        : m_out(out) {}

    // Runs every check; true when all passed.
    bool run();

    // Each returns the fault in a few words, or "" when there is none.
    // The settings file holds the password in clear: others must not read it.
    static QString settingsFileFault(const QString& file, bool hasPassword);
    // The folder accepts an append now, and today's day file, when there is one, opens for append.
    static QString printLogFault(const QString& folder);

private:
    void pass(const QString& what, const QString& detail);
    void fault(const QString& what, const QString& fault, const QString& remedy);
    void checkSettings();
    void checkDatabase();
    void checkPrintLog();
    void checkLabels();
    // Only with a lease set: whether it can be taken now, or who holds it.
    void checkLease(LabDatabase& lab);

    QTextStream& m_out;
    bool m_allPassed = true;
};

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

    // A fault in a few words with the remedy that fits it; both empty when there is none.
    struct Finding {
        QString fault;
        QString remedy;
    };
    // The settings file holds the password in clear: no other account may read the account's
    // own file; the machine's file is read by the group "quillon" and no one else.
    static Finding settingsFileFinding(const QString& file, bool hasPassword, bool machineWide);
    // The folder accepts an append now, and today's day file, when there is one, opens for append;
    // a folder not made yet is fine when the station can make it at its start.
    static Finding printLogFinding(const QString& folder);

private:
    void pass(const QString& what, const QString& detail);
    void fault(const QString& what, const QString& fault, const QString& remedy);
    // Works, but not as the lab's network wants it; does not fail the check.
    void warn(const QString& what, const QString& finding, const QString& remedy);
    void checkSettings();
    // False when the server road has no ODBC driver to take: the connection is not tried then.
    bool checkDriver();
    void checkDatabase();
    void checkPrintLog();
    void checkLabels();
    // Only with a lease set: whether it can be taken now, or who holds it.
    void checkLease(LabDatabase& lab);
    // Requests that left the recent list unprinted: told, never a fault of the set-up.
    void checkLeftList(LabDatabase& lab);

    QTextStream& m_out;
    bool m_allPassed = true;
};

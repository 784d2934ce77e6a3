#pragma once

#include <QString>

// One named lease shared by the stations of a lab, held by at most one of them, in generations:
// each station that takes it takes the lock of the next generation, so a holder that stopped
// (frozen, hung) and still holds its lock can be superseded, and sees it when it comes back.
// Whatever ends the holder (exit, kill, power, network) frees its lock without its help. Every
// operation throws Failure when the database or the note's folder does not answer.
class LeaseLock {
public:
    // What the stations of a lease read of each other: who holds it, the generation it took, and
    // how often it renewed it. A standby judges a holder by whether this changes, on its own
    // clock, so no two stations' clocks are ever compared.
    struct Note {
        QString holder;
        quint64 generation = 0; // 0: nobody took it yet
        quint64 renewal = 0;
        bool operator==(const Note&) const = default;
    };

    explicit LeaseLock(QString notePath);
    virtual ~LeaseLock() = default;

    // Takes the lock of a generation without waiting, giving up any other this station held;
    // true when this station holds it afterwards.
    virtual bool take(quint64 generation) = 0;
    // Whether this station holds the lock it took last: a connection that was cut, and opened
    // again, does not.
    virtual bool holds() = 0;
    // Whether nobody holds the lock of a generation; nothing is taken.
    virtual bool isFree(quint64 generation) = 0;
    // Gives up the lock it holds; nothing when none.
    virtual void release() = 0;

    // The note, an empty one when there is none. Its first line is the holder's name, as the
    // note of earlier versions was. Throws Failure when it is there but cannot be read.
    Note readNote() const;
    // Replaces the note for every reader at once (a new file put in its place), the folder's
    // group let write it.
    void writeNote(const Note& note);
    const QString& notePath() const { return m_notePath; }

    // The lease's name as part of a file name: its characters other than letters, digits, "_",
    // "." and "-" as "_".
    static QString fileNamePart(const QString& name);

private:
    QString m_notePath;
};

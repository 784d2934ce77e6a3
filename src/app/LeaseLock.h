#pragma once

#include <QString>

// One named lease shared by the stations of a lab, held by at most one of them. Whatever ends
// the holder (exit, kill, power, network) frees it without help from the holder. Every operation
// throws Failure when the database does not answer.
class LeaseLock {
public:
    virtual ~LeaseLock() = default;

    // Takes the lease unless someone else holds it; true when this station holds it afterwards.
    virtual bool take() = 0;
    // Whether this station holds it now: a connection that was cut, and opened again, does not.
    virtual bool holds() = 0;
    // Whether it could be taken now; nothing is taken.
    virtual bool isFree() = 0;
    // Gives it up; nothing when it is not held.
    virtual void release() = 0;
    // The holder writes its station name where the others read it; "" when nobody noted one.
    virtual void noteHolder(const QString& station) = 0;
    virtual QString holder() = 0;

    // The lease's name as part of a file name: its characters other than letters, digits, "_",
    // "." and "-" as "_".
    static QString fileNamePart(const QString& name);
};

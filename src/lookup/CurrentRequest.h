#pragma once

#include <QString>
#include <QStringList>

// The looked-up request: six texts from its first row and, per label row, its barcode and
// instrument. Entry n of the exam checklist (from 1) belongs to element n - 1 of both lists.
// LookedUpNumber is the number box's text that found the request; RefNum is the request's number
// as the database spells it, where the station knows it (empty where it does not).
struct CurrentRequest {
    QString HospNum;
    QString PatientName;
    QString TransDate;
    QString RoomID;
    QString Age;
    QString Sex;
    QStringList Barcodes;
    QStringList Instruments;
    QString LookedUpNumber;
    QString RefNum;

    // The key the request is filed, logged, journalled and marked under. A database that compares
    // numbers without regard to case finds "T1C" for "t1c": the request keeps the database's
    // spelling, which the list and the automatic run use. A label's barcode stays as looked up.
    QString key() const {
        return !RefNum.isEmpty() && LookedUpNumber.compare(RefNum, Qt::CaseInsensitive) == 0
                   ? RefNum
                   : LookedUpNumber;
    }
    // The request's own number: the key of its row in the list, whichever way it was looked up.
    QString requestNumber() const { return RefNum.isEmpty() ? key() : RefNum; }

    void clearSingleFields() {
        HospNum.clear();
        PatientName.clear();
        TransDate.clear();
        RoomID.clear();
        Age.clear();
        Sex.clear();
    }
};

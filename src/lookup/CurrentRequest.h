#pragma once

#include <QString>
#include <QStringList>

// The looked-up request: six texts from its first row and, per label row, its barcode and
// instrument. Entry n of the exam checklist (from 1) belongs to element n - 1 of both lists.
// LookedUpNumber is the number box's text that found the request: the key under which the
// Print command records the request in the print log.
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

    void clearSingleFields() {
        HospNum.clear();
        PatientName.clear();
        TransDate.clear();
        RoomID.clear();
        Age.clear();
        Sex.clear();
    }
};

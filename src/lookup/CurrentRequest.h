#pragma once

#include <QString>
#include <QStringList>

// The looked-up request: six texts from its first row and, per label row, its barcode and
// instrument. Entry n of the exam checklist (from 1) belongs to element n - 1 of both lists.
struct CurrentRequest {
    QString HospNum;
    QString PatientName;
    QString TransDate;
    QString RoomID;
    QString Age;
    QString Sex;
    QStringList Barcodes;
    QStringList Instruments;

    void clearSingleFields() {
        HospNum.clear();
        PatientName.clear();
        TransDate.clear();
        RoomID.clear();
        Age.clear();
        Sex.clear();
    }
};

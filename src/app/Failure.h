#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// A failure that ends the running operation; its description is shown to the user as it stands.
class Failure : public std::exception {
public:
    explicit Failure(QString description)
        : m_description(std::move(description))
        , m_utf8(m_description.toUtf8()) {}
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// A failure caused by the data of one request (a barcode its symbology cannot encode, a
// transaction date that is not a date): other requests can still be printed, and retrying this
// one gives the same failure until its data changes.
class RequestDataFailure : public Failure {
public:
    using Failure::Failure;
};

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>

// A multipart/form-data body of text fields, in the order they were added. The boundary
// is eight "-" and the local date and time as MMddyyhhmmsszzz, fixed when the form is made.
class TMultipartForm
{
public:
    explicit TMultipartForm(const QDateTime& now = QDateTime::currentDateTime());

    void AddField(const QByteArray& name, const QByteArray& value);

    QByteArray Boundary() const { return m_boundary; }
    QByteArray ContentType() const; // "multipart/form-data; boundary=" + boundary
    QByteArray Body() const;
    const QList<QPair<QByteArray, QByteArray>>& Fields() const { return m_fields; }

private:
    QByteArray m_boundary;
    QList<QPair<QByteArray, QByteArray>> m_fields;
};

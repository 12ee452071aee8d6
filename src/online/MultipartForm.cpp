#include "online/MultipartForm.h"

TMultipartForm::TMultipartForm(const QDateTime& now)
    : m_boundary(QByteArrayLiteral("--------") + now.toString(QStringLiteral("MMddyyHHmmsszzz")).toLatin1())
{
}

void TMultipartForm::AddField(const QByteArray& name, const QByteArray& value)
{
    m_fields.append({name, value});
}

QByteArray TMultipartForm::ContentType() const
{
    return QByteArrayLiteral("multipart/form-data; boundary=") + m_boundary;
}

QByteArray TMultipartForm::Body() const
{
    QByteArray body;
    for (const auto& [name, value] : m_fields) {
        body += "--" + m_boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n";
        body += "\r\n";
        body += value + "\r\n";
    }
    body += "\r\n--" + m_boundary + "--\r\n";
    return body;
}

#pragma once

#include <QByteArray>
#include <QLabel>
#include <QString>

// The thumbnail of the row the user clicked, beside the list; or, when the row has no file,
// why: nothing written yet, or the row's error.
class TThumbnailPreview : public QLabel
{
    Q_OBJECT

public:
    explicit TThumbnailPreview(QWidget* parent = nullptr);

    // `path`: the row's thumbnail file; `status` and `reason`: the row's, for a row without one.
    void ShowRow(const QByteArray& path, const QByteArray& status, const QString& reason);
    void ShowNothing();
    // The file shown; empty when none is.
    const QByteArray& Shown() const { return m_shown; }

private:
    QByteArray m_shown;
};

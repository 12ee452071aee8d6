#pragma once

#include <QByteArray>

class QWidget;

// A read-only view whose whole document is replaced by a given HTML text.
class THtmlView
{
public:
    virtual ~THtmlView() = default;
    virtual QWidget* Widget() = 0;
    virtual void SetHtml(const QByteArray& html) = 0;
};

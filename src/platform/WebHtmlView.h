#pragma once

#include "common/HtmlView.h"

#include <QPointer>

class QWebEngineView;

// THtmlView on Qt WebEngine: the text is rendered as a page of its own.
class TWebHtmlView : public THtmlView
{
public:
    explicit TWebHtmlView(QWidget* parent = nullptr);
    ~TWebHtmlView() override;

    QWidget* Widget() override;
    void SetHtml(const QByteArray& html) override;

private:
    QPointer<QWebEngineView> m_view;
};

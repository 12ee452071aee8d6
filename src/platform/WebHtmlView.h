#pragma once

#include "common/HtmlView.h"

#include <QPointer>

class QWebEngineView;

// THtmlView on Qt WebEngine: the text is rendered as a page of its own. The document is
// served to the engine by a URL scheme of ours, so a page of any size shows (a page set as
// content goes through a data: address, which the engine refuses past 2 MB).
class TWebHtmlView : public THtmlView
{
public:
    explicit TWebHtmlView(QWidget* parent = nullptr);
    ~TWebHtmlView() override;

    // Makes the scheme known to the engine; call once, before any web view exists.
    static void RegisterScheme();

    QWidget* Widget() override;
    void SetHtml(const QByteArray& html) override;

private:
    QPointer<QWebEngineView> m_view;
    quint64 m_document = 0; // this view's key in the documents served
};

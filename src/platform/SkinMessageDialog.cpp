#include "platform/SkinMessageDialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <optional>
#include <utility>

namespace {

struct ButtonKind
{
    TMsgDlgBtn id;
    const char* caption;
    int result;
};

// Layout order. Help has no result: it never closes the dialog.
const ButtonKind kButtonKinds[] = {
    {mbYes, "&Yes", mrYes},
    {mbNo, "&No", mrNo},
    {mbOK, "OK", mrOk},
    {mbCancel, "Cancel", mrCancel},
    {mbAbort, "&Abort", mrAbort},
    {mbRetry, "&Retry", mrRetry},
    {mbIgnore, "&Ignore", mrIgnore},
    {mbAll, "&All", mrAll},
    {mbNoToAll, "N&oToAll", mrNoToAll},
    {mbYesToAll, "&YesToAll", mrYesToAll},
    {mbHelp, "&Help", mrNone},
};

const ButtonKind& KindOf(TMsgDlgBtn id)
{
    for (const ButtonKind& kind : kButtonKinds) {
        if (kind.id == id) return kind;
    }
    Q_UNREACHABLE();
}

QString Caption(TMsgDlgType kind)
{
    switch (kind) {
    case TMsgDlgType::Warning:
        return QStringLiteral("Warning");
    case TMsgDlgType::Error:
        return QStringLiteral("Error");
    case TMsgDlgType::Information:
        return QStringLiteral("Information");
    case TMsgDlgType::Confirmation:
        return QStringLiteral("Confirm");
    case TMsgDlgType::Custom:
        break;
    }
    return QGuiApplication::applicationDisplayName();
}

std::optional<QStyle::StandardPixmap> IconOf(TMsgDlgType kind)
{
    switch (kind) {
    case TMsgDlgType::Warning:
        return QStyle::SP_MessageBoxWarning;
    case TMsgDlgType::Error:
        return QStyle::SP_MessageBoxCritical;
    case TMsgDlgType::Information:
        return QStyle::SP_MessageBoxInformation;
    case TMsgDlgType::Confirmation:
        return QStyle::SP_MessageBoxQuestion;
    case TMsgDlgType::Custom:
        break;
    }
    return std::nullopt;
}

const QPoint kTextOrigin(50, 15);
const int kIconLeft = 5;
const int kIconMinTop = 10;
const int kMinWrapWidth = 300;

} // namespace

TSkinMessageDialog::TSkinMessageDialog(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext,
                                       QWidget* parent)
    : QDialog(parent)
{
    Q_UNUSED(helpContext);
    setWindowTitle(Caption(kind));

    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setText(text);

    if (const std::optional<QStyle::StandardPixmap> icon = IconOf(kind)) {
        m_icon = new QLabel(this);
        m_icon->setPixmap(
            style()->standardIcon(*icon, nullptr, this).pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF()));
    }

    AddButtons(buttons);
    PlaceWidgets();
}

void TSkinMessageDialog::AddButtons(TMsgDlgButtons buttons)
{
    for (const ButtonKind& kind : kButtonKinds) {
        if (!buttons.testFlag(kind.id)) continue;
        auto* button = new QPushButton(QString::fromLatin1(kind.caption), this);
        // Enter follows the fixed rule in keyPressEvent, not whichever button has focus.
        button->setAutoDefault(false);
        const TMsgDlgBtn id = kind.id;
        connect(button, &QPushButton::clicked, this, [this, id] { Press(id); });
        m_buttons.append({id, button});
    }

    QPushButton* enterButton = FirstOffered({mbOK, mbYes, mbRetry});
    if (enterButton) enterButton->setDefault(true);
    QPushButton* focusButton = enterButton ? enterButton : (m_buttons.isEmpty() ? nullptr : m_buttons.first().button);
    if (focusButton) focusButton->setFocus();
}

void TSkinMessageDialog::PlaceWidgets()
{
    QScreen* screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    // Wrap at half the screen's width, so a long message grows down rather than across;
    // never narrower than 300 so short sentences stay on one line on small screens.
    const int wrapWidth = qMax(kMinWrapWidth, available.width() / 2);
    const QRect textBounds = m_text->fontMetrics().boundingRect(QRect(0, 0, wrapWidth, QWIDGETSIZE_MAX),
                                                                Qt::TextWordWrap | Qt::TextExpandTabs, m_text->text());
    const QRect textRect(kTextOrigin, textBounds.size());
    m_text->setGeometry(textRect);

    if (m_icon) {
        const int iconTop = qMax(kIconMinTop, textRect.top() + textRect.height() / 2 - kIconSize / 2);
        m_icon->setGeometry(kIconLeft, iconTop, kIconSize, kIconSize);
    }

    const int count = int(m_buttons.size());
    const int rowWidth = count > 0 ? count * kButtonWidth + (count - 1) * kButtonGap : 0;
    const int width = qMax(textRect.x() + textRect.width() + 40, rowWidth + 40);
    const int height = kButtonHeight + textRect.height() + 50;
    int x = (width - rowWidth) / 2;
    const int y = height - 10 - kButtonHeight;
    for (const ButtonEntry& entry : std::as_const(m_buttons)) {
        entry.button->setGeometry(x, y, kButtonWidth, kButtonHeight);
        x += kButtonWidth + kButtonGap;
    }

    setFixedSize(width, height);
    CentreOnScreen();
}

void TSkinMessageDialog::CentreOnScreen()
{
    if (!screen()) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
}

void TSkinMessageDialog::showEvent(QShowEvent* event)
{
    // The window frame is only known once the window exists; centre again with it.
    CentreOnScreen();
    QDialog::showEvent(event);
}

QPushButton* TSkinMessageDialog::FirstOffered(std::initializer_list<TMsgDlgBtn> order) const
{
    for (TMsgDlgBtn id : order) {
        if (QPushButton* button = Button(id)) return button;
    }
    return nullptr;
}

void TSkinMessageDialog::Press(TMsgDlgBtn id)
{
    if (id == mbHelp) return;
    done(KindOf(id).result);
}

void TSkinMessageDialog::keyPressEvent(QKeyEvent* event)
{
    QPushButton* target = nullptr;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        target = FirstOffered({mbOK, mbYes, mbRetry});
        break;
    case Qt::Key_Escape:
        target = FirstOffered({mbCancel, mbNo, mbOK});
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (target) target->click();
}

void TSkinMessageDialog::reject()
{
    // The window's close box acts as Escape; with nothing for Escape to press it still
    // has to close, and Cancel is the only honest answer then.
    if (QPushButton* target = FirstOffered({mbCancel, mbNo, mbOK}))
        target->click();
    else
        done(mrCancel);
}

QRect TSkinMessageDialog::TextGeometry() const
{
    return m_text->geometry();
}

QRect TSkinMessageDialog::IconGeometry() const
{
    return m_icon ? m_icon->geometry() : QRect();
}

QPixmap TSkinMessageDialog::IconPixmap() const
{
    return m_icon ? m_icon->pixmap() : QPixmap();
}

QList<QRect> TSkinMessageDialog::ButtonGeometries() const
{
    QList<QRect> rects;
    for (const ButtonEntry& entry : m_buttons)
        rects.append(entry.button->geometry());
    return rects;
}

QStringList TSkinMessageDialog::ButtonCaptions() const
{
    QStringList captions;
    for (const ButtonEntry& entry : m_buttons)
        captions.append(entry.button->text());
    return captions;
}

QPushButton* TSkinMessageDialog::Button(TMsgDlgBtn id) const
{
    for (const ButtonEntry& entry : m_buttons) {
        if (entry.id == id) return entry.button;
    }
    return nullptr;
}

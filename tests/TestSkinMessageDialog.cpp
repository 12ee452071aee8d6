#include "platform/SkinMessageDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>

namespace {

const TMsgDlgButtons kAllButtons =
    mbYes | mbNo | mbOK | mbCancel | mbAbort | mbRetry | mbIgnore | mbAll | mbNoToAll | mbYesToAll | mbHelp;

QString LongText()
{
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("The thumbnail folder could not be written, so nothing was saved. ");
    return text;
}

} // namespace

class TestSkinMessageDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void keys_data();
    void keys();
    void clicks_data();
    void clicks();
    void kinds_data();
    void kinds();
    void buttonOrder_data();
    void buttonOrder();
    void layout_data();
    void layout();
};

void TestSkinMessageDialog::initTestCase()
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Thumbrix Test"));
}

void TestSkinMessageDialog::keys_data()
{
    QTest::addColumn<TMsgDlgButtons>("buttons");
    QTest::addColumn<int>("focused"); // a TMsgDlgBtn to move the focus to first, or 0
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result"); // 0: the dialog stays open

    const int enter = Qt::Key_Return;
    const int escape = Qt::Key_Escape;
    QTest::newRow("ok/enter") << TMsgDlgButtons(mbOK) << 0 << enter << int(mrOk);
    QTest::newRow("ok/escape") << TMsgDlgButtons(mbOK) << 0 << escape << int(mrOk);
    QTest::newRow("ok-cancel/enter") << (mbOK | mbCancel) << 0 << enter << int(mrOk);
    QTest::newRow("ok-cancel/escape") << (mbOK | mbCancel) << 0 << escape << int(mrCancel);
    QTest::newRow("ok-cancel/enter-on-focused-cancel") << (mbOK | mbCancel) << int(mbCancel) << enter << int(mrOk);
    QTest::newRow("ok-cancel/keypad-enter") << (mbOK | mbCancel) << 0 << int(Qt::Key_Enter) << int(mrOk);
    QTest::newRow("yes-no/enter") << (mbYes | mbNo) << 0 << enter << int(mrYes);
    QTest::newRow("yes-no/escape") << (mbYes | mbNo) << 0 << escape << int(mrNo);
    QTest::newRow("yes-no-cancel/enter") << (mbYes | mbNo | mbCancel) << 0 << enter << int(mrYes);
    QTest::newRow("yes-no-cancel/escape") << (mbYes | mbNo | mbCancel) << 0 << escape << int(mrCancel);
    QTest::newRow("ok-yes/enter-prefers-ok") << (mbYes | mbOK) << 0 << enter << int(mrOk);
    QTest::newRow("no-ok/escape-prefers-no") << (mbNo | mbOK) << 0 << escape << int(mrNo);
    QTest::newRow("abort-retry-ignore/enter") << (mbAbort | mbRetry | mbIgnore) << 0 << enter << int(mrRetry);
    QTest::newRow("abort-retry-ignore/escape") << (mbAbort | mbRetry | mbIgnore) << 0 << escape << 0;
    QTest::newRow("retry-cancel/enter") << (mbRetry | mbCancel) << 0 << enter << int(mrRetry);
    QTest::newRow("retry-cancel/escape") << (mbRetry | mbCancel) << 0 << escape << int(mrCancel);
    QTest::newRow("abort-ignore/enter") << (mbAbort | mbIgnore) << 0 << enter << 0;
    QTest::newRow("abort-ignore/escape") << (mbAbort | mbIgnore) << 0 << escape << 0;
    QTest::newRow("all-notoall-yestoall/enter") << (mbAll | mbNoToAll | mbYesToAll) << 0 << enter << 0;
    QTest::newRow("no-buttons/escape") << TMsgDlgButtons() << 0 << escape << 0;
}

void TestSkinMessageDialog::keys()
{
    QFETCH(TMsgDlgButtons, buttons);
    QFETCH(int, focused);
    QFETCH(int, key);
    QFETCH(int, result);

    TSkinMessageDialog dialog(QStringLiteral("Continue?"), TMsgDlgType::Confirmation, buttons);
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (focused) dialog.Button(TMsgDlgBtn(focused))->setFocus();

    // Through the focused button, as a real key press travels.
    QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
    const Qt::KeyboardModifiers modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    QTest::keyClick(target, Qt::Key(key), modifiers);

    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.isVisible(), result == 0);
}

void TestSkinMessageDialog::clicks_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("result"); // 0: the dialog stays open

    QTest::newRow("yes") << int(mbYes) << 6;
    QTest::newRow("no") << int(mbNo) << 7;
    QTest::newRow("ok") << int(mbOK) << 1;
    QTest::newRow("cancel") << int(mbCancel) << 2;
    QTest::newRow("abort") << int(mbAbort) << 3;
    QTest::newRow("retry") << int(mbRetry) << 4;
    QTest::newRow("ignore") << int(mbIgnore) << 5;
    QTest::newRow("all") << int(mbAll) << 8;
    QTest::newRow("no-to-all") << int(mbNoToAll) << 9;
    QTest::newRow("yes-to-all") << int(mbYesToAll) << 10;
    QTest::newRow("help") << int(mbHelp) << 0;
}

void TestSkinMessageDialog::clicks()
{
    QFETCH(int, button);
    QFETCH(int, result);

    TSkinMessageDialog dialog(QStringLiteral("Pick one."), TMsgDlgType::Information, kAllButtons);
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPushButton* pushed = dialog.Button(TMsgDlgBtn(button));
    QVERIFY(pushed);
    QTest::mouseClick(pushed, Qt::LeftButton);

    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.isVisible(), result == 0);
}

void TestSkinMessageDialog::kinds_data()
{
    QTest::addColumn<TMsgDlgType>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon"); // a QStyle::StandardPixmap, or -1 for none

    QTest::newRow("warning") << TMsgDlgType::Warning << QStringLiteral("Warning") << int(QStyle::SP_MessageBoxWarning);
    QTest::newRow("error") << TMsgDlgType::Error << QStringLiteral("Error") << int(QStyle::SP_MessageBoxCritical);
    QTest::newRow("information") << TMsgDlgType::Information << QStringLiteral("Information")
                                 << int(QStyle::SP_MessageBoxInformation);
    QTest::newRow("confirmation") << TMsgDlgType::Confirmation << QStringLiteral("Confirm")
                                  << int(QStyle::SP_MessageBoxQuestion);
    QTest::newRow("custom") << TMsgDlgType::Custom << QStringLiteral("Thumbrix Test") << -1;
}

void TestSkinMessageDialog::kinds()
{
    QFETCH(TMsgDlgType, kind);
    QFETCH(QString, caption);
    QFETCH(int, icon);

    TSkinMessageDialog dialog(QStringLiteral("Done."), kind, mbOK);
    QCOMPARE(dialog.windowTitle(), caption);
    QCOMPARE(dialog.TextGeometry().topLeft(), QPoint(50, 15));
    if (icon < 0) {
        QVERIFY(dialog.IconPixmap().isNull());
        QVERIFY(dialog.IconGeometry().isEmpty());
        return;
    }

    const auto picture = [&dialog](int standard) {
        return dialog.style()->standardIcon(QStyle::StandardPixmap(standard)).pixmap(32, 32).toImage();
    };
    const QImage expected = picture(icon);
    QVERIFY(!expected.isNull());
    for (const int other : {QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
                            QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxQuestion}) {
        if (other != icon) QVERIFY2(picture(other) != expected, "the style draws two kinds alike");
    }
    QCOMPARE(dialog.IconPixmap().toImage(), expected);
    QCOMPARE(dialog.IconGeometry().size(), QSize(32, 32));
}

void TestSkinMessageDialog::buttonOrder_data()
{
    QTest::addColumn<TMsgDlgButtons>("buttons");
    QTest::addColumn<QStringList>("captions");

    QTest::newRow("all-eleven") << kAllButtons << QStringList{QStringLiteral("&Yes"),     QStringLiteral("&No"),
                                                              QStringLiteral("OK"),       QStringLiteral("Cancel"),
                                                              QStringLiteral("&Abort"),   QStringLiteral("&Retry"),
                                                              QStringLiteral("&Ignore"),  QStringLiteral("&All"),
                                                              QStringLiteral("N&oToAll"), QStringLiteral("&YesToAll"),
                                                              QStringLiteral("&Help")};
    QTest::newRow("subset-in-fixed-order")
        << (mbHelp | mbCancel | mbYes)
        << QStringList{QStringLiteral("&Yes"), QStringLiteral("Cancel"), QStringLiteral("&Help")};
}

void TestSkinMessageDialog::buttonOrder()
{
    QFETCH(TMsgDlgButtons, buttons);
    QFETCH(QStringList, captions);

    TSkinMessageDialog dialog(QStringLiteral("Order."), TMsgDlgType::Information, buttons);
    QCOMPARE(dialog.ButtonCaptions(), captions);

    const QList<QRect> rects = dialog.ButtonGeometries();
    for (qsizetype i = 1; i < rects.size(); ++i)
        QCOMPARE(rects.at(i).left(), rects.at(i - 1).right() + 1 + 10);
}

void TestSkinMessageDialog::layout_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TMsgDlgType>("kind");
    QTest::addColumn<TMsgDlgButtons>("buttons");

    QTest::newRow("short-ok") << QStringLiteral("Saved.") << TMsgDlgType::Information << TMsgDlgButtons(mbOK);
    QTest::newRow("short-row-wider-than-text") << QStringLiteral("Saved.") << TMsgDlgType::Warning << kAllButtons;
    QTest::newRow("long-ok-cancel") << LongText() << TMsgDlgType::Error << (mbOK | mbCancel);
    QTest::newRow("several-lines") << QStringLiteral("One\nTwo\nThree\nFour\nFive") << TMsgDlgType::Confirmation
                                   << (mbYes | mbNo);
    QTest::newRow("custom-without-icon") << LongText() << TMsgDlgType::Custom << TMsgDlgButtons(mbOK);
}

void TestSkinMessageDialog::layout()
{
    QFETCH(QString, text);
    QFETCH(TMsgDlgType, kind);
    QFETCH(TMsgDlgButtons, buttons);

    TSkinMessageDialog dialog(text, kind, buttons);
    const QRect textRect = dialog.TextGeometry();
    QCOMPARE(textRect.topLeft(), QPoint(50, 15));

    // Sized to its content: the label needs exactly this height at this width, and a long
    // text wraps within half the screen (or 300) instead of running off to one side.
    const auto* label = dialog.findChild<QLabel*>();
    QVERIFY(label && label->text() == text);
    QCOMPARE(label->heightForWidth(textRect.width()), textRect.height());
    const QRect screen = dialog.screen()->availableGeometry();
    QVERIFY(textRect.width() <= qMax(300, screen.width() / 2));
    if (text.size() > 1000) QVERIFY(textRect.height() > 4 * label->fontMetrics().height());

    if (kind != TMsgDlgType::Custom) {
        const QRect icon = dialog.IconGeometry();
        QCOMPARE(icon.left(), 5);
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(icon.top(), qMax(10, textRect.top() + textRect.height() / 2 - 16));
    }

    const QList<QRect> rects = dialog.ButtonGeometries();
    const int count = int(rects.size());
    const int rowWidth = count * 70 + (count - 1) * 10;
    const QSize client(qMax(textRect.right() + 1 + 40, rowWidth + 40), 25 + textRect.height() + 50);
    QCOMPARE(dialog.size(), client);
    QCOMPARE(dialog.minimumSize(), client);
    QCOMPARE(dialog.maximumSize(), client);

    for (const QRect& rect : rects) {
        QCOMPARE(rect.size(), QSize(70, 25));
        QCOMPARE(rect.bottom() + 1, client.height() - 10);
    }
    const int leftGap = rects.first().left();
    const int rightGap = client.width() - (rects.last().right() + 1);
    QVERIFY2(qAbs(leftGap - rightGap) <= 1, qPrintable(QStringLiteral("%1 vs %2").arg(leftGap).arg(rightGap)));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Only a dialog that fits can be centred; the platform may nudge one that does not.
    if (!screen.contains(dialog.frameGeometry())) return;
    const QPoint offCentre = dialog.frameGeometry().center() - screen.center();
    QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1,
             qPrintable(QStringLiteral("off centre by %1,%2").arg(offCentre.x()).arg(offCentre.y())));
}

QTEST_MAIN(TestSkinMessageDialog)
#include "TestSkinMessageDialog.moc"

#pragma once

#include "common/UserDialogs.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QStringList>

class QLabel;
class QPushButton;

// The program's one message dialog. Placed by hand rather than by a layout so the
// geometry is the same on every style: text at 50,15, icon at the left, one centred row
// of fixed-size buttons. exec() and result() give the TModalResult of the button pressed.
// No help file ships, so Help (for any help context) opens nothing and leaves the dialog open.
class TSkinMessageDialog : public QDialog
{
    Q_OBJECT

public:
    TSkinMessageDialog(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext = 0,
                       QWidget* parent = nullptr);

    static constexpr int kButtonWidth = 70;
    static constexpr int kButtonHeight = 25;
    static constexpr int kButtonGap = 10;
    static constexpr int kIconSize = 32;

    QRect TextGeometry() const;
    // An empty rectangle when the kind shows no icon.
    QRect IconGeometry() const;
    QPixmap IconPixmap() const;
    QList<QRect> ButtonGeometries() const;
    QStringList ButtonCaptions() const;
    // nullptr when the dialog does not offer that button.
    QPushButton* Button(TMsgDlgBtn button) const;

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct ButtonEntry
    {
        TMsgDlgBtn id;
        QPushButton* button;
    };

    void AddButtons(TMsgDlgButtons buttons);
    void PlaceWidgets();
    void CentreOnScreen();
    // The button a key presses: the first of `order` the dialog offers, or nullptr.
    QPushButton* FirstOffered(std::initializer_list<TMsgDlgBtn> order) const;
    void Press(TMsgDlgBtn id);

    QLabel* m_text = nullptr;
    QLabel* m_icon = nullptr;
    QList<ButtonEntry> m_buttons;
};

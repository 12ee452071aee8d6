#pragma once

#include <QDialog>

struct TBrandProfile;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About window: the reseller's product name, the program's version, the notice line
// and the about text.
class TfrmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAbout(const TBrandProfile& profile, QWidget* parent = nullptr);

    void editAboutClick();

private:
    void FormCreate(const TBrandProfile& profile);

    QLabel* lblProductName = nullptr;
    QLabel* lblProductVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QPlainTextEdit* memAbout = nullptr;
    QPushButton* editAbout = nullptr;
};

#pragma once

#include "common/UserDialogs.h"

#include <QQueue>
#include <QStringList>

// Answers dialogs from queues filled ahead of time and records every message shown.
// A message with no queued answer returns OK; a file dialog with none is cancelled.
class FakeUserDialogs : public UserDialogs
{
public:
    struct Shown
    {
        QString text;
        TMsgDlgType kind;
        TMsgDlgButtons buttons;
    };

    QList<Shown> Messages;
    QStringList Errors;
    QStringList DialogTitles;
    QQueue<int> MessageAnswers;
    QQueue<QString> FileAnswers;

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const Shown& shown : Messages)
            texts << shown.text;
        return texts;
    }

    int ShowSkinMessage(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons, int) override
    {
        Messages.append({text, kind, buttons});
        return MessageAnswers.isEmpty() ? mrOk : MessageAnswers.dequeue();
    }
    QString ChooseFolder(QWidget*, const QString& title) override { return NextFile(title); }
    QString OpenFile(QWidget*, const QString& title) override { return NextFile(title); }
    QString SaveFile(QWidget*, const QString& title, const QString&) override { return NextFile(title); }
    void ReportError(const QString& message) override { Errors << message; }

private:
    QString NextFile(const QString& title)
    {
        DialogTitles << title;
        return FileAnswers.isEmpty() ? QString() : FileAnswers.dequeue();
    }
};

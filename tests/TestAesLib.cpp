#include "brand/AesLib.h"
#include "common/UUtils.h"

#include <QBuffer>
#include <QTest>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

const QByteArray kFixedSalt = QByteArray::fromHex("0123456789abcdef");
constexpr int kBuffer = 262144;

// Reaches the protected key setup and lets a test break the strength.
class OpenEncryption : public TEncryption
{
public:
    using TCrypt::KeySetup;
    using TEncryption::TEncryption;
    void ForceStrength(int strength) { m_strength = strength; }
};

// A readable device that records every readData call as {asked, returned}.
class CountingSource : public QIODevice
{
public:
    explicit CountingSource(const QByteArray& data) : m_data(data)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return m_data.size(); }
    QList<QList<qint64>> reads;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, m_data.size() - m_offset);
        std::memcpy(data, m_data.constData() + m_offset, size_t(n));
        m_offset += n;
        reads.append({maxSize, n});
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_offset = 0;
};

// Reads fail outright; writes succeed until `budget` bytes are used up, then fail.
class FailDevice : public QIODevice
{
public:
    explicit FailDevice(qint64 budget) : m_budget(budget) { open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        if (length > m_budget) return -1;
        m_budget -= length;
        written.append(data, length);
        return length;
    }

private:
    qint64 m_budget;
};

QByteArray Pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 251) & 0xff);
    return data;
}

QByteArray Pbkdf2(const QByteArray& password, const QByteArray& salt, int length)
{
    QByteArray out(length, '\0');
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()), 1000, EVP_sha1(),
                          length, reinterpret_cast<unsigned char*>(out.data())) != 1)
        return {};
    return out;
}

QByteArray Verification(const QByteArray& password, const QByteArray& salt, int strength)
{
    const int keyLength = 8 * strength + 8;
    return Pbkdf2(password, salt, 2 * keyLength + 2).mid(2 * keyLength);
}

// The whole layout for `plain`, one AES-ECB call per counter block and a one-shot HMAC,
// so none of TCrypt's batching or position bookkeeping is shared. Each counter block
// used is appended to `counters`.
QByteArray ReferenceFile(const QByteArray& password, const QByteArray& salt, const QByteArray& plain, int strength,
                         QList<QByteArray>* counters = nullptr)
{
    const int keyLength = 8 * strength + 8;
    const QByteArray derived = Pbkdf2(password, salt, 2 * keyLength + 2);
    const EVP_CIPHER* cipher = strength == 1   ? EVP_aes_128_ecb()
                               : strength == 2 ? EVP_aes_192_ecb()
                                               : EVP_aes_256_ecb();
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (derived.isEmpty() || !ctx ||
        EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(derived.constData()),
                           nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
        return {};

    QByteArray data = plain;
    unsigned char counter[16] = {};
    for (qsizetype offset = 0; offset < data.size(); offset += 16) {
        for (int i = 0; i < 8 && ++counter[i] == 0; ++i) {
        }
        if (counters) counters->append(QByteArray(reinterpret_cast<const char*>(counter), 16));
        unsigned char keystream[16];
        int n = 0;
        if (EVP_EncryptUpdate(ctx.get(), keystream, &n, counter, 16) != 1 || n != 16) return {};
        for (qsizetype i = offset; i < std::min<qsizetype>(offset + 16, data.size()); ++i)
            data[i] = char(data[i] ^ keystream[i - offset]);
    }

    unsigned char code[20];
    unsigned int codeLength = 0;
    if (!HMAC(EVP_sha1(), derived.constData() + keyLength, keyLength,
              reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()), code, &codeLength))
        return {};
    return salt + derived.mid(2 * keyLength) + data + QByteArray(reinterpret_cast<const char*>(code), 10);
}

QByteArray Encrypt(TEncryption& encryption, const QByteArray& plain, bool* ok = nullptr)
{
    QByteArray source = plain;
    QByteArray file;
    QBuffer in(&source);
    QBuffer out(&file);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    const bool result = encryption.EncryptStream(&in, &out);
    if (ok) *ok = result;
    return file;
}

QByteArray Encrypt(const QByteArray& password, const QByteArray& plain, int bufferSize = kBuffer)
{
    TEncryption encryption(password, bufferSize);
    bool ok = false;
    const QByteArray file = Encrypt(encryption, plain, &ok);
    return ok ? file : QByteArray();
}

bool Decrypt(TEncryption& encryption, const QByteArray& file, QByteArray* plain)
{
    QByteArray source = file;
    QBuffer in(&source);
    QBuffer out(plain);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    return encryption.DecryptStream(&in, &out, file.size());
}

bool Decrypt(const QByteArray& password, const QByteArray& file, QByteArray* plain, int bufferSize = kBuffer)
{
    TEncryption encryption(password, bufferSize);
    return Decrypt(encryption, file, plain);
}

} // namespace

class TestAesLib : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strengthByPasswordLength_data();
    void strengthByPasswordLength();
    void emptyPlainText();
    void readsOfTheSource_data();
    void readsOfTheSource();
    void matchesIndependentCounterMode_data();
    void matchesIndependentCounterMode();
    void decryptsIndependentFile_data();
    void decryptsIndependentFile();
    void sameTextTwiceDiffers();
    void wrongPassword();
    void tampering_data();
    void tampering();
    void failingDevices_data();
    void failingDevices();
    void truncatedFile_data();
    void truncatedFile();
    void keySetupRefused_data();
    void keySetupRefused();
    void saltGeneratorMovesOn();
};

void TestAesLib::strengthByPasswordLength_data()
{
    QTest::addColumn<int>("passwordLength");
    QTest::addColumn<int>("strength");
    QTest::addColumn<int>("saltLength");

    QTest::newRow("empty") << 0 << 1 << 8;
    QTest::newRow("31-chars") << 31 << 1 << 8;
    QTest::newRow("32-chars") << 32 << 2 << 12;
    QTest::newRow("47-chars") << 47 << 2 << 12;
    QTest::newRow("48-chars") << 48 << 3 << 16;
    QTest::newRow("128-chars") << 128 << 3 << 16;
}

void TestAesLib::strengthByPasswordLength()
{
    QFETCH(int, passwordLength);
    QFETCH(int, strength);
    QFETCH(int, saltLength);

    const QByteArray password(passwordLength, 'p');
    TEncryption encryption(password, kBuffer);
    QCOMPARE(encryption.Strength(), strength);
    QCOMPARE(encryption.SaltLength(), saltLength);
    QCOMPARE(encryption.KeyLength(), 8 * strength + 8);

    // The key sizes and the split of the derived bytes show in the file itself.
    const QByteArray plain = Pattern(100);
    bool ok = false;
    const QByteArray file = Encrypt(encryption, plain, &ok);
    QVERIFY(ok);
    QCOMPARE(file.size(), saltLength + 2 + 100 + 10);
    QCOMPARE(file, ReferenceFile(password, file.left(saltLength), plain, strength));

    QByteArray back;
    QVERIFY(Decrypt(password, file, &back));
    QCOMPARE(back, plain);
}

void TestAesLib::emptyPlainText()
{
    const QByteArray file = Encrypt(ProfilePassword(), QByteArray());
    QCOMPARE(file.size(), 20);
    QCOMPARE(file, ReferenceFile(ProfilePassword(), file.left(8), QByteArray(), 1));

    QByteArray back("stale");
    QVERIFY(Decrypt(ProfilePassword(), file, &back));
    QVERIFY(back.isEmpty());
}

void TestAesLib::readsOfTheSource_data()
{
    QTest::addColumn<int>("plainSize");
    QTest::addColumn<QList<QList<qint64>>>("reads"); // each {asked, returned}

    QTest::newRow("empty") << 0 << QList<QList<qint64>>{{kBuffer, 0}};
    QTest::newRow("one-short-of-buffer") << kBuffer - 1 << QList<QList<qint64>>{{kBuffer, kBuffer - 1}};
    QTest::newRow("exact-buffer") << kBuffer << QList<QList<qint64>>{{kBuffer, kBuffer}, {kBuffer, 0}};
    QTest::newRow("buffer-plus-one") << kBuffer + 1 << QList<QList<qint64>>{{kBuffer, kBuffer}, {kBuffer, 1}};
}

void TestAesLib::readsOfTheSource()
{
    QFETCH(int, plainSize);
    QFETCH(QList<QList<qint64>>, reads);

    const QByteArray plain = Pattern(plainSize);
    CountingSource source(plain);
    QByteArray file;
    QBuffer out(&file);
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(ProfilePassword(), kBuffer);
    QVERIFY(encryption.EncryptStream(&source, &out));

    QCOMPARE(source.reads, reads);
    QCOMPARE(file.size(), plainSize + 20);
    QByteArray back;
    QVERIFY(Decrypt(ProfilePassword(), file, &back));
    QCOMPARE(back, plain);
}

void TestAesLib::matchesIndependentCounterMode_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("plainSize");

    // 257 blocks is where the counter's byte 0 wraps into byte 1.
    QTest::newRow("257-blocks-one-buffer") << kBuffer << 257 * 16;
    QTest::newRow("257-blocks-odd-tail-buffer-7") << 7 << 257 * 16 + 5;
    QTest::newRow("block-sized-buffer") << 16 << 300 * 16 + 3;
    QTest::newRow("buffer-cuts-mid-block") << 1000 << 5000;
    QTest::newRow("beyond-one-batch-of-blocks") << kBuffer << 3 * kBuffer + 17;
}

void TestAesLib::matchesIndependentCounterMode()
{
    QFETCH(int, bufferSize);
    QFETCH(int, plainSize);

    const QByteArray plain = Pattern(plainSize);
    const QByteArray file = Encrypt(ProfilePassword(), plain, bufferSize);
    QCOMPARE(file.size(), plainSize + 20);

    QList<QByteArray> counters;
    const QByteArray expected = ReferenceFile(ProfilePassword(), file.left(8), plain, 1, &counters);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(counters.size(), (plainSize + 15) / 16);
    QCOMPARE(counters[0], QByteArray::fromHex("01000000000000000000000000000000"));
    QCOMPARE(counters[1], QByteArray::fromHex("02000000000000000000000000000000"));
    QCOMPARE(counters[256].at(0), char(1));
    QCOMPARE(counters[256].at(1), char(1));

    // Compare parts first so a failure says which one.
    QCOMPARE(file.mid(8, 2), expected.mid(8, 2));
    QCOMPARE(file.mid(10, plainSize), expected.mid(10, plainSize));
    QCOMPARE(file.right(10), expected.right(10));

    QByteArray back;
    QVERIFY(Decrypt(ProfilePassword(), file, &back, bufferSize == kBuffer ? 5 : kBuffer));
    QCOMPARE(back, plain);
}

void TestAesLib::decryptsIndependentFile_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("plainSize");

    QTest::newRow("one-byte-buffer") << 1 << 300;
    QTest::newRow("buffer-5") << 5 << 257 * 16 + 1;
    QTest::newRow("profile-buffer") << kBuffer << kBuffer + 99;
}

void TestAesLib::decryptsIndependentFile()
{
    QFETCH(int, bufferSize);
    QFETCH(int, plainSize);

    const QByteArray plain = Pattern(plainSize);
    const QByteArray file = ReferenceFile(ProfilePassword(), kFixedSalt, plain, 1);
    QByteArray back;
    QVERIFY(Decrypt(ProfilePassword(), file, &back, bufferSize));
    QCOMPARE(back, plain);
}

void TestAesLib::sameTextTwiceDiffers()
{
    const QByteArray plain = QByteArrayLiteral("<ApplicationName>Thumbrix</ApplicationName>\r\n");
    const QByteArray first = Encrypt(ProfilePassword(), plain);
    const QByteArray second = Encrypt(ProfilePassword(), plain);
    QCOMPARE(first.size(), second.size());

    // A new salt means new keys; the 2-byte verification values may still agree by chance,
    // so they are left out here.
    QVERIFY(first.left(8) != second.left(8));
    QVERIFY(first.mid(10, plain.size()) != second.mid(10, plain.size()));
    QVERIFY(first.right(10) != second.right(10));

    for (const QByteArray& file : {first, second}) {
        QByteArray back;
        QVERIFY(Decrypt(ProfilePassword(), file, &back));
        QCOMPARE(back, plain);
    }
}

void TestAesLib::wrongPassword()
{
    const QByteArray plain = Pattern(500);
    const QByteArray file = ReferenceFile(ProfilePassword(), kFixedSalt, plain, 1);

    // With this salt "vemtorquiL" derives another verification value: nothing is written.
    const QByteArray other = QByteArrayLiteral("vemtorquiL");
    QVERIFY(Verification(other, kFixedSalt, 1) != file.mid(8, 2));
    QByteArray back;
    QVERIFY(!Decrypt(other, file, &back));
    QVERIFY(back.isEmpty());

    // Found by a search over "collide-N": the verification values match, so only the code
    // can tell, after the whole data part has been written.
    const QByteArray colliding = QByteArrayLiteral("collide-60106");
    QCOMPARE(Verification(colliding, kFixedSalt, 1), file.mid(8, 2));
    QVERIFY(!Decrypt(colliding, file, &back));
    QCOMPARE(back.size(), plain.size());
    QVERIFY(back != plain);
}

void TestAesLib::tampering_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("dataWritten");

    const int plainSize = 300;
    QTest::newRow("salt") << 3 << false;
    QTest::newRow("verification") << 9 << false;
    QTest::newRow("data-first-byte") << 10 << true;
    QTest::newRow("data-after-block-boundary") << 10 + 16 << true;
    QTest::newRow("data-last-byte") << 10 + plainSize - 1 << true;
    QTest::newRow("code-first-byte") << 10 + plainSize << true;
    QTest::newRow("code-last-byte") << 10 + plainSize + 9 << true;
}

void TestAesLib::tampering()
{
    QFETCH(int, offset);
    QFETCH(bool, dataWritten);

    const QByteArray plain = Pattern(300);
    QByteArray file = ReferenceFile(ProfilePassword(), kFixedSalt, plain, 1);
    file[offset] = char(file[offset] ^ 0x10);

    QByteArray back;
    QVERIFY(!Decrypt(ProfilePassword(), file, &back));
    if (!dataWritten) {
        QVERIFY(back.isEmpty());
        return;
    }
    QByteArray expected = plain;
    const int dataOffset = offset - 10;
    if (dataOffset < plain.size()) expected[dataOffset] = char(expected[dataOffset] ^ 0x10);
    QCOMPARE(back, expected);
}

void TestAesLib::failingDevices_data()
{
    QTest::addColumn<bool>("encrypting");
    QTest::addColumn<bool>("sourceFails");
    QTest::addColumn<qint64>("writeBudget"); // bytes the destination takes before failing

    const qint64 plainSize = 1000;
    QTest::newRow("encrypt-source-fails") << true << true << qint64(1 << 20);
    QTest::newRow("encrypt-destination-fails-at-header") << true << false << qint64(0);
    QTest::newRow("encrypt-destination-fails-in-data") << true << false << qint64(10);
    QTest::newRow("encrypt-destination-fails-at-code") << true << false << 10 + plainSize;
    QTest::newRow("decrypt-source-fails") << false << true << qint64(1 << 20);
    QTest::newRow("decrypt-destination-fails") << false << false << qint64(0);
}

void TestAesLib::failingDevices()
{
    QFETCH(bool, encrypting);
    QFETCH(bool, sourceFails);
    QFETCH(qint64, writeBudget);

    const QByteArray plain = Pattern(1000);
    TEncryption encryption(ProfilePassword(), kBuffer);
    FailDevice destination(writeBudget);
    FailDevice failingSource(0);
    QByteArray data = encrypting ? plain : ReferenceFile(ProfilePassword(), kFixedSalt, plain, 1);
    QBuffer goodSource(&data);
    goodSource.open(QIODevice::ReadOnly);
    QIODevice* source = sourceFails ? static_cast<QIODevice*>(&failingSource) : &goodSource;

    if (encrypting) {
        QVERIFY(!encryption.EncryptStream(source, &destination));
        // A failed run never ends in a code that would make a partial file look whole.
        QVERIFY(destination.written.size() <= 10 + plain.size());
    } else {
        QVERIFY(!encryption.DecryptStream(source, &destination, data.size()));
        QVERIFY(destination.written.isEmpty());
    }
}

void TestAesLib::truncatedFile_data()
{
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("claimedExtra"); // added to the size passed in

    const int full = 8 + 2 + 64 + 10;
    QTest::newRow("last-code-byte-missing") << full - 1 << 0;
    QTest::newRow("code-missing") << full - 10 << 0;
    QTest::newRow("header-only") << 10 << 0;
    QTest::newRow("inside-salt") << 5 << 0;
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("size-claims-one-more") << full << 1;
}

void TestAesLib::truncatedFile()
{
    QFETCH(int, keep);
    QFETCH(int, claimedExtra);

    QByteArray file = Encrypt(ProfilePassword(), Pattern(64)).left(keep);
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    QByteArray back;
    QBuffer out(&back);
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(ProfilePassword(), kBuffer);
    QVERIFY(!encryption.DecryptStream(&in, &out, file.size() + claimedExtra));
}

void TestAesLib::keySetupRefused_data()
{
    QTest::addColumn<int>("passwordLength");
    QTest::addColumn<int>("forcedStrength"); // 0 keeps the one chosen by length
    QTest::addColumn<int>("keySetupResult");

    QTest::newRow("password-128-bytes-accepted") << 128 << 0 << 0;
    QTest::newRow("password-129-bytes") << 129 << 0 << -100;
    QTest::newRow("strength-4") << 10 << 4 << -101;
    QTest::newRow("strength-minus-1") << 10 << -1 << -101;
}

void TestAesLib::keySetupRefused()
{
    QFETCH(int, passwordLength);
    QFETCH(int, forcedStrength);
    QFETCH(int, keySetupResult);

    const QByteArray password(passwordLength, 'k');
    OpenEncryption encryption(password, kBuffer);
    if (forcedStrength) encryption.ForceStrength(forcedStrength);
    uint8_t salt[16] = {};
    uint8_t verification[2];
    QCOMPARE(encryption.KeySetup(salt, verification), keySetupResult);

    const QByteArray plain = Pattern(40);
    bool ok = false;
    const QByteArray file = Encrypt(encryption, plain, &ok);
    QByteArray back;
    if (keySetupResult == 0) {
        QVERIFY(ok);
        QVERIFY(Decrypt(encryption, file, &back));
        QCOMPARE(back, plain);
        return;
    }
    QVERIFY(!ok);
    QVERIFY(file.isEmpty());
    // A file made with the password cut to an acceptable length is still refused.
    QVERIFY(!Decrypt(encryption, Encrypt(password.left(20), plain), &back));
    QVERIFY(back.isEmpty());
}

void TestAesLib::saltGeneratorMovesOn()
{
    // The output buffer is 260 bytes; past it the generator must refill, not start over.
    TEncryption encryption(ProfilePassword(), kBuffer);
    QByteArray drawn(3 * 260, '\0');
    encryption.DrawSalt(reinterpret_cast<uint8_t*>(drawn.data()), 100);
    encryption.DrawSalt(reinterpret_cast<uint8_t*>(drawn.data()) + 100, int(drawn.size()) - 100);
    QVERIFY(drawn.mid(0, 260) != drawn.mid(260, 260));
    QVERIFY(drawn.mid(260, 260) != drawn.mid(520, 260));
    QVERIFY(drawn.mid(0, 260) != QByteArray(260, '\0'));
}

QTEST_APPLESS_MAIN(TestAesLib)
#include "TestAesLib.moc"

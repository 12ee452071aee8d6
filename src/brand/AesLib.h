#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>

class QIODevice;

// The profile cipher: PBKDF2-HMAC-SHA1 (1000 iterations) derives an AES key, an HMAC key
// and a 2-byte verification value from the password and a salt; the data is AES in
// counter mode with a little-endian counter, authenticated by the first 10 bytes of
// HMAC-SHA1 over the ciphertext. Layout: salt, verification value, data, code.
class TCrypt
{
public:
    TCrypt(const QByteArray& password, int bufferSize);
    virtual ~TCrypt();
    TCrypt(const TCrypt&) = delete;
    TCrypt& operator=(const TCrypt&) = delete;

    // 1, 2 or 3 by the password's length (up to 31, up to 47, 48 or more).
    int Strength() const { return m_strength; }
    int SaltLength() const { return 4 * m_strength + 4; }
    int KeyLength() const { return 8 * m_strength + 8; }

protected:
    // 0, or -100 for a password over 128 bytes, -101 for a strength outside 1..3, -1 when the
    // cipher library fails.
    int KeySetup(const uint8_t* salt, uint8_t verification[2]);
    // False when the cipher library fails; the data is then unusable.
    bool ApplyKeystream(uint8_t* data, std::size_t length);
    bool Authenticate(const uint8_t* data, std::size_t length);
    bool FinishCode(uint8_t code[10]);

    QByteArray m_password;
    int m_strength = 1;
    int m_bufferSize = 0;
    QByteArray m_buffer;

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

class TEncryption : public TCrypt
{
public:
    TEncryption(const QByteArray& password, int bufferSize);
    ~TEncryption() override;

    // Writes the whole layout for the source's remaining bytes.
    bool EncryptStream(QIODevice* source, QIODevice* destination);
    // Reads the layout from the source's position; writes the plain text to `destination`
    // (or only tests it when that is null). True only when the verification value and the
    // authentication code both match.
    bool DecryptStream(QIODevice* source, QIODevice* destination, qint64 sourceSize);

    // Salt bytes from the generator (exposed for tests).
    void DrawSalt(uint8_t* out, int length);

private:
    struct SaltGenerator;
    std::unique_ptr<SaltGenerator> m_salt;
};

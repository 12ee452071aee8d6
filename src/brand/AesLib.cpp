#include "brand/AesLib.h"

#include <QIODevice>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <sys/random.h>

namespace {

constexpr int kAesBlock = 16;
constexpr int kMaxSalt = 16;
constexpr int kCodeLength = 10;
constexpr int kPbkdf2Iterations = 1000;
constexpr int kMaxPassword = 128;
// Counter blocks encrypted per EVP call; one call per block is twenty times slower.
constexpr std::size_t kBlocksPerCall = 4096;

constexpr int kPoolSize = 260;
constexpr int kMixBlock = 20;

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;
using Mac = std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)>;
using MacCtx = std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)>;

const EVP_CIPHER* CipherFor(int strength)
{
    switch (strength) {
    case 1:
        return EVP_aes_128_ecb();
    case 2:
        return EVP_aes_192_ecb();
    case 3:
        return EVP_aes_256_ecb();
    }
    return nullptr;
}

uint32_t LoadLe32(const uint8_t* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

void StoreLe64(uint8_t* out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = uint8_t(value >> (8 * i));
}

void XorInto(uint8_t* data, const uint8_t* keystream, std::size_t length)
{
    std::size_t i = 0;
    // Word by word: the byte loop is the slowest step of the whole stream otherwise.
    for (; i + 8 <= length; i += 8) {
        uint64_t a;
        uint64_t b;
        std::memcpy(&a, data + i, 8);
        std::memcpy(&b, keystream + i, 8);
        a ^= b;
        std::memcpy(data + i, &a, 8);
    }
    for (; i < length; ++i)
        data[i] ^= keystream[i];
}

bool WriteAll(QIODevice* device, const void* data, qint64 length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const qint64 n = device->write(p, length);
        if (n <= 0) return false;
        p += n;
        length -= n;
    }
    return true;
}

bool ReadExactly(QIODevice* device, void* data, qint64 length)
{
    char* p = static_cast<char*>(data);
    while (length > 0) {
        const qint64 n = device->read(p, length);
        if (n <= 0) return false;
        p += n;
        length -= n;
    }
    return true;
}

// The work buffer holds plain text between operations otherwise.
class BufferCleanser
{
public:
    explicit BufferCleanser(QByteArray& buffer) : m_buffer(buffer) {}
    ~BufferCleanser() { OPENSSL_cleanse(m_buffer.data(), std::size_t(m_buffer.size())); }
    BufferCleanser(const BufferCleanser&) = delete;
    BufferCleanser& operator=(const BufferCleanser&) = delete;

private:
    QByteArray& m_buffer;
};

} // namespace

struct TCrypt::Context
{
    CipherCtx cipher{nullptr, &EVP_CIPHER_CTX_free};
    Mac macAlgorithm{nullptr, &EVP_MAC_free};
    MacCtx mac{nullptr, &EVP_MAC_CTX_free};
    uint64_t counter = 0;
    uint8_t keystream[kAesBlock] = {};
    int position = kAesBlock;
    std::vector<uint8_t> blocks;

    ~Context()
    {
        OPENSSL_cleanse(keystream, sizeof keystream);
        if (!blocks.empty()) OPENSSL_cleanse(blocks.data(), blocks.size());
    }
};

TCrypt::TCrypt(const QByteArray& password, int bufferSize)
    : m_password(password),
      // A buffer of no bytes would never see the end of the source.
      m_bufferSize(std::max(bufferSize, 1)), m_buffer(m_bufferSize, '\0'), m_context(std::make_unique<Context>())
{
    const qsizetype length = password.size();
    m_strength = length < 32 ? 1 : length < 48 ? 2 : 3;
}

TCrypt::~TCrypt()
{
    OPENSSL_cleanse(m_buffer.data(), std::size_t(m_buffer.size()));
}

int TCrypt::KeySetup(const uint8_t* salt, uint8_t verification[2])
{
    // A refused setup must not leave the previous key usable.
    m_context->cipher.reset();
    m_context->mac.reset();
    if (m_password.size() > kMaxPassword) return -100;
    const EVP_CIPHER* cipher = CipherFor(m_strength);
    if (!cipher) return -101;

    Context& c = *m_context;
    const int keyLength = KeyLength();
    uint8_t derived[2 * 32 + 2];
    const int derivedLength = 2 * keyLength + 2;
    struct Cleanse
    {
        uint8_t* p;
        std::size_t n;
        ~Cleanse() { OPENSSL_cleanse(p, n); }
    } cleanse{derived, sizeof derived};

    if (PKCS5_PBKDF2_HMAC(m_password.constData(), int(m_password.size()), salt, SaltLength(), kPbkdf2Iterations,
                          EVP_sha1(), derivedLength, derived) != 1)
        return -1;

    c.cipher.reset(EVP_CIPHER_CTX_new());
    if (!c.cipher || EVP_EncryptInit_ex2(c.cipher.get(), cipher, derived, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(c.cipher.get(), 0) != 1)
        return -1;

    if (!c.macAlgorithm) c.macAlgorithm.reset(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    if (!c.macAlgorithm) return -1;
    c.mac.reset(EVP_MAC_CTX_new(c.macAlgorithm.get()));
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (!c.mac || EVP_MAC_init(c.mac.get(), derived + keyLength, std::size_t(keyLength), params) != 1) return -1;

    c.counter = 0;
    c.position = kAesBlock;
    verification[0] = derived[2 * keyLength];
    verification[1] = derived[2 * keyLength + 1];
    return 0;
}

bool TCrypt::ApplyKeystream(uint8_t* data, std::size_t length)
{
    Context& c = *m_context;
    if (!c.cipher) return false;

    while (length > 0 && c.position < kAesBlock) {
        *data++ ^= c.keystream[c.position++];
        --length;
    }
    if (length == 0) return true;

    if (c.blocks.empty()) c.blocks.resize(kBlocksPerCall * kAesBlock);
    while (length > 0) {
        const std::size_t blockCount = std::min(kBlocksPerCall, (length + kAesBlock - 1) / kAesBlock);
        const std::size_t bytes = blockCount * kAesBlock;
        uint8_t* blocks = c.blocks.data();
        // Bytes 0..7 little-endian, bytes 8..15 stay zero; the first block is counter 1.
        for (std::size_t i = 0; i < blockCount; ++i) {
            StoreLe64(blocks + i * kAesBlock, ++c.counter);
            StoreLe64(blocks + i * kAesBlock + 8, 0);
        }
        int outLength = 0;
        if (EVP_EncryptUpdate(c.cipher.get(), blocks, &outLength, blocks, int(bytes)) != 1 || outLength != int(bytes)) {
            OPENSSL_cleanse(blocks, bytes);
            return false;
        }
        const std::size_t used = std::min(length, bytes);
        XorInto(data, blocks, used);
        data += used;
        length -= used;
        // The unused rest of the last block starts the next run.
        std::memcpy(c.keystream, blocks + bytes - kAesBlock, kAesBlock);
        c.position = int(kAesBlock - (bytes - used));
        OPENSSL_cleanse(blocks, bytes);
    }
    return true;
}

bool TCrypt::Authenticate(const uint8_t* data, std::size_t length)
{
    Context& c = *m_context;
    return c.mac && EVP_MAC_update(c.mac.get(), data, length) == 1;
}

bool TCrypt::FinishCode(uint8_t code[10])
{
    Context& c = *m_context;
    uint8_t digest[EVP_MAX_MD_SIZE];
    std::size_t digestLength = 0;
    if (!c.mac || EVP_MAC_final(c.mac.get(), digest, &digestLength, sizeof digest) != 1 ||
        digestLength < std::size_t(kCodeLength))
        return false;
    std::memcpy(code, digest, kCodeLength);
    OPENSSL_cleanse(digest, sizeof digest);
    return true;
}

struct TEncryption::SaltGenerator
{
    uint8_t pool[kPoolSize] = {};
    uint8_t output[kPoolSize] = {};
    int position = 0;

    ~SaltGenerator()
    {
        OPENSSL_cleanse(pool, sizeof pool);
        OPENSSL_cleanse(output, sizeof output);
        position = 0;
    }

    // Up to 8 bytes per call, as a hardware counter would give them.
    static void Entropy(uint8_t* out, int length)
    {
        uint8_t bytes[8];
        ssize_t got;
        do {
            got = ::getrandom(bytes, sizeof bytes, 0);
        } while (got < 0 && errno == EINTR);
        if (got != ssize_t(sizeof bytes)) {
            const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
            StoreLe64(bytes, uint64_t(ticks));
        }
        std::memcpy(out, bytes, std::size_t(std::min(length, 8)));
        OPENSSL_cleanse(bytes, sizeof bytes);
    }

    static void Mix(uint8_t* buffer)
    {
        SHA_CTX sha;
        uint8_t message[64];
        for (int offset = 0; offset < kPoolSize; offset += kMixBlock) {
            const uint8_t* chain = buffer + (offset == 0 ? kPoolSize - kMixBlock : offset - kMixBlock);
            std::memset(&sha, 0, sizeof sha);
            SHA_LONG* words[5] = {&sha.h0, &sha.h1, &sha.h2, &sha.h3, &sha.h4};
            for (int w = 0; w < 5; ++w)
                *words[w] = LoadLe32(chain + 4 * w);
            for (int i = 0; i < 64; ++i)
                message[i] = buffer[(offset + i) % kPoolSize];
            SHA1_Transform(&sha, message);
            for (int w = 0; w < 5; ++w)
                for (int b = 0; b < 4; ++b)
                    buffer[offset + 4 * w + b] = uint8_t(*words[w] >> (8 * b));
        }
        OPENSSL_cleanse(&sha, sizeof sha);
        OPENSSL_cleanse(message, sizeof message);
    }

    void Update()
    {
        std::memcpy(output, pool, kPoolSize);
        for (int i = 0; i < kPoolSize; i += 8)
            Entropy(pool + i, kPoolSize - i);
        for (int i = 0; i < kPoolSize; ++i)
            pool[i] ^= uint8_t(~output[i]);
        Mix(pool);
        Mix(output);
    }

    void Seed()
    {
        Update();
        for (int i = 0; i < 20; ++i)
            Mix(pool);
        Update();
        position = 0;
    }

    void Draw(uint8_t* out, int length)
    {
        for (int i = 0; i < length; ++i) {
            if (position == kPoolSize) {
                Update();
                position = 0;
            }
            out[i] = output[position++];
        }
    }
};

TEncryption::TEncryption(const QByteArray& password, int bufferSize)
    : TCrypt(password, bufferSize), m_salt(std::make_unique<SaltGenerator>())
{
    m_salt->Seed();
}

TEncryption::~TEncryption() = default;

void TEncryption::DrawSalt(uint8_t* out, int length)
{
    m_salt->Draw(out, length);
}

// Key setup refuses only a password over 128 bytes or a strength outside 1..3; the
// program's fixed password meets neither, and for any other both operations return false
// before writing, rather than producing or accepting a file under a key never set up.
bool TEncryption::EncryptStream(QIODevice* source, QIODevice* destination)
{
    if (!source || !destination) return false;
    BufferCleanser cleanser(m_buffer);

    uint8_t header[kMaxSalt + 2];
    const int saltLength = std::clamp(SaltLength(), 0, kMaxSalt);
    DrawSalt(header, saltLength);
    if (KeySetup(header, header + saltLength) != 0) return false;
    if (!WriteAll(destination, header, saltLength + 2)) return false;

    auto* buffer = reinterpret_cast<uint8_t*>(m_buffer.data());
    for (;;) {
        const qint64 n = source->read(m_buffer.data(), m_bufferSize);
        if (n < 0) return false;
        if (n > 0) {
            if (!ApplyKeystream(buffer, std::size_t(n)) || !Authenticate(buffer, std::size_t(n)) ||
                !WriteAll(destination, buffer, n))
                return false;
        }
        if (n < m_bufferSize) break;
    }

    uint8_t code[kCodeLength];
    return FinishCode(code) && WriteAll(destination, code, kCodeLength);
}

bool TEncryption::DecryptStream(QIODevice* source, QIODevice* destination, qint64 sourceSize)
{
    if (!source) return false;
    BufferCleanser cleanser(m_buffer);

    uint8_t salt[kMaxSalt];
    uint8_t stored[2];
    uint8_t derived[2];
    const int saltLength = std::clamp(SaltLength(), 0, kMaxSalt);
    if (!ReadExactly(source, salt, saltLength)) return false;
    if (KeySetup(salt, derived) != 0) return false;
    if (!ReadExactly(source, stored, 2) || CRYPTO_memcmp(stored, derived, 2) != 0) return false;

    auto* buffer = reinterpret_cast<uint8_t*>(m_buffer.data());
    qint64 remaining = sourceSize - saltLength - 2 - kCodeLength;
    while (remaining > 0) {
        const qint64 n = source->read(m_buffer.data(), std::min<qint64>(m_bufferSize, remaining));
        if (n <= 0) return false;
        if (!Authenticate(buffer, std::size_t(n)) || !ApplyKeystream(buffer, std::size_t(n))) return false;
        if (destination && !WriteAll(destination, buffer, n)) return false;
        remaining -= n;
    }

    uint8_t code[kCodeLength];
    uint8_t expected[kCodeLength];
    if (!ReadExactly(source, code, kCodeLength) || !FinishCode(expected)) return false;
    return CRYPTO_memcmp(code, expected, kCodeLength) == 0;
}

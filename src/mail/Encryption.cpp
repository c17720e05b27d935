#include "mail/Encryption.h"

#include <QIODevice>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

constexpr int KdfIterations = 1000;
constexpr int MacSize = 20; // HMAC-SHA1; the stream keeps the first 10 bytes

const EVP_CIPHER *EcbCipher(int mode)
{
    switch (mode) {
    case 1:
        return EVP_aes_128_ecb();
    case 2:
        return EVP_aes_192_ecb();
    default:
        return EVP_aes_256_ecb();
    }
}

// Fetched once: looking the algorithm up costs more than a password's whole HMAC.
EVP_MAC *HmacAlgorithm()
{
    static EVP_MAC *const mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
    return mac;
}

// Reads until the buffer is full or the device has nothing more; -1 on a read error.
int64_t ReadChunk(QIODevice *device, void *buffer, int64_t size)
{
    auto *out = static_cast<char *>(buffer);
    int64_t done = 0;
    while (done < size) {
        const qint64 got = device->read(out + done, size - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool WriteChunk(QIODevice *device, const void *buffer, int64_t size)
{
    return size == 0 || device->write(static_cast<const char *>(buffer), size) == size;
}

} // namespace

TCrypt::TCrypt(const QByteArray &Password, int AMode, int ABufSize)
    // A deep copy of our own, so that wiping it cannot miss a shared original.
    : FPwd(Password.constData(), std::min<qsizetype>(Password.size(), MaxPasswordLen)),
      CBufSize(std::max(ABufSize, 1)), CBuffer(CBufSize, '\0')
{
    SetKeyMode(AMode);
}

TCrypt::~TCrypt()
{
    ClearCryptCtx();
    if (!FPwd.isEmpty())
        OPENSSL_cleanse(FPwd.data(), size_t(FPwd.size()));
    OPENSSL_cleanse(CBuffer.data(), size_t(CBuffer.size()));
}

void TCrypt::SetKeyMode(int AMode)
{
    if (AMode >= 1 && AMode <= 3)
        FMode = AMode;
    else if (FPwd.size() < 32)
        FMode = 1;
    else if (FPwd.size() >= 48)
        FMode = 3;
    else
        FMode = 2;
}

void TCrypt::ClearCryptCtx()
{
    EVP_CIPHER_CTX_free(FCryptCtx.Cipher);
    EVP_MAC_CTX_free(FCryptCtx.Mac);
    FCryptCtx.Cipher = nullptr;
    FCryptCtx.Mac = nullptr;
    FCryptCtx.Counter = 0;
    OPENSSL_cleanse(FCryptCtx.KeyStream, sizeof FCryptCtx.KeyStream);
    FCryptCtx.KeyStreamPos = 0;
    FCryptCtx.KeyStreamLen = 0;
    FCryptCtx.Ready = false;
    FCryptCtx.Failed = false;
}

bool TCrypt::DeriveKeys(const unsigned char *ASalt, unsigned char *AVerifier)
{
    ClearCryptCtx();
    const int keySize = KeySize();
    // AES key, HMAC key, 2-byte verification value.
    unsigned char material[2 * 32 + 2];
    bool ok = PKCS5_PBKDF2_HMAC(FPwd.constData(), int(FPwd.size()), ASalt, SaltSize(), KdfIterations,
                                EVP_sha1(), 2 * keySize + 2, material) == 1;
    if (ok) {
        FCryptCtx.Cipher = EVP_CIPHER_CTX_new();
        ok = FCryptCtx.Cipher &&
             EVP_EncryptInit_ex(FCryptCtx.Cipher, EcbCipher(FMode), nullptr, material, nullptr) == 1;
        ok = ok && EVP_CIPHER_CTX_set_padding(FCryptCtx.Cipher, 0) == 1;
    }
    if (ok) {
        char digest[] = "SHA1";
        const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
        FCryptCtx.Mac = HmacAlgorithm() ? EVP_MAC_CTX_new(HmacAlgorithm()) : nullptr;
        ok = FCryptCtx.Mac && EVP_MAC_init(FCryptCtx.Mac, material + keySize, size_t(keySize), params) == 1;
    }
    if (ok)
        std::memcpy(AVerifier, material + 2 * keySize, 2);
    OPENSSL_cleanse(material, sizeof material);
    FCryptCtx.Ready = ok;
    FCryptCtx.Failed = !ok;
    return ok;
}

bool TCrypt::ApplyKeyStream(unsigned char *ABuffer, int64_t ALen)
{
    TCryptCtx &c = FCryptCtx;
    while (ALen > 0) {
        if (c.KeyStreamPos == c.KeyStreamLen) {
            // Counter blocks: a little-endian 64-bit counter, incremented before each
            // block (the first block uses 1), then eight zero bytes.
            std::memset(c.KeyStream, 0, sizeof c.KeyStream);
            for (int block = 0; block < TCryptCtx::KeyStreamSize; block += 16) {
                uint64_t counter = ++c.Counter;
                for (int i = 0; i < 8; ++i, counter >>= 8)
                    c.KeyStream[block + i] = static_cast<unsigned char>(counter);
            }
            int outLen = 0;
            if (EVP_EncryptUpdate(c.Cipher, c.KeyStream, &outLen, c.KeyStream, TCryptCtx::KeyStreamSize) !=
                    1 ||
                outLen != TCryptCtx::KeyStreamSize)
                return false;
            c.KeyStreamPos = 0;
            c.KeyStreamLen = TCryptCtx::KeyStreamSize;
        }
        const int n = int(std::min<int64_t>(ALen, c.KeyStreamLen - c.KeyStreamPos));
        const unsigned char *key = c.KeyStream + c.KeyStreamPos;
        for (int i = 0; i < n; ++i)
            ABuffer[i] ^= key[i];
        c.KeyStreamPos += n;
        ABuffer += n;
        ALen -= n;
    }
    return true;
}

bool TCrypt::AddToMac(const unsigned char *ABuffer, int64_t ALen)
{
    return ALen == 0 || EVP_MAC_update(FCryptCtx.Mac, ABuffer, size_t(ALen)) == 1;
}

bool TCrypt::FinishMac(unsigned char *ACode)
{
    unsigned char full[MacSize];
    size_t outLen = 0;
    const bool ok = FCryptCtx.Ready && !FCryptCtx.Failed &&
                    EVP_MAC_final(FCryptCtx.Mac, full, &outLen, sizeof full) == 1 && outLen == MacSize;
    if (ok)
        std::memcpy(ACode, full, size_t(GetTrailerSize()));
    OPENSSL_cleanse(full, sizeof full);
    // The HMAC is finished: more data needs a new header.
    FCryptCtx.Ready = false;
    return ok;
}

TEncryption::TEncryption(const QByteArray &Password, int AMode, int ABufSize)
    : TCrypt(Password, AMode, ABufSize)
{
    // Salts come from RAND_bytes, whose generator OpenSSL seeds from the system.
}

bool TEncryption::WriteHeader(QIODevice *sDest)
{
    unsigned char header[16 + 2];
    const int saltSize = SaltSize();
    const bool ok = sDest && RAND_bytes(header, saltSize) == 1 && DeriveKeys(header, header + saltSize) &&
                    WriteChunk(sDest, header, GetHeaderSize());
    OPENSSL_cleanse(header, sizeof header);
    return ok;
}

void TEncryption::EncryptBlock(char *Buffer, int64_t BLen)
{
    auto *bytes = reinterpret_cast<unsigned char *>(Buffer);
    if (!FCryptCtx.Ready || FCryptCtx.Failed || !ApplyKeyStream(bytes, BLen) || !AddToMac(bytes, BLen))
        FCryptCtx.Failed = true;
}

bool TEncryption::WriteTrailer(QIODevice *sDest)
{
    unsigned char code[10];
    return sDest && FinishMac(code) && WriteChunk(sDest, code, sizeof code);
}

TOpResult TEncryption::EncryptStreamEx(QIODevice *sSource, QIODevice *sDest, int SpeedLimit,
                                       const TCancelEvent &CancelEncryption)
{
    TOpResult result = orError;
    try {
        result = [&] {
            if (!sSource || !WriteHeader(sDest))
                return orError;
            int64_t done = 0;
            for (;;) {
                if (FEvent)
                    FEvent();
                const int64_t got = ReadChunk(sSource, CBuffer.data(), CBufSize);
                if (got < 0)
                    return orError;
                done += got;
                if (FOnProgress)
                    FOnProgress(ProgressEncrypt, SpeedLimit, done);
                EncryptBlock(CBuffer.data(), got);
                if (!WriteChunk(sDest, CBuffer.constData(), got))
                    return orError;
                if (CancelEncryption && CancelEncryption())
                    return orUserBreak;
                if (got < CBufSize)
                    break;
            }
            return WriteTrailer(sDest) ? orOk : orError;
        }();
    } catch (const std::exception &) {
        result = orError;
    }
    OPENSSL_cleanse(CBuffer.data(), size_t(CBuffer.size()));
    return result;
}

bool TEncryption::ReadHeader(QIODevice *sSource)
{
    unsigned char header[16 + 2];
    unsigned char verifier[2];
    const int saltSize = SaltSize();
    bool ok = sSource && ReadChunk(sSource, header, GetHeaderSize()) == GetHeaderSize() &&
              DeriveKeys(header, verifier) && CRYPTO_memcmp(verifier, header + saltSize, 2) == 0;
    if (!ok)
        FCryptCtx.Failed = true;
    return ok;
}

void TEncryption::DecryptBlock(char *Buffer, int64_t BLen)
{
    auto *bytes = reinterpret_cast<unsigned char *>(Buffer);
    if (!FCryptCtx.Ready || FCryptCtx.Failed || !AddToMac(bytes, BLen) || !ApplyKeyStream(bytes, BLen))
        FCryptCtx.Failed = true;
}

bool TEncryption::ReadTrailer(QIODevice *sSource)
{
    unsigned char stored[10];
    unsigned char computed[10];
    const bool ok = sSource && ReadChunk(sSource, stored, sizeof stored) == sizeof stored &&
                    FinishMac(computed) && CRYPTO_memcmp(stored, computed, sizeof stored) == 0;
    OPENSSL_cleanse(computed, sizeof computed);
    return ok;
}

TOpResult TEncryption::DecryptStreamEx(QIODevice *sSource, QIODevice *sDest, int64_t SLength, int SpeedLimit,
                                       const TCancelEvent &CancelDecryption)
{
    TOpResult result = orError;
    try {
        result = [&] {
            const int64_t dataLength = SLength - GetHeaderSize() - GetTrailerSize();
            // Too short to hold salt, verification value and code.
            if (dataLength < 0 || !ReadHeader(sSource))
                return orError;
            int64_t done = 0;
            while (done < dataLength) {
                if (FEvent)
                    FEvent();
                const int64_t want = std::min<int64_t>(CBufSize, dataLength - done);
                if (ReadChunk(sSource, CBuffer.data(), want) != want)
                    return orError; // the stream ends before its stated length
                done += want;
                if (FOnProgress)
                    FOnProgress(ProgressDecrypt, SpeedLimit, done);
                DecryptBlock(CBuffer.data(), want);
                if (sDest && !WriteChunk(sDest, CBuffer.constData(), want))
                    return orError;
                if (CancelDecryption && CancelDecryption())
                    return orUserBreak;
            }
            return ReadTrailer(sSource) ? orOk : orError;
        }();
    } catch (const std::exception &) {
        result = orError;
    }
    OPENSSL_cleanse(CBuffer.data(), size_t(CBuffer.size()));
    return result;
}

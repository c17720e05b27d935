#pragma once

#include <QByteArray>

#include <openssl/types.h>

#include <cstdint>
#include <functional>

class QIODevice;

// Result of a whole-stream operation.
enum TOpResult
{
    orOk,
    orError,
    orUserBreak
};

// State of the WinZip AES scheme: AES key schedule, counter block, the key stream not
// used yet, and the running HMAC-SHA1 over the encrypted data.
struct TCryptCtx
{
    EVP_CIPHER_CTX *Cipher = nullptr;
    EVP_MAC_CTX *Mac = nullptr;
    uint64_t Counter = 0;
    // Key stream is made in batches; KeyStreamPos..KeyStreamLen is still unused.
    static constexpr int KeyStreamSize = 32 * 16;
    unsigned char KeyStream[KeyStreamSize] = {};
    int KeyStreamPos = 0;
    int KeyStreamLen = 0;
    bool Ready = false;  // keys derived
    bool Failed = false; // libcrypto failed, or a block came before the header
};

// AES encryption of a stream in the WinZip AES layout: salt, 2-byte password verification
// value, data in AES counter mode, 10-byte HMAC-SHA1 code over the encrypted data.
class TCrypt
{
public:
    // Password cut to its first MaxPasswordLen bytes; AMode as KeyMode; chunks of ABufSize bytes.
    TCrypt(const QByteArray &Password, int AMode, int ABufSize);
    virtual ~TCrypt();
    TCrypt(const TCrypt &) = delete;
    TCrypt &operator=(const TCrypt &) = delete;

    static constexpr int MaxPasswordLen = 128;

    int KeyMode() const { return FMode; }
    // 1, 2 or 3 (AES-128, -192, -256); any other value chooses by the password's length.
    void SetKeyMode(int AMode);
    bool FixedKey() const { return FFixedKey; }
    void SetFixedKey(bool AValue) { FFixedKey = AValue; }

    int GetHeaderSize() const { return SaltSize() + 2; }
    int GetTrailerSize() const { return 10; }

protected:
    int KeySize() const { return 8 + 8 * FMode; }
    int SaltSize() const { return 4 + 4 * FMode; }
    // Derives AES key, HMAC key and verification value from the password and salt, and
    // starts a fresh counter and HMAC. False when libcrypto fails.
    bool DeriveKeys(const unsigned char *ASalt, unsigned char *AVerifier);
    // XORs the key stream into the bytes, carrying the key stream position over calls.
    bool ApplyKeyStream(unsigned char *ABuffer, int64_t ALen);
    bool AddToMac(const unsigned char *ABuffer, int64_t ALen);
    bool FinishMac(unsigned char *ACode);
    void ClearCryptCtx();

    int FMode = 1;
    bool FFixedKey = true;
    TCryptCtx FCryptCtx;
    QByteArray FPwd;
    int CBufSize = 0;
    QByteArray CBuffer;
    // Pause support: when set, called before every chunk and returns when work may go on.
    std::function<void()> FEvent;
};

class TEncryption : public TCrypt
{
public:
    // Action codes handed to OnProgress.
    static constexpr int ProgressEncrypt = 4;
    static constexpr int ProgressDecrypt = 5;
    using TProgressEvent = std::function<void(int AAction, int ASpeedLimit, int64_t ADone)>;
    using TCancelEvent = std::function<bool()>;

    TEncryption(const QByteArray &Password, int AMode, int ABufSize);

    const std::function<void()> &Event() const { return FEvent; }
    void SetEvent(std::function<void()> AEvent) { FEvent = std::move(AEvent); }
    const TProgressEvent &OnProgress() const { return FOnProgress; }
    void SetOnProgress(TProgressEvent AEvent) { FOnProgress = std::move(AEvent); }

    // Draws a salt, derives the keys, writes salt and verification value.
    bool WriteHeader(QIODevice *sDest);
    void EncryptBlock(char *Buffer, int64_t BLen);
    bool WriteTrailer(QIODevice *sDest);
    TOpResult EncryptStreamEx(QIODevice *sSource, QIODevice *sDest, int SpeedLimit,
                              const TCancelEvent &CancelEncryption = {});
    bool EncryptStream(QIODevice *sSource, QIODevice *sDest, int SpeedLimit = 0)
    {
        return EncryptStreamEx(sSource, sDest, SpeedLimit) == orOk;
    }

    // Reads salt and verification value and derives the keys; true when the password fits.
    bool ReadHeader(QIODevice *sSource);
    void DecryptBlock(char *Buffer, int64_t BLen);
    // True when the stored authentication code equals the one computed over the data.
    bool ReadTrailer(QIODevice *sSource);
    // SLength is the length of the whole encrypted stream; with sDest null the data is
    // only verified.
    TOpResult DecryptStreamEx(QIODevice *sSource, QIODevice *sDest, int64_t SLength, int SpeedLimit,
                              const TCancelEvent &CancelDecryption = {});
    bool DecryptStream(QIODevice *sSource, QIODevice *sDest, int64_t SLength, int SpeedLimit = 0)
    {
        return DecryptStreamEx(sSource, sDest, SLength, SpeedLimit) == orOk;
    }

private:
    TProgressEvent FOnProgress;
};

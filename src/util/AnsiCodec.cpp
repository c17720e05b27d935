#include "util/AnsiCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace {

bool IsUtf8Charset(const QByteArray &charset)
{
    return charset == "UTF-8";
}

// iconv descriptor that is closed on every path out.
class TIconv
{
public:
    TIconv(const char *to, const char *from) : FHandle(iconv_open(to, from)) {}
    ~TIconv()
    {
        if (Valid())
            iconv_close(FHandle);
    }
    TIconv(const TIconv &) = delete;
    TIconv &operator=(const TIconv &) = delete;
    bool Valid() const { return FHandle != iconv_t(-1); }
    iconv_t Handle() const { return FHandle; }

private:
    iconv_t FHandle;
};

// Converts with iconv; an input sequence it rejects is replaced by `replacement` and
// skipped by the length `skip` returns for it, so no input can stop the conversion.
template <typename SkipFn>
QByteArray Convert(iconv_t cd, QByteArrayView input, QByteArrayView replacement, SkipFn skip)
{
    QByteArray out;
    out.resize(input.size() * 2 + 16);
    char *in = const_cast<char *>(input.data());
    size_t inLeft = size_t(input.size());
    size_t used = 0;
    while (inLeft > 0) {
        char *outPtr = out.data() + used;
        size_t outLeft = size_t(out.size()) - used;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = size_t(out.size()) - outLeft;
        if (rc != size_t(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2 + 16);
            continue;
        }
        // EILSEQ (invalid or unrepresentable) or EINVAL (incomplete at the end).
        const size_t n = std::min(inLeft, std::max<size_t>(1, skip(in, inLeft)));
        if (size_t(out.size()) - used < size_t(replacement.size()))
            out.resize(out.size() * 2 + 16);
        memcpy(out.data() + used, replacement.data(), size_t(replacement.size()));
        used += size_t(replacement.size());
        in += n;
        inLeft -= n;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // A stateful set may need a closing shift sequence.
    out.resize(qsizetype(used) + 16);
    char *outPtr = out.data() + used;
    size_t outLeft = 16;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != size_t(-1))
        used += 16 - outLeft;
    out.truncate(qsizetype(used));
    return out;
}

// Length of the UTF-8 sequence that starts at `p` (1 for a stray byte).
size_t Utf8SequenceLength(const char *p, size_t left)
{
    const auto lead = static_cast<unsigned char>(*p);
    size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    n = std::min(n, left);
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80)
            return i;
    return n;
}

} // namespace

QByteArray AnsiCharset()
{
    const QByteArray charset(nl_langinfo(CODESET));
    if (charset.isEmpty() || charset == "ANSI_X3.4-1968" || charset == "ASCII" || charset == "US-ASCII")
        return QByteArrayLiteral("UTF-8");
    return charset;
}

QString AnsiToString(QByteArrayView bytes)
{
    const QByteArray charset = AnsiCharset();
    if (!IsUtf8Charset(charset)) {
        TIconv cd("UTF-8", charset.constData());
        if (cd.Valid())
            return QString::fromUtf8(
                Convert(cd.Handle(), bytes, "\xEF\xBF\xBD", [](const char *, size_t) { return size_t(1); }));
    }
    return QString::fromUtf8(bytes);
}

QByteArray StringToAnsi(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    const QByteArray charset = AnsiCharset();
    if (IsUtf8Charset(charset))
        return utf8;
    TIconv cd(charset.constData(), "UTF-8");
    if (!cd.Valid())
        return utf8;
    return Convert(cd.Handle(), utf8, "?", Utf8SequenceLength);
}

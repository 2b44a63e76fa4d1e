#include "core/store/Text1252.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace tq3::cp1252 {

namespace {

const char *const kCodePage = "windows-1252";

std::optional<QByteArray> encodeWith(QStringEncoder &encoder, QStringView text)
{
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder(kCodePage);
    return decoder.decode(bytes);
}

std::optional<QByteArray> encodeExact(const QString &text)
{
    QStringEncoder encoder(kCodePage);
    std::optional<QByteArray> bytes = encodeWith(encoder, text);
    // A best-fit mapping would pass the encoder yet read back as another
    // character: only a round trip proves the text is stored as typed.
    if (!bytes || decode(*bytes) != text)
        return std::nullopt;
    return bytes;
}

QByteArray encodeLossy(const QString &text)
{
    if (std::optional<QByteArray> exact = encodeExact(text))
        return *exact;

    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        // One code point at a time, so a surrogate pair becomes one '?'.
        const qsizetype length =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const QStringView codePoint = QStringView(text).mid(i, length);
        // A fresh encoder each time: after an unencodable character the ICU
        // encoder keeps failing, even after resetState().
        QStringEncoder encoder(kCodePage);
        std::optional<QByteArray> encoded = encodeWith(encoder, codePoint);
        if (encoded && decode(*encoded) == codePoint)
            bytes += *encoded;
        else
            bytes += '?';
        i += length;
    }
    return bytes;
}

bool canHold(const QString &text)
{
    return encodeExact(text).has_value();
}

} // namespace tq3::cp1252

// Windows-1252 both ways: any bytes decode to one character each, and any
// text is encoded one byte per character, exactly where the code page can.

#include "FuzzInput.h"

#include "core/store/Text1252.h"

#include <QList>

using namespace tq3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const QString decoded = cp1252::decode(bytes);
    fuzz::require(decoded.size() == bytes.size(), "one character per byte");
    const std::optional<QByteArray> back = cp1252::encodeExact(decoded);
    fuzz::require(!back || *back == bytes, "decoded text encodes back to its bytes");

    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    const QByteArray lossy = cp1252::encodeLossy(text);
    fuzz::require(lossy.size() == text.toUcs4().size(), "one byte per code point");
    const std::optional<QByteArray> exact = cp1252::encodeExact(text);
    fuzz::require(exact.has_value() == cp1252::canHold(text) && (!exact || *exact == lossy),
                  "an exact encoding is the lossy one with nothing lost");
    return 0;
}

// The record reader over any bytes: it ends, and every number it takes
// reads back from the record the client writes for it.

#include "FuzzInput.h"

#include "core/store/RecordSyntax.h"

using namespace tq3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = fuzz::bytesOf(data, size);
    for (const record::TextEncoding encoding : {record::TextEncoding::Windows1252, record::TextEncoding::Utf8}) {
        record::FieldReader reader(bytes, encoding);
        std::size_t fields = 0;
        while (const std::optional<QString> field = reader.next()) {
            fuzz::require(++fields <= size, "each field takes at least one byte");
            if (const std::optional<qint32> number = record::toNumber(*field))
                fuzz::require(record::FieldReader(record::numberRecord(*number)).next() == QString::number(*number),
                              "a number record reads back as its number");
        }
    }
    return 0;
}

// PercorsiClient.txt from any bytes: read or refused, and whatever reads and
// is accepted for saving reads back exactly as it was.

#include "FuzzInput.h"

#include "core/store/SettingsFile.h"

using namespace tq3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Result<SettingsFile> read = SettingsFile::fromBytes(fuzz::bytesOf(data, size));
    if (!read)
        return 0;
    const Result<QByteArray> saved = read->toBytes();
    if (!saved)
        return 0;
    const Result<SettingsFile> again = SettingsFile::fromBytes(*saved);
    fuzz::require(again.ok() && *again == *read, "a saved settings file reads back the same");
    return 0;
}

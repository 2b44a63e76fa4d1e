#pragma once

// What every fuzzer shares: the input as Qt bytes, and a check that stops
// the run with the failing input kept by libFuzzer.

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tq3::fuzz {

inline QByteArray bytesOf(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

inline void require(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

} // namespace tq3::fuzz

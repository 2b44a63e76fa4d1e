#include "platform/ExclusiveFile.h"

#include <algorithm>
#include <random>
#include <thread>
#include <utility>

namespace tq3::platform {

namespace {

// Calls `attempt` until it gives something other than Held or the patience
// has passed, with a short, slightly random pause in between, so that desks
// retrying together do not keep colliding in step.
template <class Attempt>
OpenStatus retryWhileHeld(std::chrono::milliseconds patience, Attempt attempt)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + patience;
    thread_local std::minstd_rand random{std::random_device{}()};
    for (;;) {
        const OpenStatus status = attempt();
        const Clock::time_point now = Clock::now();
        if (status != OpenStatus::Held || now >= deadline)
            return status;
        const std::chrono::milliseconds wanted{2 + random() % 8};
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(
            wanted, std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
    }
}

} // namespace

WholeFile readWholeFile(const std::filesystem::path &path, std::chrono::milliseconds patience)
{
    WholeFile file;
    retryWhileHeld(patience, [&] {
        file = readWholeFile(path);
        return file.status;
    });
    return file;
}

OpenStatus openExclusive(ExclusiveFile &file, const std::filesystem::path &path, bool createIfMissing,
                         std::chrono::milliseconds patience)
{
    return retryWhileHeld(patience, [&] { return file.tryOpen(path, createIfMissing); });
}

ExclusiveFile::~ExclusiveFile()
{
    close();
}

ExclusiveFile::ExclusiveFile(ExclusiveFile &&other) noexcept
    : m_handle(std::exchange(other.m_handle, kClosed))
    , m_error(other.m_error)
{
}

ExclusiveFile &ExclusiveFile::operator=(ExclusiveFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, kClosed);
        m_error = other.m_error;
    }
    return *this;
}

} // namespace tq3::platform

#pragma once

// Plain C++ helpers for the platform tests, which run natively and, cross
// compiled, under Wine: this program started again as a child process, files
// that the processes leave for each other, a datagram receiver.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tq3::platform::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// A folder of its own, open to every user, removed at the end.
struct TempDir final {
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::filesystem::path path;
};

void writeFile(const std::filesystem::path &file, const std::string &bytes);
// Polls `condition` until it holds or `timeout` passes.
bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout = std::chrono::seconds(30));
// What `file` holds once it holds something.
std::string waitForContent(const std::filesystem::path &file);

// This program again, with `arguments`; killed at the end if still running.
class Child final {
public:
    explicit Child(const std::vector<std::string> &arguments);
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    void kill();
    int wait();  // its exit code

private:
    std::intptr_t m_process = -1;
};

// A datagram receiver on 127.0.0.1 (port 0: any free one).
class Listener final {
public:
    explicit Listener(std::uint16_t port = 0);
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;
    std::uint16_t port() const { return m_port; }
    std::string receive();  // the next datagram, or nothing after a few seconds

private:
    std::intptr_t m_socket = -1;
    std::uint16_t m_port = 0;
};

} // namespace tq3::platform::test

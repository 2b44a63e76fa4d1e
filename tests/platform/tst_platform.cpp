// The platform layer under real processes, files and sockets. The same
// program runs natively and, cross compiled, under Wine
// (scripts/windows-tests.sh); it starts itself again for the other processes.

#include "platform/DatagramSocket.h"
#include "platform/ExclusiveFile.h"
#include "platform/InstanceGuard.h"

#include "PlatformTesting.h"

#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <array>
#include <cerrno>
#include <string_view>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#endif

using namespace tq3::platform;
using namespace tq3::platform::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A guard name of this run's own, so that runs side by side never meet.
std::string guardName(const TempDir &dir)
{
    return "tq3platform-test-" + dir.path.filename().string();
}

// child hold <file> <folder>: holds the file until <folder>/release appears;
// "released" is written while it still holds it.
int holdFile(const fs::path &file, const fs::path &folder)
{
    ExclusiveFile held;
    if (held.tryOpen(file, false) != OpenStatus::Opened)
        return 3;
    writeFile(folder / "ready", "held");
    waitFor([&] { return fs::exists(folder / "release"); });
    writeFile(folder / "released", "yes");
    return 0;
}

// child claim <name> <folder> <id> [user]: at <folder>/go claims the name,
// writes claimed or refused to <folder>/<id> and keeps a claim until
// <folder>/release appears. With a user, as that user.
int claimName(const std::string &name, const fs::path &folder, const std::string &id, const char *user)
{
#ifndef _WIN32
    const passwd *account = user ? ::getpwnam(user) : nullptr;
    if (user && (!account || ::setgroups(0, nullptr) != 0 || ::setgid(account->pw_gid) != 0
                 || ::setuid(account->pw_uid) != 0))
        return 3;
#else
    (void)user;
#endif
    writeFile(folder / ("waiting-" + id), "yes");
    waitFor([&] { return fs::exists(folder / "go"); });
    InstanceGuard guard;
    const bool claimed = guard.claim(name);
    writeFile(folder / id, claimed ? "claimed" : "refused");
    if (claimed)
        waitFor([&] { return fs::exists(folder / "release"); }, 60s);
    return 0;
}

// Until the socket reports the refusal of an earlier datagram, however the
// system reports it: as the socket's pending error or on the next read.
int waitForRefusal(DatagramSocket &socket)
{
    int error = 0;
    waitFor([&] {
        error = socket.takePendingError();
        if (error == 0 && (error = socket.discardOne()) == DatagramSocket::kNoneWaiting)
            error = 0;
        return error != 0;
    }, 5s);
    return error;
}

} // namespace

TEST_CASE("a file held by another process is in use until it lets go, and only then read or written")
{
    TempDir dir;
    const fs::path file = dir.path / "NrAllS7.txt";
    writeFile(file, "41\r\n");
    Child holder({"child", "hold", file.string(), dir.path.string()});
    REQUIRE(waitForContent(dir.path / "ready") == "held");

    ExclusiveFile second;
    for (const bool create : {false, true}) {
        const auto started = std::chrono::steady_clock::now();
        CHECK(openExclusive(second, file, create, 200ms) == OpenStatus::Held);
        CHECK(std::chrono::steady_clock::now() - started >= 200ms);  // it tried for its whole patience
    }
    CHECK_FALSE(second.isOpen());
    CHECK_FALSE(second.readAll());
    CHECK_FALSE(second.writeFromStart("1\r\n"));
    // Windows keeps even a reader out of a file opened with no sharing.
    const WholeFile meanwhile = readWholeFile(file, 50ms);
    CHECK(meanwhile.status == (kWindows ? OpenStatus::Held : OpenStatus::Opened));

    writeFile(dir.path / "release", "yes");
    REQUIRE(openExclusive(second, file, false, 10s) == OpenStatus::Opened);
    CHECK(contentOf(dir.path / "released") == "yes");  // not a moment before the holder let go
    CHECK(second.readAll() == "41\r\n");  // as the holder left it, the attempts above changed nothing
    CHECK((second.writeFromStart("7\r\n") && second.flushToDisk() && second.truncate(3)));
    CHECK(holder.wait() == 0);
    second.close();
    CHECK(readWholeFile(file).bytes == "7\r\n");
    CHECK(readWholeFile(dir.path / "none.txt").status == OpenStatus::Missing);
}

TEST_CASE("of processes claiming together one holds the guard, which is free again once it ends or is killed")
{
    TempDir dir;
    const std::string name = guardName(dir);
    std::vector<std::unique_ptr<Child>> claimers;
    for (const char *id : {"1", "2", "3"})
        claimers.push_back(std::make_unique<Child>(std::vector<std::string>{"child", "claim", name, dir.path.string(), id}));
    for (const char *id : {"1", "2", "3"})
        REQUIRE(waitForContent(dir.path / ("waiting-" + std::string(id))) == "yes");
    writeFile(dir.path / "go", "yes");
    std::string outcomes;
    for (const char *id : {"1", "2", "3"})
        outcomes += waitForContent(dir.path / id).substr(0, 1);
    std::sort(outcomes.begin(), outcomes.end());
    CHECK(outcomes == "crr");
    CHECK_FALSE(InstanceGuard().claim(name));

    writeFile(dir.path / "release", "yes");
    for (auto &claimer : claimers)
        CHECK(claimer->wait() == 0);
    {
        InstanceGuard guard;
        CHECK(guard.claim(name));
        CHECK(guard.isClaimed());
    }
    fs::remove(dir.path / "release");
    Child killed({"child", "claim", name, dir.path.string(), "4"});
    REQUIRE(waitForContent(dir.path / "4") == "claimed");
    CHECK_FALSE(InstanceGuard().claim(name));
    killed.kill();
    killed.wait();
    CHECK(InstanceGuard().claim(name));
}

#ifndef _WIN32
// Windows: another user's process needs a real desk.
TEST_CASE("a guard held by one user refuses another, and a killed holder leaves nothing behind for the other")
{
    if (::geteuid() != 0 || !::getpwnam("nobody")) {
        MESSAGE("skipped: starting a process as nobody needs root");
        return;
    }
    TempDir dir;
    const std::string name = guardName(dir);
    writeFile(dir.path / "go", "yes");
    Child root({"child", "claim", name, dir.path.string(), "root"});
    REQUIRE(waitForContent(dir.path / "root") == "claimed");
    Child refused({"child", "claim", name, dir.path.string(), "refused", "nobody"});
    CHECK(waitForContent(dir.path / "refused") == "refused");
    root.kill();
    root.wait();
    Child nobody({"child", "claim", name, dir.path.string(), "nobody", "nobody"});
    CHECK(waitForContent(dir.path / "nobody") == "claimed");
    writeFile(dir.path / "release", "yes");
    CHECK(nobody.wait() == 0);
}
#endif

TEST_CASE("a datagram refused by a closed port on 127.0.0.1 does not stop the next one")
{
    std::uint16_t port = 0;
    {
        const Listener probe;  // a free port nothing listens on any more
        port = probe.port();
    }
    REQUIRE(port != 0);
    DatagramSocket socket;
    REQUIRE(socket.open(std::array<std::uint8_t, 4>{127, 0, 0, 1}, port) == 0);
    CHECK(socket.send("041#S1#Anagrafe") == 0);
    CHECK(isRefusal(waitForRefusal(socket)));

    Listener listener(port);
    CHECK(socket.send("042#S1#Anagrafe") == 0);
    CHECK(listener.receive() == "042#S1#Anagrafe");
}

TEST_CASE("the errors the consoles act on carry their Windows Sockets numbers")
{
#ifdef _WIN32
    const int addressNotAvailable = WSAEADDRNOTAVAIL;
    const std::array refusals{WSAECONNRESET, WSAECONNREFUSED};  // Windows's name for it, and Wine's
#else
    const int addressNotAvailable = EADDRNOTAVAIL;
    const std::array refusals{ECONNREFUSED, ECONNRESET};
#endif
    CHECK(windowsSocketsError(addressNotAvailable) == 10049);
    CHECK_FALSE(isRefusal(addressNotAvailable));
    for (const int refusal : refusals)
        CHECK(isRefusal(refusal));
    CHECK(windowsSocketsError(refusals.front()) == 10054);
}

#ifdef _WIN32
TEST_CASE("the client's resources carry the project's version and an icon")
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::vector<char> info(GetFileVersionInfoSizeW(self, nullptr));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT size = 0;
    REQUIRE((!info.empty() && GetFileVersionInfoW(self, 0, static_cast<DWORD>(info.size()), info.data())
             && VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &size)));
    CHECK(std::to_string(HIWORD(fixed->dwFileVersionMS)) + '.' + std::to_string(LOWORD(fixed->dwFileVersionMS)) + '.'
              + std::to_string(HIWORD(fixed->dwFileVersionLS))
          == TQ3_VERSION);
    CHECK(LoadIconW(GetModuleHandleW(nullptr), L"IDI_ICON1") != nullptr);
}
#endif

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    if (argc >= 5 && args[1] == "child" && args[2] == "hold")
        return holdFile(args[3], args[4]);
    if (argc >= 6 && args[1] == "child" && args[2] == "claim")
        return claimName(args[3], args[4], args[5], argc >= 7 ? argv[6] : nullptr);
    return doctest::Context(argc, argv).run();
}

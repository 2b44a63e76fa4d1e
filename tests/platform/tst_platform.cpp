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

// child <hold|claim> <file or name> <folder> <id> [user]: as the user, once
// <folder>/go exists, opens the file or claims the name, writes "got" or
// "refused" to <folder>/<id>, keeps what it got until <folder>/release
// appears, and writes <folder>/released-<id> while it still keeps it.
int child(const std::vector<std::string> &args)
{
    const fs::path folder = args[4];
    const std::string &id = args[5];
#ifndef _WIN32
    const passwd *user = args.size() > 6 ? ::getpwnam(args[6].c_str()) : nullptr;
    if (args.size() > 6
        && (!user || ::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0))
        return 3;
#endif
    writeFile(folder / ("waiting-" + id), "yes");
    waitFor([&] { return fs::exists(folder / "go"); });
    ExclusiveFile file;
    InstanceGuard guard;
    const bool got = args[2] == "hold" ? file.tryOpen(args[3], false) == OpenStatus::Opened : guard.claim(args[3]);
    writeFile(folder / id, got ? "got" : "refused");
    if (got)
        waitFor([&] { return fs::exists(folder / "release"); }, 60s);
    writeFile(folder / ("released-" + id), "yes");
    return 0;
}

std::unique_ptr<Child> start(const TempDir &dir, const char *what, const std::string &target, const std::string &id,
                             const std::vector<std::string> &user = {})
{
    std::vector<std::string> args{"child", what, target, dir.path.string(), id};
    args.insert(args.end(), user.begin(), user.end());
    return std::make_unique<Child>(args);
}

// A guard name of this run's own, so that runs side by side never meet.
std::string guardName(const TempDir &dir)
{
    return "tq3platform-test-" + dir.path.filename().string();
}

} // namespace

TEST_CASE("a file held by another process is in use until it lets go, and only then read or written")
{
    TempDir dir;
    const fs::path file = dir.path / "NrAllS7.txt";
    writeFile(file, "41\r\n");
    writeFile(dir.path / "go", "yes");
    const auto holder = start(dir, "hold", file.string(), "holder");
    REQUIRE(waitForContent(dir.path / "holder") == "got");

    ExclusiveFile second;
    for (const bool create : {false, true}) {
        const auto started = std::chrono::steady_clock::now();
        CHECK(openExclusive(second, file, create, 200ms) == OpenStatus::Held);
        CHECK(std::chrono::steady_clock::now() - started >= 200ms);  // it tried for its whole patience
    }
    CHECK((!second.isOpen() && !second.readAll() && !second.writeFromStart("1\r\n")));
    // Windows keeps even a reader out of a file opened with no sharing.
    CHECK(readWholeFile(file, 50ms).status == (kWindows ? OpenStatus::Held : OpenStatus::Opened));

    writeFile(dir.path / "release", "yes");
    REQUIRE(openExclusive(second, file, false, 10s) == OpenStatus::Opened);
    CHECK(fs::exists(dir.path / "released-holder"));  // not a moment before the holder let go
    CHECK(second.readAll() == "41\r\n");              // the attempts above changed nothing
    CHECK((second.writeFromStart("7\r\n") && second.flushToDisk() && second.truncate(3)));
    second.close();
    CHECK(readWholeFile(file).bytes == "7\r\n");
    CHECK(readWholeFile(dir.path / "none.txt").status == OpenStatus::Missing);
}

TEST_CASE("of processes claiming together one holds the guard, which is free again once it ends or is killed")
{
    TempDir dir;
    const std::string name = guardName(dir);
    std::vector<std::unique_ptr<Child>> claimers;
    for (const std::string id : {"1", "2", "3"})
        claimers.push_back(start(dir, "claim", name, id));
    for (const std::string id : {"1", "2", "3"})
        REQUIRE(waitForContent(dir.path / ("waiting-" + id)) == "yes");
    writeFile(dir.path / "go", "yes");
    std::string outcomes;
    for (const std::string id : {"1", "2", "3"})
        outcomes += waitForContent(dir.path / id).front();
    std::sort(outcomes.begin(), outcomes.end());
    CHECK(outcomes == "grr");
    CHECK_FALSE(InstanceGuard().claim(name));

    writeFile(dir.path / "release", "yes");
    for (auto &claimer : claimers)
        CHECK(claimer->wait() == 0);
    {
        InstanceGuard guard;
        CHECK((guard.claim(name) && guard.isClaimed()));
    }
    fs::remove(dir.path / "release");
    const auto killed = start(dir, "claim", name, "4");
    REQUIRE(waitForContent(dir.path / "4") == "got");
    CHECK_FALSE(InstanceGuard().claim(name));
    killed->kill();
    killed->wait();
    CHECK(InstanceGuard().claim(name));
}

#ifndef _WIN32  // Windows: another user's process needs a real desk
TEST_CASE("a guard held by one user refuses another, and a killed holder leaves nothing behind for the other")
{
    if (::geteuid() != 0 || !::getpwnam("nobody")) {
        MESSAGE("skipped: starting a process as nobody needs root");
        return;
    }
    TempDir dir;
    const std::string name = guardName(dir);
    writeFile(dir.path / "go", "yes");
    const auto root = start(dir, "claim", name, "root");
    REQUIRE(waitForContent(dir.path / "root") == "got");
    const auto refused = start(dir, "claim", name, "refused", {"nobody"});
    CHECK(waitForContent(dir.path / "refused") == "refused");
    root->kill();
    root->wait();
    const auto nobody = start(dir, "claim", name, "nobody", {"nobody"});
    CHECK(waitForContent(dir.path / "nobody") == "got");
}
#endif

// The refusal is produced; 10049 cannot be (Wine, like Linux, connects to
// 0.0.0.0 where Windows refuses with it), so its number is checked as given.
TEST_CASE("a datagram refused by a closed port on 127.0.0.1 does not stop the next one")
{
    std::uint16_t port = Listener().port();  // a free port nothing listens on any more
    DatagramSocket socket;
    REQUIRE(socket.open(std::array<std::uint8_t, 4>{127, 0, 0, 1}, port) == 0);
    CHECK(socket.send("041#S1#Anagrafe") == 0);
    int refusal = 0;  // as the socket's pending error or on the next read, however the system reports it
    waitFor([&] {
        refusal = socket.takePendingError();
        if (refusal == 0 && (refusal = socket.discardOne()) == DatagramSocket::kNoneWaiting)
            refusal = 0;
        return refusal != 0;
    }, 5s);
    CHECK(isRefusal(refusal));

    Listener listener(port);
    CHECK(socket.send("042#S1#Anagrafe") == 0);
    CHECK(listener.receive() == "042#S1#Anagrafe");

#ifdef _WIN32
    const std::array refusals{WSAECONNRESET, WSAECONNREFUSED};  // Windows's name for it, and Wine's
    CHECK(windowsSocketsError(WSAEADDRNOTAVAIL) == 10049);
#else
    const std::array refusals{ECONNREFUSED, ECONNRESET};
    CHECK(windowsSocketsError(EADDRNOTAVAIL) == 10049);
#endif
    CHECK((isRefusal(refusals[0]) && isRefusal(refusals[1]) && windowsSocketsError(refusals[0]) == 10054));
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
    if (argc >= 6 && args[1] == "child")
        return child(args);
    return doctest::Context(argc, argv).run();
}

// The platform layer under real processes, files and sockets. The same
// program runs natively and, cross compiled, under Wine
// (scripts/windows-tests.sh); it starts itself again for the other processes.
// The client started twice is tst_client_twice's.

#include "platform/DatagramSocket.h"
#include "platform/ExclusiveFile.h"
#include "platform/InstanceGuard.h"

#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#ifdef _WIN32
#include <process.h>
#include <winsock2.h>
#include <windows.h>
using Socket = SOCKET;
using Length = int;
using Timeout = DWORD;
const Timeout kReceiveTimeout = 5000;
constexpr bool kWindows = true;
#else
#include <arpa/inet.h>
#include <csignal>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
using Socket = int;
using Length = socklen_t;
using Timeout = timeval;
const Timeout kReceiveTimeout{5, 0};
constexpr bool kWindows = false;
#define closesocket close
#endif

using namespace tq3::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A folder of its own, open to every user, removed at the end.
struct TempDir final {
    inline static int count = 0;
    fs::path path = fs::temp_directory_path()
        / ("tq3platform-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-"
           + std::to_string(++count));
    TempDir() { fs::create_directories(path), fs::permissions(path, fs::perms::all); }
    ~TempDir() { std::error_code ignored; fs::remove_all(path, ignored); }
};

void writeFile(const fs::path &file, const std::string &bytes) { std::ofstream(file, std::ios::binary) << bytes; }

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 30s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !condition(); std::this_thread::sleep_for(2ms)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
    return true;
}

// What `file` holds once it holds something.
std::string waitForContent(const fs::path &file)
{
    std::string content;
    waitFor([&] {
        std::ifstream in(file, std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !content.empty();
    });
    return content;
}

// This program again, with `arguments`; killed (SIGKILL, TerminateProcess) and waited for at the end.
class Child final {
public:
    explicit Child(std::vector<std::string> arguments)
    {
#ifdef _WIN32
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
#else
        const char *self = "/proc/self/exe";
#endif
        arguments.insert(arguments.begin(), self);
        std::vector<char *> argv;
        for (std::string &argument : arguments)  // Windows joins them into one command line
            argv.push_back((argument = kWindows ? '"' + argument + '"' : argument).data());
        argv.push_back(nullptr);
#ifdef _WIN32
        m_process = _spawnv(_P_NOWAIT, self, argv.data());
#else
        pid_t pid = -1;
        m_process = ::posix_spawn(&pid, self, nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
#endif
    }
    ~Child() { kill(); }
    void kill()
    {
#ifdef _WIN32
        if (m_process != -1 && TerminateProcess(reinterpret_cast<HANDLE>(m_process), 9))
            _cwait(nullptr, m_process, 0);
#else
        if (m_process != -1 && ::kill(static_cast<pid_t>(m_process), SIGKILL) == 0)
            ::waitpid(static_cast<pid_t>(m_process), nullptr, 0);
#endif
        m_process = -1;
    }

private:
    std::intptr_t m_process = -1;
};

// A datagram receiver on 127.0.0.1 (port 0: any free one).
class Listener final {
public:
    explicit Listener(std::uint16_t port = 0)
    {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        Length length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) == 0
            && ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&kReceiveTimeout),
                     sizeof(Timeout));
    }
    ~Listener() { ::closesocket(m_socket); }
    std::uint16_t port() const { return m_port; }
    std::string receive()  // the next datagram, or nothing after a few seconds
    {
        char buffer[2048];
        const auto got = ::recv(m_socket, buffer, sizeof buffer, 0);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }

private:
    Socket m_socket;
    std::uint16_t m_port = 0;
};

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

TEST_CASE("of processes claiming together one holds the guard; killed, it leaves the guard free, to another user too")
{
    TempDir dir;
    const std::string name = "tq3platform-test-" + dir.path.filename().string();  // runs side by side never meet
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
#ifndef _WIN32  // Windows: another user's process needs a real desk
    const bool asNobody = ::geteuid() == 0 && ::getpwnam("nobody");
    if (asNobody) {
        const auto refused = start(dir, "claim", name, "refused", {"nobody"});
        CHECK(waitForContent(dir.path / "refused") == "refused");
    } else {
        MESSAGE("another user's client left out: starting a process as nobody needs root");
    }
#endif
    claimers.clear();  // killed, the holder with them
#ifndef _WIN32
    if (asNobody) {  // a client killed by one user does not keep another user's from starting
        const auto nobody = start(dir, "claim", name, "nobody", {"nobody"});
        CHECK(waitForContent(dir.path / "nobody") == "got");
    }
#endif
    {
        InstanceGuard guard;
        CHECK((guard.claim(name) && guard.isClaimed()));
    }
    CHECK(InstanceGuard().claim(name));  // the guard let go with the object
}

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

#ifdef _WIN32  // Windows's name for a refusal, and Wine's
    CHECK((isRefusal(WSAECONNRESET) && isRefusal(WSAECONNREFUSED) && windowsSocketsError(WSAEADDRNOTAVAIL) == 10049));
#else
    CHECK((isRefusal(ECONNREFUSED) && isRefusal(ECONNRESET) && windowsSocketsError(ECONNREFUSED) == 10054
           && windowsSocketsError(EADDRNOTAVAIL) == 10049));
#endif
}

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    if (argc >= 6 && args[1] == "child")
        return child(args);
    return doctest::Context(argc, argv).run();
}

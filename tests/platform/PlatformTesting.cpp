#include "PlatformTesting.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tq3::platform::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static int count = 0;
#ifdef _WIN32
    const auto pid = GetCurrentProcessId();
#else
    const auto pid = ::getpid();
#endif
    path = fs::temp_directory_path() / ("tq3platform-" + std::to_string(pid) + "-" + std::to_string(++count));
    fs::create_directories(path);
    // Open to a child that runs as another user.
    fs::permissions(path, fs::perms::all);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string contentOf(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path &file, const std::string &bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::string waitForContent(const fs::path &file)
{
    std::string content;
    waitFor([&] { return !(content = contentOf(file)).empty(); });
    return content;
}

#ifdef _WIN32

Child::Child(const std::vector<std::string> &arguments)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\"";
    for (const std::string &argument : arguments)
        line += L" \"" + std::wstring(argument.begin(), argument.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        m_process = reinterpret_cast<std::intptr_t>(info.hProcess);
    }
}

Child::~Child()
{
    kill();
    wait();
}

void Child::kill()
{
    if (m_process != -1)
        TerminateProcess(reinterpret_cast<HANDLE>(m_process), 9);
}

int Child::wait()
{
    if (m_process == -1)
        return -1;
    const auto process = reinterpret_cast<HANDLE>(m_process);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    m_process = -1;
    return static_cast<int>(code);
}

namespace {

SOCKET asSocket(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

void closeSocket(std::intptr_t handle)
{
    closesocket(asSocket(handle));
}

using Length = int;

} // namespace

#else

Child::Child(const std::vector<std::string> &arguments)
{
    std::vector<std::string> all{"/proc/self/exe"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv.front(), nullptr, nullptr, argv.data(), environ) == 0)
        m_process = pid;
}

Child::~Child()
{
    kill();
    wait();
}

void Child::kill()
{
    if (m_process != -1)
        ::kill(static_cast<pid_t>(m_process), SIGKILL);
}

int Child::wait()
{
    if (m_process == -1)
        return -1;
    int status = 0;
    ::waitpid(static_cast<pid_t>(m_process), &status, 0);
    m_process = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

void closeSocket(std::intptr_t handle)
{
    ::close(static_cast<int>(handle));
}

int asSocket(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

using Length = socklen_t;

} // namespace

#endif

Listener::Listener(std::uint16_t port)
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_socket = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_DGRAM, 0));
    Length length = sizeof address;
    if (::bind(asSocket(m_socket), reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(asSocket(m_socket), reinterpret_cast<sockaddr *>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
#ifdef _WIN32
    DWORD timeout = 5000;
#else
    timeval timeout{5, 0};
#endif
    ::setsockopt(asSocket(m_socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof timeout);
}

Listener::~Listener()
{
    closeSocket(m_socket);
}

std::string Listener::receive()
{
    char buffer[2048];
    const auto got = ::recv(asSocket(m_socket), buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

} // namespace tq3::platform::test

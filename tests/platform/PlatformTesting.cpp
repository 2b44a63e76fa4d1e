#include "PlatformTesting.h"

#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
using Socket = SOCKET;
using Length = int;
using Timeout = DWORD;
const Timeout kReceiveTimeout = 5000;
#else
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
using Socket = int;
using Length = socklen_t;
using Timeout = timeval;
const Timeout kReceiveTimeout{5, 0};
#define closesocket close
#endif

namespace tq3::platform::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static int count = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path = fs::temp_directory_path() / ("tq3platform-" + std::to_string(stamp) + "-" + std::to_string(++count));
    fs::create_directories(path);
    fs::permissions(path, fs::perms::all);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void writeFile(const fs::path &file, const std::string &bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !condition(); std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
    return true;
}

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

Child::~Child()
{
    kill();
    wait();
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

void Child::kill()
{
    if (m_process != -1)
        TerminateProcess(reinterpret_cast<HANDLE>(m_process), 9);
}

int Child::wait()
{
    DWORD code = DWORD(-1);
    if (const auto process = reinterpret_cast<HANDLE>(std::exchange(m_process, -1)); process != HANDLE(-1)) {
        WaitForSingleObject(process, INFINITE);
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
    }
    return static_cast<int>(code);
}

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

void Child::kill()
{
    if (m_process != -1)
        ::kill(static_cast<pid_t>(m_process), SIGKILL);
}

int Child::wait()
{
    int status = -1;
    if (const auto pid = static_cast<pid_t>(std::exchange(m_process, -1)); pid != -1)
        ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    const Socket socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    m_socket = static_cast<std::intptr_t>(socket);
    Length length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&kReceiveTimeout), sizeof(Timeout));
}

Listener::~Listener()
{
    ::closesocket(static_cast<Socket>(m_socket));
}

std::string Listener::receive()
{
    char buffer[2048];
    const auto got = ::recv(static_cast<Socket>(m_socket), buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

} // namespace tq3::platform::test

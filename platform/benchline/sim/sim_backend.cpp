// The simulated bench as a backend: creation from the default bench or a
// bench file, the stack switcher's answers, and the control socket through
// which voltaris-sim plugs and unplugs devices while voltaris runs.
#include "sim_world.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using CHotPlug = bool (CSimWorld::*)(unsigned, const std::string&, std::string&);

// The listener thread: one connection at a time, one command per connection.
class CSimControl {
public:
    CSimControl(CSimWorld& world, int listener, int wake)
        : m_world(world), m_listener(listener), m_wake(wake), m_thread([this] { Run(); }) {}
    ~CSimControl() {
        uint64_t one = 1;
        ssize_t written = ::write(m_wake, &one, sizeof one);
        (void)written;  // an eventfd write only fails on overflow
        m_thread.join();
        ::close(m_listener);
        ::close(m_wake);
    }

private:
    void Run() {
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (;;) {
            fds[0].revents = fds[1].revents = 0;
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[0].revents) return;
            // The listener does not block, so a client that went away
            // between poll and accept cannot hold up the shutdown.
            int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            Serve(connection);
            ::close(connection);
        }
    }

    void Serve(int connection) {
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) return;
        std::string line;
        if (!ReadLine(connection, line)) return;
        std::string reply = Apply(line);
        ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    // Reads one command line; gives up after 2 s of silence or at shutdown.
    bool ReadLine(int connection, std::string& line) {
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {connection, POLLIN, 0}};
        char buffer[256];
        while (line.find('\n') == std::string::npos) {
            if (line.size() > 1024 || ::poll(fds, 2, 2000) <= 0 || fds[0].revents) return false;
            ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return !line.empty();
            line.append(buffer, static_cast<size_t>(got));
        }
        line.resize(line.find('\n'));
        return true;
    }

    // "show [CONTROLLER]" or "unplug|plug|cycle CONTROLLER AT" -> the reply,
    // ending in "ok" or "error: ...".
    std::string Apply(const std::string& line) {
        std::istringstream stream(line);
        std::vector<std::string> words;
        for (std::string word; stream >> word;) words.push_back(word);
        std::optional<unsigned> controller;
        if (words.size() >= 2) {
            if (words[1].empty() || words[1].size() > 3 ||
                words[1].find_first_not_of("0123456789") != std::string::npos)
                return "error: bad controller index \"" + words[1] + "\"\n";
            controller = static_cast<unsigned>(std::stoul(words[1]));
        }
        std::string error;
        std::lock_guard lock(m_world.Mutex);
        if (!words.empty() && words[0] == "show" && words.size() <= 2) {
            std::string text = m_world.Show(controller, error);
            return error.empty() ? text + "ok\n" : "error: " + error + "\n";
        }
        if (words.size() != 3) return "error: bad command \"" + line + "\"\n";
        static const std::pair<const char*, CHotPlug> kCommands[] = {
            {"unplug", &CSimWorld::Unplug}, {"plug", &CSimWorld::Plug}, {"cycle", &CSimWorld::PowerCycle}};
        for (const auto& [name, action] : kCommands)
            if (words[0] == name)
                return (m_world.*action)(*controller, words[2], error) ? "ok\n" : "error: " + error + "\n";
        return "error: unknown command \"" + words[0] + "\"\n";
    }

    CSimWorld& m_world;
    int m_listener;
    int m_wake;
    std::thread m_thread;
};

class CSimBackend : public CBLBackend {
public:
    explicit CSimBackend(std::unique_ptr<CSimWorld> world) : m_world(std::move(world)) {}
    ~CSimBackend() override { m_control.reset(); }  // the thread stops before the world goes

    CXhciBenchline* CreateBenchline() override { return SimCreateBench(*m_world); }

    std::vector<std::string> HostIds() override {
        std::lock_guard lock(m_world->Mutex);
        std::vector<std::string> ids;
        for (const auto& controller : m_world->Controllers) ids.push_back(controller->HostId);
        return ids;
    }

    int32_t SwitchStack(EBLSwitchRequest request, const std::string& hostId) override {
        static constexpr const char* kTargets[] = {"list", "select", "stack", "stack"};
        std::lock_guard lock(m_world->Mutex);
        const char* method = request == BL_SWITCH_CLEANUP ? "CleanupRailswap" : "InitRailswap";
        const CSimFault* fault = m_world->TakeFault(method, [&](std::string& target, std::string& args) {
            target = kTargets[request];
            if (request == BL_SWITCH_SELECT) args = hostId;
        });
        if (fault) return fault->Status;
        if (request == BL_SWITCH_LIST) return m_world->Controllers.empty() ? -1 : 0;
        if (request == BL_SWITCH_SELECT) {
            for (const auto& controller : m_world->Controllers)
                if (controller->HostId == hostId) return 0;
            return -1;
        }
        return 0;
    }

    CSimWorld& World() { return *m_world; }

    void StartControl() {
        if (m_control) return;
        std::string name = SimControlName();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (name.size() + 1 > sizeof address.sun_path) {
            std::fprintf(stderr, "voltaris: VOLTARIS_INSTANCE is too long for the simulated bench's control socket\n");
            return;
        }
        std::memcpy(address.sun_path + 1, name.data(), name.size());  // abstract: leading NUL, no file
        socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int wake = ::eventfd(0, EFD_CLOEXEC);
        if (listener < 0 || wake < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener, 8) != 0) {
            std::fprintf(stderr, "voltaris: cannot open the simulated bench's control socket %s: %s\n", name.c_str(),
                         std::strerror(errno));
            if (listener >= 0) ::close(listener);
            if (wake >= 0) ::close(wake);
            return;
        }
        m_control = std::make_unique<CSimControl>(*m_world, listener, wake);
    }

private:
    std::unique_ptr<CSimWorld> m_world;
    std::unique_ptr<CSimControl> m_control;
};

CSimBackend* AsSim(CBLBackend* backend) { return dynamic_cast<CSimBackend*>(backend); }

bool Command(CBLBackend* backend, CHotPlug action, unsigned controller, const std::string& at, std::string& error) {
    CSimBackend* sim = AsSim(backend);
    if (!sim) {
        error = "not a simulated bench";
        return false;
    }
    std::lock_guard lock(sim->World().Mutex);
    return (sim->World().*action)(controller, at, error);
}

}  // namespace

std::string SimControlName() {
    const char* instance = std::getenv("VOLTARIS_INSTANCE");
    std::string name = "voltaris-sim";
    if (instance && *instance) name += std::string("-") + instance;
    return name;
}

std::unique_ptr<CBLBackend> BLSimCreateFromText(const std::string& text, const std::string& sourceName,
                                                std::string& error) {
    auto world = std::make_unique<CSimWorld>();
    if (!SimLoadBench(text, sourceName, *world, error)) return nullptr;
    SimCreateObjects(*world);
    return std::make_unique<CSimBackend>(std::move(world));
}

std::unique_ptr<CBLBackend> BLSimCreateDefault() {
    std::string error;
    auto backend = BLSimCreateFromText(kSimDefaultBench, "(default bench)", error);
    if (!backend) std::abort();  // the built-in bench is tested to load
    return backend;
}

std::unique_ptr<CBLBackend> BLSimCreateFromFile(const std::string& path, std::string& error) {
    // Read with stdio, which tells an empty file (a bench without controllers)
    // from one that cannot be read, a folder among them.
    auto fail = [&] {
        error = "bench file " + path + ": cannot read it: " + std::strerror(errno);
        return nullptr;
    };
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return fail();
    std::string text;
    char chunk[65536];
    while (size_t read = std::fread(chunk, 1, sizeof chunk, file.get())) text.append(chunk, read);
    if (std::ferror(file.get())) return fail();
    return BLSimCreateFromText(text, path, error);
}

void BLSimStartControl(CBLBackend* backend) {
    if (CSimBackend* sim = AsSim(backend)) sim->StartControl();
}

bool BLSimUnplug(CBLBackend* backend, unsigned controller, const std::string& at, std::string& error) {
    return Command(backend, &CSimWorld::Unplug, controller, at, error);
}

bool BLSimPlug(CBLBackend* backend, unsigned controller, const std::string& at, std::string& error) {
    return Command(backend, &CSimWorld::Plug, controller, at, error);
}

bool BLSimPowerCycle(CBLBackend* backend, unsigned controller, const std::string& at, std::string& error) {
    return Command(backend, &CSimWorld::PowerCycle, controller, at, error);
}

std::string BLSimShow(CBLBackend* backend) {
    CSimBackend* sim = AsSim(backend);
    if (!sim) return "";
    std::string error;
    std::lock_guard lock(sim->World().Mutex);
    return sim->World().Show(std::nullopt, error);
}

bool BLSimAddFault(CBLBackend* backend, const BLSimFault& fault) {
    CSimBackend* sim = AsSim(backend);
    if (!sim || !SimIsRequestName(fault.Request)) return false;
    CSimFault entry;
    entry.Request = fault.Request;
    if (!fault.Target.empty()) entry.Target = fault.Target;
    if (!fault.Args.empty()) entry.Args = fault.Args;
    entry.Status = fault.Status;
    entry.Count = fault.Count;
    std::lock_guard lock(sim->World().Mutex);
    sim->World().Faults.push_back(std::move(entry));
    return true;
}

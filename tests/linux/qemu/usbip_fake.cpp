// A high-speed USB device or hub of its own, attached to the kernel's USB/IP
// virtual controller through one end of a socket pair; it answers the USB/IP
// submit and unlink messages on the other end and writes every setup packet
// it receives to a log, one line each: "rt rq vvvv iiii llll".
//   usbip_fake device|hub VHCI_PORT LOG
// The device is a boot keyboard, so the kernel's usbhid binds it and polls
// its interrupt endpoint. It accepts SET_FEATURE(TEST_MODE) and then acts as
// a device in a test mode does: it answers nothing more (every transfer,
// the pending interrupt poll included, ends in a protocol error), so a
// driver that still owns it notices and resets it, which the log shows.
// The hub has four empty ports that report honestly: powered, and enabled,
// suspended or in a test mode only while the host sets that; configuring the
// hub again (after a reset) clears them.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kCmdSubmit = 1, kCmdUnlink = 2, kRetSubmit = 3, kRetUnlink = 4;
constexpr int kUsbSpeedHigh = 3;
constexpr unsigned kHubPorts = 4;

const std::vector<uint8_t> kDeviceDescriptor = {18,   1,    0x00, 0x02, 0x00, 0x00, 0x00, 64, 0x09,
                                                0x12, 0x01, 0x00, 0x00, 0x01, 0,    0,    0,  1};
const std::vector<uint8_t> kKeyboardReport = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
const std::vector<uint8_t> kDeviceConfig = {
    9,  2,    34,   0,    1, 1,    0,    0xA0,
    50,  // configuration, remote wake-up
    9,  4,    0,    0,    1, 0x03, 0x01, 0x01,
    0,  // boot keyboard interface
    9,  0x21, 0x11, 0x01, 0, 1,    0x22, static_cast<uint8_t>(kKeyboardReport.size()),
    0,                                   // HID
    7,  5,    0x81, 0x03, 8, 0,    10};  // interrupt IN
const std::vector<uint8_t> kHubDescriptor18 = {18,   1,    0x00, 0x02, 0x09, 0x00, 0x01, 64, 0x09,
                                               0x12, 0x02, 0x00, 0x00, 0x01, 0,    0,    0,  1};
const std::vector<uint8_t> kHubConfig = {9, 2, 25,   0,    1, 1,    0, 0xE0, 0,  // configuration, self-powered
                                         9, 4, 0,    0,    1, 0x09, 0, 0,    0,  // hub interface
                                         7, 5, 0x81, 0x03, 1, 0,    12};         // status change endpoint
const std::vector<uint8_t> kHubClassDescriptor = {9, 0x29, kHubPorts, 0x00, 0x00, 1, 0, 0x00, 0xFF};

bool ReadAll(int fd, void* buffer, size_t size) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* buffer, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (size > 0) {
        ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

uint32_t Be(const uint8_t* p) { return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
void PutBe(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

class CFake {
public:
    CFake(bool hub, FILE* log) : m_hub(hub), m_log(log) {
        for (unsigned port = 1; port <= kHubPorts; ++port) m_portStatus[port] = 0x0100;  // power
    }

    bool InTestMode() const { return m_testMode; }

    // Answers one control request: status 0 with the data for an IN
    // request, or -EPIPE for a stall.
    int Control(const uint8_t* setup, std::vector<uint8_t>& data) {
        uint8_t type = setup[0], request = setup[1];
        uint16_t value = static_cast<uint16_t>(setup[2] | setup[3] << 8);
        uint16_t index = static_cast<uint16_t>(setup[4] | setup[5] << 8);
        uint16_t length = static_cast<uint16_t>(setup[6] | setup[7] << 8);
        std::fprintf(m_log, "%02x %02x %04x %04x %04x\n", type, request, value, index, length);
        std::fflush(m_log);
        unsigned port = index & 0xFF;
        data.clear();
        if (m_testMode) return -EPROTO;
        if (!m_hub && type == 0x00 && request == 3 && value == 2) {
            m_testMode = true;  // after this status stage
            return 0;
        }
        if (m_hub && type == 0x00 && request == 9)  // configured anew: the hub was reset
            for (unsigned p = 1; p <= kHubPorts; ++p) m_portStatus[p] = 0x0100;
        if (type == 0x80 && request == 6 && value == 0x0100) data = m_hub ? kHubDescriptor18 : kDeviceDescriptor;
        else if (type == 0x80 && request == 6 && value == 0x0200) data = m_hub ? kHubConfig : kDeviceConfig;
        else if (type == 0x80 && request == 0) data = {m_hub ? uint8_t{1} : uint8_t{0}, 0};
        else if (!m_hub && type == 0x81 && request == 6 && value >> 8 == 0x22) data = kKeyboardReport;
        else if (m_hub && type == 0xA0 && request == 6 && value >> 8 == 0x29) data = kHubClassDescriptor;
        else if (m_hub && type == 0xA0 && request == 0) data = {0, 0, 0, 0};
        else if (m_hub && type == 0xA3 && request == 0 && port >= 1 && port <= kHubPorts)
            data = {static_cast<uint8_t>(m_portStatus[port]), static_cast<uint8_t>(m_portStatus[port] >> 8), 0, 0};
        else if (m_hub && type == 0x23 && port >= 1 && port <= kHubPorts) PortFeature(request, value, port);
        else if (type & 0x80) return -EPIPE;  // strings, qualifier and the rest: stall
        if (data.size() > length) data.resize(length);
        return 0;
    }

private:
    // Enable, suspend, power and test state of a hub port; a port with
    // nothing connected is never enabled by a reset, and change bits are
    // taken and forgotten.
    void PortFeature(uint8_t request, uint16_t feature, unsigned port) {
        uint16_t bit = feature == 1 ? 0x0002
            : feature == 2          ? 0x0004
            : feature == 8          ? 0x0100
            : feature == 21         ? 0x0800
                                    : 0;
        if (request == 3 && feature != 1) m_portStatus[port] |= bit;
        if (request == 1) m_portStatus[port] &= static_cast<uint16_t>(~bit);
    }

    bool m_hub;
    bool m_testMode = false;
    FILE* m_log;
    uint16_t m_portStatus[kHubPorts + 1] = {};
};

bool Reply(int fd, uint32_t command, uint32_t seqnum, int32_t status, uint32_t length,
           const std::vector<uint8_t>& data = {}) {
    uint8_t reply[48] = {};
    PutBe(reply, command);
    PutBe(reply + 4, seqnum);
    PutBe(reply + 20, static_cast<uint32_t>(status));
    PutBe(reply + 24, length);
    return WriteAll(fd, reply, sizeof reply) && (data.empty() || WriteAll(fd, data.data(), data.size()));
}

int Serve(int fd, CFake& fake) {
    uint8_t header[48];
    std::vector<uint32_t> polls;  // interrupt IN transfers left pending: there is never a key press
    while (ReadAll(fd, header, sizeof header)) {
        uint32_t command = Be(header), seqnum = Be(header + 4), direction = Be(header + 12), ep = Be(header + 16);
        if (command == kCmdUnlink) {
            uint32_t target = Be(header + 20);
            polls.erase(std::remove(polls.begin(), polls.end(), target), polls.end());
            if (!Reply(fd, kRetUnlink, seqnum, -ECONNRESET, 0)) return 1;
            continue;
        }
        if (command != kCmdSubmit) return 1;
        uint32_t length = Be(header + 24);
        std::vector<uint8_t> out(direction == 0 ? length : 0);
        if (!out.empty() && !ReadAll(fd, out.data(), out.size())) return 1;
        if (ep != 0) {
            if (fake.InTestMode()) {
                if (!Reply(fd, kRetSubmit, seqnum, -EPROTO, 0)) return 1;
            } else {
                polls.push_back(seqnum);
            }
            continue;
        }
        std::vector<uint8_t> data;
        int status = fake.Control(header + 40, data);
        if (!Reply(fd, kRetSubmit, seqnum, status, direction == 1 ? static_cast<uint32_t>(data.size()) : length,
                   direction == 1 ? data : std::vector<uint8_t>{}))
            return 1;
        if (fake.InTestMode()) {
            // The polls a driver left pending now fail, as on a real bus.
            for (uint32_t poll : polls)
                if (!Reply(fd, kRetSubmit, poll, -EPROTO, 0)) return 1;
            polls.clear();
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "device") != 0 && std::strcmp(argv[1], "hub") != 0)) {
        std::fprintf(stderr, "usage: usbip_fake device|hub VHCI_PORT LOG\n");
        return 2;
    }
    FILE* log = std::fopen(argv[3], "w");
    int pair[2];
    if (!log || ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        std::perror("usbip_fake");
        return 1;
    }
    // The kernel takes the socket by its descriptor number in this process.
    unsigned port = static_cast<unsigned>(std::stoul(argv[2]));
    std::string attach = std::to_string(port) + " " + std::to_string(pair[0]) + " " +
        std::to_string(0x00010001u + port) + " " + std::to_string(kUsbSpeedHigh);
    FILE* file = std::fopen("/sys/devices/platform/vhci_hcd.0/attach", "w");
    if (!file || std::fputs(attach.c_str(), file) < 0 || std::fclose(file) != 0) {
        std::perror("usbip_fake: attach");
        return 1;
    }
    ::close(pair[0]);
    CFake fake(std::strcmp(argv[1], "hub") == 0, log);
    return Serve(pair[1], fake);
}

// The linux bench: the machine's own USB host controllers, driven through the
// kernel's usbfs interface (/dev/bus/usb/BBB/DDD, USBDEVFS_CONTROL) while the
// kernel's own drivers keep serving them. Controllers, hubs and devices are
// read from sysfs. The usbfs and sysfs writes go through CLxSystem, so tests
// can run the backend on a fake tree.
#pragma once

#include "benchline/backend.h"

#include <cstdint>
#include <memory>
#include <string>

// Failure statuses of the linux bench.
constexpr BLSTATUS BL_LX_E_ERRNO = static_cast<BLSTATUS>(0x80002000u);        // | errno of a usbfs or sysfs call
constexpr BLSTATUS BL_LX_E_UNSUPPORTED = static_cast<BLSTATUS>(0x80002100u);  // cannot be done through usbfs
constexpr BLSTATUS BL_LX_E_NOT_FOUND = static_cast<BLSTATUS>(0x80002101u);    // no such controller or object
constexpr BLSTATUS BL_LX_E_NOT_BACK = static_cast<BLSTATUS>(0x80002102u);     // controller did not come back
constexpr BLSTATUS BL_LX_E_REFUSED = static_cast<BLSTATUS>(0x80002103u);      // the port cannot take it (why: stderr)
// It would stop what the machine itself runs on, and was not confirmed
// (what: stderr and the trace).
constexpr BLSTATUS BL_LX_E_IN_USE = static_cast<BLSTATUS>(0x80002104u);
// GetDriverVersion's answer: no compliance driver, the kernel's own serves.
// Negative with bit 30 set, so it counts as success and no version is checked.
constexpr BLSTATUS BL_LX_I_NO_DRIVER_VERSION = static_cast<BLSTATUS>(0xC0002000u);
// SS_TX_COMPLIANCE_MODE was taken, but the port is not in Compliance Mode
// yet: the controller enters it by itself at the next receiver detection
// time-out. Counts as success.
constexpr BLSTATUS BL_LX_I_COMPLIANCE_ON_TIMEOUT = static_cast<BLSTATUS>(0xC0002001u);

// The default record of what a run left behind (controllers left in a test
// mode, ports left in Compliance Mode or without power), honoured by the
// next start where it still holds.
constexpr const char* BL_LX_RECORD_PATH = "/run/voltaris/test-mode";

// What a usbfs node is asked beside control transfers.
enum class ELxNodeOp {
    Hold,         // open the node and keep it open (the device stays resumed)
    Drop,         // close a held node (releasing the ports claimed through it)
    Reset,        // USBDEVFS_RESET: the kernel resets the device and keeps it configured
    Detach,       // USBDEVFS_DISCONNECT of interface arg: its kernel driver lets go
    Attach,       // USBDEVFS_CONNECT of interface arg: the kernel drivers may bind again
    ClaimPort,    // USBDEVFS_CLAIM_PORT of hub port arg through the held node
    ReleasePort,  // USBDEVFS_RELEASE_PORT of hub port arg
};

// A USB setup packet.
struct CLxSetup {
    uint8_t RequestType = 0;
    uint8_t Request = 0;
    uint16_t Value = 0;
    uint16_t Index = 0;
    uint16_t Length = 0;
};

class CLxSystem {
public:
    virtual ~CLxSystem() = default;
    // One control transfer on the usbfs node of the device with that bus and
    // device number; data holds Length bytes. Bytes moved, or -errno.
    virtual int Control(unsigned bus, unsigned device, const CLxSetup& setup, uint8_t* data) = 0;
    // Writes text to a sysfs attribute (a driver's bind or unbind); 0 or -errno.
    virtual int WriteAttribute(const std::string& path, const std::string& text) = 0;
    // One of the node operations above on the device's usbfs node; 0 or -errno.
    virtual int Node(ELxNodeOp op, unsigned bus, unsigned device, unsigned arg) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
    // Tells the user something the bench could not do or had to do
    // differently: one line, on stderr on a machine.
    virtual void Report(const std::string& line) = 0;
};

// The linux bench on a sysfs tree below sysfsRoot ("/sys" on a machine),
// with the mount, swap and route tables below procRoot. recordPath is the
// record of what a run left behind (empty: none kept); what an earlier run
// left there is set right at once.
std::unique_ptr<CBLBackend> BLLinuxCreate(std::unique_ptr<CLxSystem> system, const std::string& sysfsRoot,
                                          const std::string& recordPath = "", const std::string& procRoot = "/proc");

// The bench on this machine's /sys and /dev/bus/usb; null with one error
// line when it cannot be used (not root). Prints its warning on stderr.
std::unique_ptr<CBLBackend> BLLinuxCreateReal(std::string& error);

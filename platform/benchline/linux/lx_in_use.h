// What the machine itself runs on, as /proc and sysfs tell it: mounted file
// systems and swap, keyboards and mice, and the network interfaces that
// carry a default route, each with the sysfs devices it depends on. Before
// a request stops a controller or takes devices from their drivers, the
// bench looks for them below what the request touches.
#pragma once

#include <string>
#include <vector>

struct CLxInUse {
    std::string What;                  // "/dev/sda1 mounted on /", "the keyboard 046d:c52b"
    std::vector<std::string> Devices;  // canonical sysfs directories it depends on
};

// One line of /proc/self/mountinfo.
struct CLxMount {
    unsigned Major = 0, Minor = 0;  // the file system's device; major 0 has none of its own
    std::string MountPoint;
    std::string Source;  // "/dev/sda1", "tmpfs"
};
std::vector<CLxMount> LxParseMountInfo(const std::string& text);

// One line of /proc/swaps.
struct CLxSwap {
    std::string Name;  // "/dev/sda2", "/swapfile"
    bool File = false;
};
std::vector<CLxSwap> LxParseSwaps(const std::string& text);

// The interfaces that carry a default route, from the texts of
// /proc/net/route and /proc/net/ipv6_route, each once.
std::vector<std::string> LxParseDefaultRoutes(const std::string& ipv4, const std::string& ipv6);

// What an input device is, from its capabilities/ev, key and rel bitmaps
// (hexadecimal words of bitsPerWord bits, the highest first, as the kernel
// prints unsigned longs).
enum ELxInputKind { LX_INPUT_OTHER, LX_INPUT_KEYBOARD, LX_INPUT_MOUSE };
ELxInputKind LxInputKind(const std::string& ev, const std::string& key, const std::string& rel,
                         unsigned bitsPerWord = sizeof(unsigned long) * 8);

// The texts of what depends on a device in or below one of dirs (canonical
// sysfs directories), each once, in the order of inUse.
std::vector<std::string> LxFoundBelow(const std::vector<CLxInUse>& inUse, const std::vector<std::string>& dirs);

// What lies in or below dir, read afresh: LxFoundBelow over LxReadInUse.
std::vector<std::string> LxInUseBelow(const std::string& sysfsRoot, const std::string& procRoot,
                                      const std::string& dir);

// Reads them from procRoot ("/proc") and sysfsRoot ("/sys"). Only /proc and
// sysfs are read: no mount point is touched, so a hung network file
// system cannot hang the bench.
std::vector<CLxInUse> LxReadInUse(const std::string& sysfsRoot, const std::string& procRoot);

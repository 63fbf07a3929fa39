#include "lx_in_use.h"

#include "lx_sysfs.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxFile = 4 << 20;  // more than any mount table holds
constexpr int kMaxDepth = 4;          // loop devices on files on loop devices ...

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text;
    char chunk[16384];
    while (text.size() < kMaxFile && (file.read(chunk, sizeof chunk) || file.gcount() > 0))
        text.append(chunk, static_cast<size_t>(file.gcount()));
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = line.find_first_not_of(" \t", at)) != std::string::npos) {
        size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// The kernel writes a blank, tab, line end or backslash in a path as \ooo.
std::string Unescape(const std::string& text) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) && octal(text[i + 3])) {
            plain += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

bool IsNumber(const std::string& text, const char* digits) {
    return !text.empty() && text.size() <= 16 && text.find_first_not_of(digits) == std::string::npos;
}
const char* const kDecimal = "0123456789";
const char* const kHex = "0123456789abcdefABCDEF";

unsigned long long Hex(const std::string& text) {
    return IsNumber(text, kHex) ? std::strtoull(text.c_str(), nullptr, 16) : 0;
}

// Bit number bit of a bitmap the kernel printed as words, the highest first.
bool BitSet(const std::vector<std::string>& words, unsigned bit, unsigned bitsPerWord) {
    size_t index = bit / bitsPerWord;
    if (index >= words.size()) return false;
    return (Hex(words[words.size() - 1 - index]) >> (bit % bitsPerWord)) & 1;
}

std::string Canonical(const std::string& path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? "" : resolved.string();
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Below(const std::string& path, const std::string& dir) {
    return !dir.empty() &&
        (path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/'));
}

// Gathers the sysfs devices that the block devices, files and interfaces
// of the machine depend on.
class CLxInUseReader {
public:
    CLxInUseReader(const std::string& sysfs, const std::string& proc)
        : m_sysfs(sysfs), m_mounts(LxParseMountInfo(ReadAll(proc + "/self/mountinfo"))) {}

    // A block device's directory, its name being the one in /dev
    // ("sda1", "dm-0", or a device-mapper name from /dev/mapper).
    std::string BlockByName(const std::string& devPath) {
        if (devPath.rfind("/dev/", 0) != 0) return "";
        std::string name = fs::path(devPath).filename().string();
        if (!LxIsPlainName(name)) return "";
        if (std::string dir = Canonical(m_sysfs + "/class/block/" + name); !dir.empty()) return dir;
        if (devPath.rfind("/dev/mapper/", 0) != 0) return "";
        for (const std::string& entry : Entries(m_sysfs + "/class/block"))
            if (LxReadAttribute(m_sysfs + "/class/block/" + entry + "/dm/name") == name)
                return Canonical(m_sysfs + "/class/block/" + entry);
        return "";
    }
    std::string BlockOf(const CLxMount& mount) {
        if (mount.Major != 0) {
            std::string dir =
                Canonical(m_sysfs + "/dev/block/" + std::to_string(mount.Major) + ":" + std::to_string(mount.Minor));
            if (!dir.empty()) return dir;
        }
        return BlockByName(mount.Source);  // btrfs and the like have a device number of their own
    }

    // A block device, what it is built on (device mapper, RAID: its
    // slaves) and, for a loop device, the device its file lies on.
    void AddBlock(const std::string& dir, std::vector<std::string>& devices, int depth = 0) {
        if (dir.empty() || depth > kMaxDepth || std::find(devices.begin(), devices.end(), dir) != devices.end()) return;
        devices.push_back(dir);
        for (const std::string& slave : Entries(dir + "/slaves"))
            AddBlock(Canonical(dir + "/slaves/" + slave), devices, depth + 1);
        std::string backing = LxReadAttribute(dir + "/loop/backing_file");
        if (!backing.empty()) AddFile(backing, devices, depth + 1);
    }
    // The file system a file lies on: the mount with the longest mount
    // point above it.
    void AddFile(const std::string& path, std::vector<std::string>& devices, int depth = 0) {
        const CLxMount* best = nullptr;
        for (const CLxMount& mount : m_mounts)
            if ((mount.MountPoint == "/" || Below(path, mount.MountPoint)) &&
                (!best || mount.MountPoint.size() >= best->MountPoint.size()))
                best = &mount;
        if (best) AddBlock(BlockOf(*best), devices, depth);
    }

    void ReadMounts(std::vector<CLxInUse>& inUse) {
        for (const CLxMount& mount : m_mounts) {
            CLxInUse entry{mount.Source + " mounted on " + mount.MountPoint, {}};
            AddBlock(BlockOf(mount), entry.Devices);
            if (!entry.Devices.empty()) inUse.push_back(entry);
        }
    }
    void ReadSwaps(const std::string& text, std::vector<CLxInUse>& inUse) {
        for (const CLxSwap& swap : LxParseSwaps(text)) {
            CLxInUse entry{swap.File ? "the swap file " + swap.Name : swap.Name + " used as swap", {}};
            if (swap.File) AddFile(swap.Name, entry.Devices);
            else AddBlock(BlockByName(swap.Name), entry.Devices);
            if (!entry.Devices.empty()) inUse.push_back(entry);
        }
    }
    void ReadInputs(std::vector<CLxInUse>& inUse) {
        std::string classDir = m_sysfs + "/class/input";
        for (const std::string& name : Entries(classDir)) {
            if (name.rfind("input", 0) != 0 || !IsNumber(name.substr(5), kDecimal)) continue;
            std::string dir = Canonical(classDir + "/" + name);
            if (dir.empty()) continue;
            std::string caps = dir + "/capabilities/";
            ELxInputKind kind =
                LxInputKind(LxReadAttribute(caps + "ev"), LxReadAttribute(caps + "key"), LxReadAttribute(caps + "rel"));
            if (kind == LX_INPUT_OTHER) continue;
            std::string ids = LxReadAttribute(dir + "/id/vendor") + ":" + LxReadAttribute(dir + "/id/product");
            inUse.push_back({(kind == LX_INPUT_KEYBOARD ? "the keyboard " : "the mouse ") + ids, {dir}});
        }
    }
    void ReadRoutes(const std::string& ipv4, const std::string& ipv6, std::vector<CLxInUse>& inUse) {
        for (const std::string& name : LxParseDefaultRoutes(ipv4, ipv6)) {
            std::string dir = LxIsPlainName(name) ? Canonical(m_sysfs + "/class/net/" + name) : "";
            if (!dir.empty()) inUse.push_back({"the network interface " + name + " with the default route", {dir}});
        }
    }

private:
    std::string m_sysfs;
    std::vector<CLxMount> m_mounts;
};

}  // namespace

std::vector<CLxMount> LxParseMountInfo(const std::string& text) {
    // "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw"
    std::vector<CLxMount> mounts;
    for (const std::string& line : Lines(text)) {
        std::vector<std::string> words = Words(line);
        auto separator = std::find(words.begin() + std::min<std::ptrdiff_t>(6, std::ssize(words)), words.end(), "-");
        if (words.size() < 6 || std::distance(separator, words.end()) < 3) continue;
        std::string device = words[2];
        size_t colon = device.find(':');
        if (colon == std::string::npos || !IsNumber(device.substr(0, colon), kDecimal) ||
            !IsNumber(device.substr(colon + 1), kDecimal))
            continue;
        CLxMount mount;
        mount.Major = static_cast<unsigned>(std::strtoul(device.c_str(), nullptr, 10));
        mount.Minor = static_cast<unsigned>(std::strtoul(device.c_str() + colon + 1, nullptr, 10));
        mount.MountPoint = Unescape(words[4]);
        mount.Source = Unescape(*(separator + 2));
        mounts.push_back(mount);
    }
    return mounts;
}

std::vector<CLxSwap> LxParseSwaps(const std::string& text) {
    // "Filename  Type  Size  Used  Priority", then "/dev/sda2  partition  ..."
    std::vector<CLxSwap> swaps;
    for (const std::string& line : Lines(text)) {
        std::vector<std::string> words = Words(line);
        if (words.size() < 2 || words[0] == "Filename") continue;
        swaps.push_back({Unescape(words[0]), words[1] == "file"});
    }
    return swaps;
}

std::vector<std::string> LxParseDefaultRoutes(const std::string& ipv4, const std::string& ipv6) {
    constexpr unsigned long long kRouteUp = 0x1;
    std::vector<std::string> names;
    auto add = [&names](const std::string& name) {
        if (name != "lo" && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    // "Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT"
    for (const std::string& line : Lines(ipv4)) {
        std::vector<std::string> words = Words(line);
        if (words.size() >= 8 && words[1] == "00000000" && words[7] == "00000000" && IsNumber(words[3], kHex) &&
            (Hex(words[3]) & kRouteUp))
            add(words[0]);
    }
    // "destination prefix source prefix next-hop metric refcount use flags interface"
    for (const std::string& line : Lines(ipv6)) {
        std::vector<std::string> words = Words(line);
        if (words.size() == 10 && words[0] == std::string(32, '0') && words[1] == "00" && IsNumber(words[8], kHex) &&
            (Hex(words[8]) & kRouteUp))
            add(words[9]);
    }
    return names;
}

ELxInputKind LxInputKind(const std::string& ev, const std::string& key, const std::string& rel, unsigned bitsPerWord) {
    constexpr unsigned kEvKey = 1, kEvRel = 2, kRelX = 0, kRelY = 1, kBtnLeft = 0x110;
    if (bitsPerWord == 0 || bitsPerWord > 64) return LX_INPUT_OTHER;
    std::vector<std::string> evWords = Words(ev), keyWords = Words(key), relWords = Words(rel);
    // A keyboard has every key from Esc through the digits and Q to D, as
    // udev decides it.
    bool keyboard = BitSet(evWords, kEvKey, bitsPerWord);
    for (unsigned bit = 1; keyboard && bit < 32; ++bit) keyboard = BitSet(keyWords, bit, bitsPerWord);
    if (keyboard) return LX_INPUT_KEYBOARD;
    bool mouse = BitSet(evWords, kEvRel, bitsPerWord) && BitSet(relWords, kRelX, bitsPerWord) &&
        BitSet(relWords, kRelY, bitsPerWord) && BitSet(keyWords, kBtnLeft, bitsPerWord);
    return mouse ? LX_INPUT_MOUSE : LX_INPUT_OTHER;
}

std::vector<std::string> LxFoundBelow(const std::vector<CLxInUse>& inUse, const std::vector<std::string>& dirs) {
    std::vector<std::string> found;
    for (const CLxInUse& entry : inUse) {
        bool below = std::any_of(entry.Devices.begin(), entry.Devices.end(), [&dirs](const std::string& device) {
            return std::any_of(dirs.begin(), dirs.end(),
                               [&device](const std::string& dir) { return Below(device, dir); });
        });
        if (below && std::find(found.begin(), found.end(), entry.What) == found.end()) found.push_back(entry.What);
    }
    return found;
}

std::vector<CLxInUse> LxReadInUse(const std::string& sysfsRoot, const std::string& procRoot) {
    CLxInUseReader reader(sysfsRoot, procRoot);
    std::vector<CLxInUse> inUse;
    reader.ReadMounts(inUse);
    reader.ReadSwaps(ReadAll(procRoot + "/swaps"), inUse);
    reader.ReadInputs(inUse);
    reader.ReadRoutes(ReadAll(procRoot + "/net/route"), ReadAll(procRoot + "/net/ipv6_route"), inUse);
    return inUse;
}

std::vector<std::string> LxInUseBelow(const std::string& sysfsRoot, const std::string& procRoot,
                                      const std::string& dir) {
    std::string target = Canonical(dir);
    if (target.empty()) return {};
    return LxFoundBelow(LxReadInUse(sysfsRoot, procRoot), {target});
}

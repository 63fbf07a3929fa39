#include <scrivlet/vif_summary.h>

#include "run_time_error.h"
#include "vif_xml.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

constexpr const char* VIF_CONNECTOR_TEXTS[] = {"Type-A", "Type-B", "Type-C"};
constexpr const char* VIF_SPEED_TEXTS[] = {"USB 2", "USB 3 gen 1x1", "USB 3 gen 2x1", "USB 3 gen 1x2", "USB 3 gen 2x2"};
constexpr unsigned int VIF_CONNECTOR_TYPE_A = 0;
constexpr unsigned int VIF_CONNECTOR_TYPE_B = 1;
constexpr unsigned int VIF_CONNECTOR_TYPE_C = 2;
constexpr unsigned int VIF_SPEED_USB2 = 0;
constexpr unsigned int VIF_HUB_MAX_PORT_USB2 = 255;
constexpr unsigned int VIF_HUB_MAX_PORT_USB3 = 15;

// The value of the one field the pattern picks, as a code: a value that
// does not fit in 32 bits, or none that converts, is a fault of the file.
unsigned int UniqueValue(const CVendorInfoFile& file, const char16_t* pattern) {
    const CVIFField field = file.GetUniqueField(pattern);
    std::uint64_t value = 0;
    try {
        value = field.GetULongNumericValue();
    } catch (const std::logic_error&) {  // std::out_of_range, std::invalid_argument
        ThrowRunTimeError("Field '%s' has the value %s, which is not a number of 64 bits.", field.Name(),
                          field.Value());
    }
    if (value > std::numeric_limits<unsigned int>::max())
        ThrowRunTimeError("Field '%s' has the value %s, beyond the range of its code.", field.Name(), field.Value());
    return static_cast<unsigned int>(value);
}

}  // namespace

CVIFSummary::CVIFSummary(EUsbType type, const char* const path) : m_UsbType(type), m_IsValid(false), m_PortNumber(0) {
    Construct(path, VIF_ALL_COMPONENTS);
}

CVIFSummary::CVIFSummary(EUsbType type, const char* const path, std::size_t component)
    : m_UsbType(type), m_IsValid(false), m_PortNumber(0) {
    Construct(path, component);
}

void CVIFSummary::Construct(const char* const path, std::size_t component) {
    switch (m_UsbType) {
    case UsbDevice: InitializeDevice(path, component); break;
    case UsbHub: InitializeHub(path, component); break;
    case UsbHost: InitializeHost(path); break;
    default: ThrowRunTimeError("<Unknown USB Type: %d>", static_cast<int>(m_UsbType));
    }
}

CVIFSummary::CVIFSummary(EUsbType type, const wchar_t* const path) : CVIFSummary(type, Utf16ToUtf8(path).get()) {}

CVIFSummary::CVIFSummary(EUsbType type, const char16_t* const path) : CVIFSummary(type, Utf16ToUtf8(path).get()) {}

CVIFSummary::CVIFSummary(const CVIFSummary& other) = default;
CVIFSummary::CVIFSummary(CVIFSummary&& other) : CVIFSummary(other) {}
CVIFSummary& CVIFSummary::operator=(const CVIFSummary& other) = default;
CVIFSummary& CVIFSummary::operator=(CVIFSummary&& other) { return *this = other; }
CVIFSummary::~CVIFSummary() = default;

void CVIFSummary::Clear() {
    m_IsValid = false;
    m_Path.clear();
    m_Display.clear();
    m_ConnectType.clear();
    m_Speed.clear();
}

bool CVIFSummary::IsValid() const { return m_IsValid; }
CSafeString CVIFSummary::Path() const { return m_Path; }
CSafeString CVIFSummary::Display() const { return m_Display; }
CSafeString CVIFSummary::ConnectType() const { return m_ConnectType; }
CSafeString CVIFSummary::Speed() const { return m_Speed; }
unsigned int CVIFSummary::PortNumber() const { return m_PortNumber; }
EUsbType CVIFSummary::UsbType() const { return m_UsbType; }

CSafeString CVIFSummary::MakeDisplayText(const char* path) {
    CSafeString text = GetFileName(path);
    StripExtension(text);
    return text;
}

template <typename TRules>
bool CVIFSummary::Initialize(const char* const path, std::size_t component, TRules rules) {
    bool accepted = false;
    try {
        Clear();
        const CVendorInfoFile file(path, component);
        const CSafeString display = MakeDisplayText(path);
        const auto [connector, connectText] = GetConnectorType(file);
        const auto [speed, speedText] = GetSpeedString(file, m_UsbType);
        unsigned int portNumber = 0;
        accepted = rules(file, connector, speed, portNumber);
        if (accepted) Set(path, display.get(), connectText.get(), speedText.get(), portNumber);
    } catch (const CQXRunTimeException&) {
        accepted = false;
    }
    if (!accepted) Clear();
    m_IsValid = accepted;
    return accepted;
}

bool CVIFSummary::InitializeDevice(const char* const path) { return InitializeDevice(path, VIF_ALL_COMPONENTS); }

bool CVIFSummary::InitializeDevice(const char* const path, std::size_t component) {
    if (m_UsbType != UsbDevice)
        ThrowRunTimeError("Calling %s, but this is not a Device", "CVIFSummary::InitializeDevice");
    return Initialize(
        path, component, [](const CVendorInfoFile& file, unsigned int connector, unsigned int, unsigned int&) {
            return connector == VIF_CONNECTOR_TYPE_B ||
                (connector == VIF_CONNECTOR_TYPE_C && UniqueValue(file, u"^Type_C_Can_Act_As_Device$") == 1);
        });
}

bool CVIFSummary::InitializeHub(const char* const path) { return InitializeHub(path, VIF_ALL_COMPONENTS); }

bool CVIFSummary::InitializeHub(const char* const path, std::size_t component) {
    if (m_UsbType != UsbHub) ThrowRunTimeError("Calling %s, but this is not a hub", "CVIFSummary::InitializeHub");
    return Initialize(
        path, component,
        [](const CVendorInfoFile& file, unsigned int connector, unsigned int speed, unsigned int& portNumber) {
            const bool connectorPasses = connector == VIF_CONNECTOR_TYPE_A ||
                (connector == VIF_CONNECTOR_TYPE_C && UniqueValue(file, u"^Type_C_Can_Act_As_Host$") == 1 &&
                 UniqueValue(file, u"^Type_C_Port_On_Hub$") == 1);
            portNumber = GetPortNumber(file);
            const unsigned int maxPort = speed == VIF_SPEED_USB2 ? VIF_HUB_MAX_PORT_USB2 : VIF_HUB_MAX_PORT_USB3;
            const bool portPasses = portNumber != 0 && portNumber <= maxPort;
            return connectorPasses || portPasses;
        });
}

bool CVIFSummary::InitializeHost(const char* const path) {
    if (m_UsbType != UsbHost) ThrowRunTimeError("Calling %s, but this is not a host", "CVIFSummary::InitializeHost");
    ThrowRunTimeError("%s: Not implemented yet: path = %s", "CVIFSummary::InitializeHost", path ? path : "");
}

void CVIFSummary::Set(const char* const path, const char* const display, const char* const connectType,
                      const char* const speed, unsigned int portNumber) {
    m_Path.set(path);
    m_Display.set(display);
    m_ConnectType.set(connectType);
    m_Speed.set(speed);
    m_PortNumber = portNumber;
}

void CVIFSummary::Set(const wchar_t* const path, const wchar_t* const display, const wchar_t* const connectType,
                      const wchar_t* const speed, unsigned int portNumber) {
    Set(Utf16ToUtf8(path).get(), Utf16ToUtf8(display).get(), Utf16ToUtf8(connectType).get(), Utf16ToUtf8(speed).get(),
        portNumber);
}

std::tuple<unsigned int, CSafeString> CVIFSummary::GetConnectorType(const CVendorInfoFile& file) {
    const unsigned int code = UniqueValue(file, u"^Connector_Type$");
    if (code >= std::size(VIF_CONNECTOR_TEXTS)) ThrowRunTimeError("<Invalid Connector Type: %u>", code);
    return {code, CSafeString(VIF_CONNECTOR_TEXTS[code])};
}

std::tuple<unsigned int, CSafeString> CVIFSummary::GetSpeedString(const CVendorInfoFile& file, EUsbType type) {
    const char16_t* pattern = nullptr;
    switch (type) {
    case UsbDevice: pattern = u"^Device_Speed$"; break;
    case UsbHub:
    case UsbHost: pattern = u"^Host_Speed$"; break;
    default: ThrowRunTimeError("Invalid device type: %u.", static_cast<unsigned int>(type));
    }
    const unsigned int code = UniqueValue(file, pattern);
    if (code >= std::size(VIF_SPEED_TEXTS)) ThrowRunTimeError("Invalid Device_Speed: %u.", code);
    return {code, CSafeString(VIF_SPEED_TEXTS[code])};
}

unsigned int CVIFSummary::GetPortNumber(const CVendorInfoFile& file) { return UniqueValue(file, u"^Hub_Port_Number$"); }

CSafeString CVIFSummary::GetFileName(const char* const path) {
    if (path == nullptr) return CSafeString();
    const char* separator = std::strrchr(path, '\\');
    return CSafeString(separator ? separator + 1 : path);
}

void CVIFSummary::StripExtension(CSafeString& text) {
    const std::size_t extension = std::strlen(m_VIF_EXTENSION);
    if (text.size() <= extension) return;
    std::string name = text.get();
    const std::size_t start = name.size() - extension;
    for (std::size_t i = 0; i < extension; ++i)
        if (std::tolower(static_cast<unsigned char>(name[start + i])) != m_VIF_EXTENSION[i]) return;
    name.erase(start);
    text.set(name.c_str());
}

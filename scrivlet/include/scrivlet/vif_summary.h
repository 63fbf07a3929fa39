// A device or hub condensed from its Vendor Info File: display name,
// connector type, speed and port number.
#pragma once

#include <scrivlet/export.h>
#include <scrivlet/vendor_info_file.h>

#include <cstdint>
#include <tuple>

enum EUsbType : std::int32_t {
    UsbDevice = 0,
    UsbHub = 1,
    UsbHost = 2,
};

class SCRIVLET_API CVIFSummary {
public:
    // Reads the file for the role; IsValid() tells whether it describes a
    // product of that role. UsbHost and values outside EUsbType throw
    // CQXRunTimeException; nothing a file holds makes the constructor throw.
    CVIFSummary(EUsbType type, const char* const path);
    CVIFSummary(EUsbType type, const wchar_t* const path);
    CVIFSummary(EUsbType type, const char16_t* const path);
    // The summary of one component (counted from 0) of an XML file with
    // several; invalid when the file has no such component.
    CVIFSummary(EUsbType type, const char* const path, std::size_t component);
    CVIFSummary(const CVIFSummary& other);
    // Copies: the source stays as it was.
    CVIFSummary(CVIFSummary&& other);
    CVIFSummary& operator=(const CVIFSummary& other);
    CVIFSummary& operator=(CVIFSummary&& other);
    ~CVIFSummary();

    // Invalid with empty texts; role and port number stay.
    void Clear();
    bool IsValid() const;
    CSafeString Path() const;
    CSafeString Display() const;
    CSafeString ConnectType() const;
    CSafeString Speed() const;
    unsigned int PortNumber() const;
    EUsbType UsbType() const;

    // The text after the last backslash of the path, without a trailing
    // ".txt" in any letter case. Reads no file.
    static CSafeString MakeDisplayText(const char* path);

private:
    bool InitializeDevice(const char* const path);
    bool InitializeHub(const char* const path);
    bool InitializeHost(const char* const path);
    void Set(const char* const path, const char* const display, const char* const connectType, const char* const speed,
             unsigned int portNumber);
    void Set(const wchar_t* const path, const wchar_t* const display, const wchar_t* const connectType,
             const wchar_t* const speed, unsigned int portNumber);
    static std::tuple<unsigned int, CSafeString> GetConnectorType(const CVendorInfoFile& file);
    static std::tuple<unsigned int, CSafeString> GetSpeedString(const CVendorInfoFile& file, EUsbType type);
    static unsigned int GetPortNumber(const CVendorInfoFile& file);
    static CSafeString GetFileName(const char* const path);
    static void StripExtension(CSafeString& text);
    // What the device and hub initialisers share: reads the file, applies the
    // role's rules and stores the outcome.
    void Construct(const char* const path, std::size_t component);
    bool InitializeDevice(const char* const path, std::size_t component);
    bool InitializeHub(const char* const path, std::size_t component);
    template <typename TRules>
    bool Initialize(const char* const path, std::size_t component, TRules rules);

    static constexpr const char* m_VIF_EXTENSION = ".txt";

    EUsbType m_UsbType;
    bool m_IsValid;
    CSafeString m_Path;
    CSafeString m_Display;
    CSafeString m_ConnectType;
    CSafeString m_Speed;
    unsigned int m_PortNumber;
};

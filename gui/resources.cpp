// The dialog templates, the About string and the program icon as data.
#include "gui/resource.h"

#include "dlg/resources.h"

#include <iterator>

namespace {

constexpr uint32_t kTestDialogStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
constexpr uint32_t kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr uint32_t kDefPush = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr uint32_t kGroupBox = BS_GROUPBOX;
constexpr uint32_t kChoice = BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP;
constexpr uint32_t kCheckBox = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr uint32_t kLabel = SS_LEFT;
constexpr uint32_t kList = LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
constexpr uint32_t kCombo = CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
constexpr uint32_t kStatusWindow = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER;
constexpr uint32_t kAddressBox = ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;

constexpr EDlgClass B = DLG_CLASS_BUTTON, E = DLG_CLASS_EDIT, S = DLG_CLASS_STATIC, L = DLG_CLASS_LISTBOX,
                    C = DLG_CLASS_COMBOBOX;

const CDlgItemTemplate kAboutItems[] = {
    {IDC_STATIC, S, "xHCI HS Voltaris  Version 1.3.2.8", {7, 13, 142, 8}, kLabel},
    {1, B, "OK", {178, 7, 50, 14}, kDefPush},
};

const CDlgItemTemplate kMainItems[] = {
    {IDC_TEST, B, "TEST", {33, 107, 50, 14}, kDefPush},
    {IDC_EXIT, B, "Exit", {193, 107, 50, 14}, kPush},
    {IDC_STATIC, B, "Hi-Speed", {7, 4, 112, 60}, kGroupBox},
    {IDC_DEVICE_CHOICE, B, "Device", {15, 12, 74, 17}, kChoice},
    {IDC_HUB_CHOICE, B, "Hub", {15, 29, 74, 17}, kChoice},
    {IDC_HOST_CHOICE, B, "Host Controller/System", {15, 46, 91, 17}, kChoice},
    {IDC_STATIC, B, "SuperSpeed", {7, 68, 112, 27}, kGroupBox},
    {IDC_SS_CHOICE, B, "Host/Hub DSF Ports", {15, 80, 91, 10}, kChoice},
    {IDC_HOST_GROUP, B, "Select Host Controller For Use In Testing", {123, 4, 143, 91}, kGroupBox},
    {IDC_HOST_LIST, L, nullptr, {127, 18, 134, 70}, kList},
};

const CDlgItemTemplate kDeviceTestItems[] = {
    {IDC_DEVICE_EXECUTE, B, "EXECUTE", {181, 103, 50, 14}, kDefPush},
    {IDC_DEVICE_RETURN, B, "Return To Main", {262, 103, 60, 14}, kPush},
    {IDC_DEVICE_COMMAND, C, nullptr, {176, 34, 107, 140}, kCombo},
    {IDC_DEVICE_ENUMERATE, B, "Enumerate Bus", {51, 103, 69, 15}, kPush},
    {IDC_DEVICE_LIST_GROUP, B, "Select Device", {7, 7, 160, 119}, kGroupBox},
    {IDC_DEVICE_LIST, L, nullptr, {9, 18, 155, 78}, kList},
    {IDC_DEVICE_COMMAND_LABEL, S, "Device Command", {176, 23, 73, 9}, kLabel},
    {IDC_DEVICE_CONTROL_GROUP, B, "Device Control", {170, 7, 167, 119}, kGroupBox},
    {IDC_DEVICE_STATUS, E, nullptr, {174, 60, 157, 36}, kStatusWindow},
    {IDC_DEVICE_ADDRESS, E, nullptr, {290, 33, 39, 13}, kAddressBox},
    {IDC_DEVICE_ADDRESS_LABEL, S, "Device Address", {279, 19, 51, 8}, kLabel},
    {IDC_DEVICE_STATUS_LABEL, S, "Status Window", {174, 50, 62, 10}, kLabel},
};

const CDlgItemTemplate kHubTestItems[] = {
    {IDC_HUB_EXECUTE, B, "EXECUTE", {189, 148, 50, 14}, kDefPush},
    {IDC_HUB_RETURN, B, "Return To Main", {269, 148, 60, 14}, kPush},
    {IDC_HUB_LIST, L, nullptr, {11, 18, 162, 42}, kList},
    {IDC_HUB_ENUMERATE, B, "Enumerate Bus", {59, 63, 69, 15}, kPush},
    {IDC_HUB_DOWNSTREAM_LIST, L, nullptr, {11, 90, 161, 39}, kList},
    {IDC_HUB_DEVICE_COMMAND, C, nullptr, {10, 147, 108, 98}, kCombo},
    {IDC_HUB_DEVICE_ADDRESS, E, nullptr, {143, 148, 30, 12}, kAddressBox},
    {IDC_HUB_COMMAND, C, nullptr, {183, 29, 104, 145}, kCombo},
    {IDC_HUB_ADDRESS, E, nullptr, {291, 28, 40, 14}, kAddressBox},
    {IDC_HUB_PORT_COMMAND, C, nullptr, {183, 56, 103, 110}, kCombo},
    {IDC_HUB_DISCONNECT_NOTIFY, B, "Disconnect Notify", {240, 72, 83, 11}, kCheckBox},
    {IDC_HUB_CONTROL_GROUP, B, "Hub Control", {178, 7, 160, 160}, kGroupBox},
    {IDC_HUB_SELECTION_GROUP, B, "Hub Selection", {7, 7, 169, 125}, kGroupBox},
    {IDC_HUB_COMMAND_LABEL, S, "Hub Command", {183, 17, 73, 9}, kLabel},
    {IDC_HUB_STATUS, E, nullptr, {183, 84, 151, 60}, kStatusWindow},
    {IDC_HUB_ADDRESS_LABEL, S, "Address", {291, 17, 51, 8}, kLabel},
    {IDC_HUB_DOWNSTREAM_LABEL, S, "Downstream Devices", {10, 80, 89, 9}, kLabel},
    {IDC_HUB_STATUS_LABEL, S, "Status Window", {183, 73, 52, 9}, kLabel},
    {IDC_HUB_PORT_LABEL, S, "Port", {291, 45, 28, 8}, kLabel},
    {IDC_HUB_PORT_CONTROL_LABEL, S, "Port Control", {183, 45, 70, 10}, kLabel},
    {IDC_STATIC, B, "Downstream Device Control", {7, 133, 169, 34}, kGroupBox},
    {IDC_HUB_DEVICE_ADDRESS_LABEL, S, "Address", {143, 138, 26, 8}, kLabel},
    {IDC_HUB_PORT_NUMBER, C, nullptr, {292, 56, 39, 85}, kCombo},
};

const CDlgItemTemplate kHostTestItems[] = {
    {IDC_HOST_EXECUTE, B, "EXECUTE", {183, 102, 50, 14}, kDefPush},
    {IDC_HOST_RETURN, B, "Return To Main", {259, 102, 59, 14}, kPush},
    {IDC_HOST_DEVICE_LIST, L, nullptr, {10, 18, 154, 46}, kList},
    {IDC_HOST_ENUMERATE, B, "Enumerate Bus", {51, 69, 69, 15}, kPush},
    {IDC_HOST_DEVICE_COMMAND, C, nullptr, {8, 107, 117, 98}, kCombo},
    {IDC_HOST_ADDRESS, E, nullptr, {134, 108, 30, 12}, kAddressBox},
    {IDC_HOST_PORT_COMMAND, C, nullptr, {174, 29, 105, 131}, kCombo},
    {IDC_HOST_DISCONNECT_NOTIFY, B, "Disconnect Notify", {235, 43, 83, 11}, kCheckBox},
    {IDC_HOST_STATUS, E, nullptr, {173, 54, 152, 36}, kStatusWindow},
    {IDC_HOST_DEVICE_GROUP, B, "Select Downstream Device", {7, 7, 159, 85}, kGroupBox},
    {IDC_HOST_PORT_GROUP, B, "Host Port Control", {168, 7, 164, 121}, kGroupBox},
    {IDC_HOST_STATUS_LABEL, S, "Status Window", {174, 45, 52, 9}, kLabel},
    {IDC_HOST_PORT_LABEL, S, "Port", {282, 18, 28, 8}, kLabel},
    {IDC_HOST_PORT_CONTROL_LABEL, S, "Port Control", {174, 18, 70, 8}, kLabel},
    {IDC_HOST_DEVICE_CONTROL_GROUP, B, "Downstream Device Control", {7, 93, 159, 35}, kGroupBox},
    {IDC_HOST_ADDRESS_LABEL, S, "Address", {134, 98, 26, 8}, kLabel},
    {IDC_HOST_PORT_NUMBER, C, nullptr, {285, 28, 40, 63}, kCombo},
};

const CDlgItemTemplate kSSTestItems[] = {
    {IDC_SS_EXECUTE, B, "EXECUTE", {183, 82, 50, 14}, kDefPush},
    {IDC_SS_RETURN, B, "RETURN TO MAIN", {237, 82, 73, 14}, kPush},
    {IDC_SS_LIST_GROUP, B, "SS Host/Hub Selection", {7, 7, 157, 93}, kGroupBox},
    {IDC_SS_TEST_MODE, C, nullptr, {169, 29, 101, 145}, kCombo},
    {IDC_SS_TEST_MODE_LABEL, S, "Test Mode", {168, 17, 73, 9}, kLabel},
    {IDC_SS_PORT_LABEL, S, "Port", {276, 17, 28, 8}, kLabel},
    {IDC_SS_LIST, L, nullptr, {12, 16, 147, 64}, kList},
    {IDC_SS_ENUMERATE, B, "Enumerate Bus", {52, 82, 69, 15}, kPush},
    {IDC_SS_CONTROL_GROUP, B, "Controls", {165, 7, 151, 93}, kGroupBox},
    {IDC_SS_STATUS, E, nullptr, {169, 55, 144, 24}, kStatusWindow},
    {IDC_SS_STATUS_LABEL, S, "Status Window", {169, 45, 52, 9}, kLabel},
    {IDC_SS_PORT_NUMBER, C, nullptr, {275, 29, 38, 145}, kCombo},
};

const CDlgTemplate kTemplates[] = {
    {IDD_ABOUTBOX, "About xHCI HS Voltaris", 235, 63, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
     "MS Sans Serif", 8, kAboutItems},
    {IDD_VOLTARIS_DIALOG, "xHCI Voltaris", 273, 138, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_SETFONT,
     "MS Sans Serif", 8, kMainItems},
    {IDD_DEVICE_TEST, "xHCI HS Voltaris - Device Test", 344, 133, kTestDialogStyle, "MS Sans Serif", 8,
     kDeviceTestItems},
    {IDD_HUB_TEST, "xHCI HS Voltaris - Hub Test", 345, 174, kTestDialogStyle, "MS Sans Serif", 8, kHubTestItems},
    {IDD_HOST_TEST, "xHCI HS Voltaris - Host Test", 339, 135, kTestDialogStyle, "MS Sans Serif", 8, kHostTestItems},
    {IDD_SS_TEST, "SuperSpeed Test Modes", 323, 107, kTestDialogStyle, "MS Sans Serif", 8, kSSTestItems},
};

const CDlgString kStrings[] = {
    {IDS_ABOUTBOX, "&About XHCI HS Voltaris "},
};

const CDlgIcon kIcons[] = {
    {IDR_MAINFRAME, "xHCI Voltaris"},
};

const CDlgResources kResources = {kTemplates, kStrings, kIcons};

}  // namespace

void InstallDialogResources() { DlgSetResources(&kResources); }

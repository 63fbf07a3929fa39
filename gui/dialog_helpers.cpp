#include "gui/dialog_helpers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

int32_t ShowStatus(CEdit* statusWindow, int32_t status, const char* successText, const char* failureText,
                   uint8_t clear) {
    if (statusWindow && clear == 1) statusWindow->Clear();
    if (!successText || !failureText) {
        if (statusWindow) statusWindow->SetWindowText("Invalid Parameter To Status Function");
        return BENCH_E_INDEX;
    }
    if (!statusWindow) return BENCH_E_INDEX;
    statusWindow->SetWindowText(status < 0 ? failureText : successText);
    statusWindow->UpdateWindow();
    return BENCH_OK;
}

int32_t FormatDescriptorBytes(const uint8_t* source, char* output, int32_t count) {
    if (!source || !output) return BENCH_OK;
    size_t length = strnlen(output, DIALOG_TEXT_SIZE);
    for (int32_t i = 0; i < count; ++i) {
        char piece[8];
        int n = std::snprintf(piece, sizeof piece, "%x ", static_cast<unsigned>(source[i]));
        if (length + static_cast<size_t>(n) >= DIALOG_TEXT_SIZE) break;
        std::memcpy(output + length, piece, static_cast<size_t>(n) + 1);
        length += static_cast<size_t>(n);
    }
    return BENCH_OK;
}

namespace {

// Formats a row into a text buffer, cut to its size as printf cuts.
__attribute__((format(printf, 2, 3))) void FormatRow(char (&text)[DIALOG_TEXT_SIZE], const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
}

void DeleteAllRows(CListBox& list) {
    for (int row = list.GetCount() - 1; row >= 0; --row) list.DeleteString(row);
}

// The record of the selected host, or null when there is none.
const HostRecord* SelectedHostRecord(const std::vector<HostRecord>& hosts) {
    uint8_t index = GetSelectedHost();
    return index < hosts.size() ? &hosts[index] : nullptr;
}

}  // namespace

int32_t FillDeviceListBox(CListBox& list, uint8_t port, SpeedFilter filter) {
    DeleteAllRows(list);
    list.InsertString(0, "NONE");
    std::vector<DeviceRecord> devices;
    int32_t status = BuildDeviceList(devices, port, filter);
    char text[DIALOG_TEXT_SIZE];
    for (size_t i = 0; i < devices.size(); ++i) {
        const DeviceRecord& d = devices[i];
        FormatRow(text, "VID/PID 0x%x/%x, Address %d, Port %d", d.Vid, d.Pid, d.Address, d.PhysicalParentPort);
        list.InsertString(static_cast<int>(i) + 1, text);
    }
    list.SetCurSel(0);
    return status;
}

int32_t FillHostListBox(CListBox& list) {
    DeleteAllRows(list);
    std::vector<HostRecord> hosts;
    int32_t status = BuildHostList(hosts);
    char text[DIALOG_TEXT_SIZE];
    for (size_t i = 0; i < hosts.size(); ++i) {
        FormatRow(text, "%s  %d Ports", hosts[i].HostId, hosts[i].PortCount);
        list.InsertString(static_cast<int>(i), text);
    }
    if (hosts.empty()) list.InsertString(0, "No Host Controllers Found");
    return status;
}

int32_t FillHubListBox(CListBox& list, uint8_t port, uint8_t useCurrentHubs, SpeedFilter filter, uint8_t hostRow) {
    DeleteAllRows(list);
    char text[DIALOG_TEXT_SIZE];
    if (hostRow) {
        std::vector<HostRecord> hosts;
        BuildHostList(hosts);
        const HostRecord* host = SelectedHostRecord(hosts);
        FormatRow(text, "HOST: %s", host ? host->HostId : "");
        list.InsertString(0, text);
    } else {
        list.InsertString(0, "NONE");
    }
    std::vector<HubRecord> hubs;
    int32_t status = useCurrentHubs ? RebuildHubRecords(hubs, port, filter) : BuildHubList(hubs, port, filter);
    for (size_t i = 0; i < hubs.size(); ++i) {
        const HubRecord& h = hubs[i];
        if (hostRow) FormatRow(text, "HUB: VID/PID 0x%x/%x, Address %d", h.Vid, h.Pid, h.Address);
        else FormatRow(text, "VID/PID 0x%x/%x, Address %d  %d Ports", h.Vid, h.Pid, h.Address, h.PortCount);
        list.InsertString(static_cast<int>(i) + 1, text);
    }
    list.SetCurSel(0);
    return status;
}

int32_t FillPortCombo(CComboBox& combo, CEdit* statusWindow, uint8_t hubIndex, SpeedFilter filter, uint8_t fromHost) {
    for (int entry = combo.GetCount() - 1; entry >= 0; --entry) combo.DeleteString(entry);
    ShowStatus(statusWindow, 0, "Getting Port Numbers...", "", 1);
    combo.EnableWindow(false);
    combo.UpdateWindow();
    int32_t status = BENCH_OK;
    char text[DIALOG_TEXT_SIZE];
    if (fromHost) {
        std::vector<HostRecord> hosts;
        BuildHostList(hosts);
        if (const HostRecord* host = SelectedHostRecord(hosts)) {
            for (int port = 1; port <= host->PortCount; ++port) {
                bool super = filter != SPEED_ALL && IsHostPortSuperSpeed(static_cast<uint8_t>(port));
                bool wanted =
                    filter == SPEED_ALL || (filter == SPEED_SUPER && super) || (filter == SPEED_USB2 && !super);
                if (!wanted) continue;
                FormatRow(text, "%d", port);
                combo.InsertString(-1, text);
            }
        }
        std::vector<HubRecord> hubs;
        status = BuildHubList(hubs, NO_SELECTION, filter);
    } else {
        if (hubIndex == NO_SELECTION) return BENCH_OK;
        std::vector<HubRecord> hubs;
        status = RebuildHubRecords(hubs, NO_SELECTION, filter);
        int count = hubIndex < hubs.size() ? hubs[hubIndex].PortCount : 0;
        for (int port = 1; port <= count; ++port) {
            FormatRow(text, "%d", port);
            combo.InsertString(-1, text);
        }
    }
    ShowStatus(statusWindow, 0, "", "", 1);
    combo.SetCurSel(0);
    combo.EnableWindow(true);
    combo.UpdateWindow();
    return status;
}

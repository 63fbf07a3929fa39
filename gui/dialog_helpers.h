// Helpers every dialog of the front end shares: the status window writer,
// the descriptor dump and the fillers of the host, hub, device and port
// lists. Rows are placed at explicit positions, so a list keeps the bus
// model's order although its template sorts.
#pragma once

#include "bench/bus_model.h"
#include "dlg/window.h"

#include <cstdint>

// Size of the text buffers the fillers format into and of the dump text.
constexpr int DIALOG_TEXT_SIZE = 256;

// Writes the success or failure text (by the sign of status) into the
// status window and repaints it; clear 1 first sends it the clear request.
// A missing text writes "Invalid Parameter To Status Function"; either fault
// returns BENCH_E_INDEX.
int32_t ShowStatus(CEdit* statusWindow, int32_t status, const char* successText, const char* failureText,
                   uint8_t clear);

// Appends "%x " for each byte to output, a zero-terminated text of
// DIALOG_TEXT_SIZE bytes; bytes that would not fit are left out. Returns 0.
int32_t FormatDescriptorBytes(const uint8_t* source, char* output, int32_t count);

// "NONE", then one row per device of BuildDeviceList; selects row 0.
int32_t FillDeviceListBox(CListBox& list, uint8_t port, SpeedFilter filter);
// One row per controller, or "No Host Controllers Found"; selects nothing.
int32_t FillHostListBox(CListBox& list);
// Row 0 is the selected host ("HOST: ...") with hostRow, else "NONE"; then
// one row per hub, from the current hub list when useCurrentHubs is 1.
int32_t FillHubListBox(CListBox& list, uint8_t port, uint8_t useCurrentHubs, SpeedFilter filter, uint8_t hostRow);
// The port numbers of the selected host (fromHost 1, those of the filter's
// speed) or of the hub at hubIndex (NO_SELECTION leaves the combo empty and
// disabled). Shows "Getting Port Numbers..." while it works.
int32_t FillPortCombo(CComboBox& combo, CEdit* statusWindow, uint8_t hubIndex, SpeedFilter filter, uint8_t fromHost);

#include "railswap/railswap.h"

#include "benchline/backend.h"

#include <string>

namespace {

constexpr const char* kSection = "CommandLineMode";

// The console's request rows: which one is present, and the host entry that
// follows a SelectHostController row.
struct CRequest {
    EBLSwitchRequest Kind = BL_SWITCH_STACK;
    std::string Host;
};

CRequest ReadRequest(const CIniArgs& settings) {
    CRequest request;
    const auto& rows = settings.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].Section != kSection) continue;
        if (rows[i].Key == "SelectHostController") {
            request.Kind = BL_SWITCH_SELECT;
            for (size_t j = i + 1; j < rows.size(); ++j) {
                if (rows[j].Section == kSection) {
                    request.Host = rows[j].Key;
                    break;
                }
            }
            return request;  // selecting wins over a listing row added earlier
        }
        if (rows[i].Key == "ListHostController") request.Kind = BL_SWITCH_LIST;
    }
    return request;
}

std::string HostList(CBLBackend& backend) {
    std::vector<std::string> ids = backend.HostIds();
    std::string text = std::to_string(ids.size()) + "|";
    for (size_t i = 0; i < ids.size(); ++i) text += std::to_string(i) + ": " + ids[i] + "\n";
    return text;
}

void Trace(const char* call, const std::string& what, int32_t result) {
    if (BLTraceEnabled()) BLTrace(std::string(call) + " " + what + " -> " + std::to_string(result));
}

// What the backend's switch answered, as the switcher's result.
ERailswapResult Switch(CBLBackend* backend, EBLSwitchRequest kind, const std::string& host) {
    return backend ? static_cast<ERailswapResult>(backend->SwitchStack(kind, host)) : RAILSWAP_NO_HOST;
}

}  // namespace

ERailswapResult InitRailswap(const CIniArgs& settings, CSafeString& out, int32_t) {
    CRequest request = ReadRequest(settings);
    const char* names[] = {"list", "select", "stack"};
    std::string what = names[request.Kind];
    if (request.Kind == BL_SWITCH_SELECT) what += " " + request.Host;

    CBLBackend* backend = BLBackend();
    ERailswapResult result = Switch(backend, request.Kind, request.Host);
    if (result == RAILSWAP_OK && request.Kind == BL_SWITCH_LIST) out.set(HostList(*backend).c_str());
    Trace("InitRailswap", what, result);
    return result;
}

ERailswapResult CleanupRailswap(const CIniArgs&, CSafeString&, int32_t) {
    ERailswapResult result = Switch(BLBackend(), BL_SWITCH_CLEANUP, "");
    Trace("CleanupRailswap", "stack", result);
    return result;
}

// Placeholder until the simulated bench lands.
#include "benchline/sim.h"

std::unique_ptr<CBLBackend> BLSimCreateDefault() { return nullptr; }
std::unique_ptr<CBLBackend> BLSimCreateFromFile(const std::string& path, std::string& error) {
    error = "bench file " + path + ": simulated bench not built yet";
    return nullptr;
}
std::unique_ptr<CBLBackend> BLSimCreateFromText(const std::string&, const std::string& name, std::string& error) {
    error = "bench file " + name + ": simulated bench not built yet";
    return nullptr;
}
void BLSimStartControl(CBLBackend*) {}
bool BLSimUnplug(CBLBackend*, unsigned, const std::string&, std::string&) { return false; }
bool BLSimPlug(CBLBackend*, unsigned, const std::string&, std::string&) { return false; }
bool BLSimPowerCycle(CBLBackend*, unsigned, const std::string&, std::string&) { return false; }

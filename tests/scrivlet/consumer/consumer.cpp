// Uses each exported class and catches the library's exception, with the
// umbrella header alone.
#include <scrivlet/scrivlet.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const CVendorInfoFile file(argv[1]);
    const CVIFSummary summary(UsbDevice, argv[1]);
    const CSafeString name = CVIFSummary::MakeDisplayText("C:\\lab\\Dev1.txt");
    std::printf("%zu %s %s %s %u\n", file.Count(u"^device_speed$"), summary.Speed().get(), name.get(),
                file.GetUniqueField(L"^Connector_Type$").MakeOutputString().get(),
                file.GetFields("^.*_Speed$")->front().GetNumericValue());
    try {
        file.GetUniqueField("^None$");
    } catch (const CQXRunTimeException& error) {
        std::printf("%s\n", std::strstr(error.what(), "Couldn't find") ? "caught" : "wrong message");
    }
    return summary.IsValid() ? 0 : 1;
}

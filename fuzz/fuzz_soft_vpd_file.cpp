// Soft VPD file reader: MAC= and WWPN= lines into the soft VPD list.
#include "catalog/soft_vpd_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::writeInput(data, size, "tavCNAFID.cfg");
    SoftVpd vpd;
    readCNAVpdFile(vpd, path.c_str(), VPD_PRIMARY);
    return 0;
}

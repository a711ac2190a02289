// GRP reader: header checks, build-string extraction and the version decode.
#include "fuzz/fuzz_support.h"
#include "image/grp_image.h"
#include "common/run_state.h"
#include "image/verify_fw_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::writeInput(data, size, "image.grp");
    CluImage record;
    record.extType = GRPext;
    verifyFwFile(path.c_str(), &record);
    isGrpFile(path.c_str());
    isGrpG6File(path.c_str());
    return 0;
}

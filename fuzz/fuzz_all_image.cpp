// ALL and AIF readers: the walk over the chain of sub-images, in both layouts.
#include "fuzz/fuzz_support.h"
#include "image/all_image.h"
#include "common/run_state.h"
#include "image/verify_fw_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const char* name : {"image.all", "image.aif"}) {
        const std::string path = fuzzsupport::writeInput(data, size, name);
        CluImage record;
        record.extType = ALLext;
        verifyFwFile(path.c_str(), &record);
    }
    return 0;
}

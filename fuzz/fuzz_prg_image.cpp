// PRG reader: the header, the version decode and the option-ROM checks, which a boot
// image carries right after its header.
#include "fuzz/fuzz_support.h"
#include "image/prg_image.h"
#include "common/run_state.h"
#include "image/verify_fw_file.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::writeInput(data, size, "image.prg");
    CluImage record;
    record.extType = PRGext;
    verifyFwFile(path.c_str(), &record);

    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    std::uint32_t header[PRG_HEADER_WORDS];
    if (ReadPRGImageHeader(file, header) == 0)
        checkPrgRomDeviceId(file, ROM_DEVICE_ID_F180);
    std::rewind(file);
    std::uint8_t rom[PCI_ROM_DATA_SIZE];
    readPciRomHeader(file, rom);
    std::fclose(file);
    return 0;
}

// The adapter-side object store of a simulated board: named objects with their
// contents, the firmware version texts, the family value (FFV) and what a firmware
// write answers. Read from and written back to the board's JSON.
#pragma once

#include "sim/blob.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dfcsim {

struct ObjectStore {
    std::map<std::string, Blob> objects;
    std::uint8_t prgChangeStatus = 0; // change status after a "/prg" write
    // A "/prg" write goes straight into flash (board key "prgWrite": "inPlace"): its
    // first piece erases the object, which stays partial until its last piece has
    // passed its checks. Otherwise the card collects the pieces and replaces the object
    // whole at the end.
    bool prgInPlace = false;
    bool prgPartial = false; // lasting: an in-place "/prg" write left unfinished
    std::string activeFirmware, flashFirmware;
    bool firmwareGiven = false;    // else both texts follow the read-revision firmware
    std::vector<std::uint8_t> ffv; // at most 32 bytes; empty: none written yet
    bool ffvGiven = false;
    // A write in progress: pieces arrive in order and replace the object only when
    // the last piece has come (not kept across board-file reads). The signature marks
    // are looked for as the pieces arrive; markTail holds the last bytes, in which a
    // mark cut by a piece boundary begins.
    std::string pendingName;
    BlobWriter pending;
    std::string markTail;
    bool missingSignature = false, invalidSignature = false;
};

// Reads "objects", "prgChangeStatus", "prgWrite", "prgPartial", "firmwareVersions" and "ffv" of a board object
// of the board file. Throws std::exception on damaged values, like the rest of the
// board reader.
void readObjectStore(const nlohmann::json& board, ObjectStore& store, const std::string& boardFile);

// Writes the lasting parts (objects, an unfinished "/prg", FFV) back into the board object.
void writeObjectStore(const ObjectStore& store, nlohmann::json& board, BlobSaving& saving);

} // namespace dfcsim

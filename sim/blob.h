// Bytes a board keeps (regions, the flash image, load areas, objects) and where they
// live: in memory, or in a binary file beside the board file. A blob never changes once
// made (a change makes a new one), so a blob already in a file is never written again.
// Also the board file's forms of a blob, the library's names for its binary files, and
// the writer that takes a download's bytes as they arrive.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace dfcsim {

struct BlobFile; // a binary file being written

// A blob of more bytes goes to a binary file when the board file is written; a smaller
// one is hexadecimal text in it (one flash sector: configuration regions and VPD stay
// readable and editable in the board file, firmware images go to files).
constexpr std::uint64_t kBlobInlineMax = 4096;
// A blob of up to this many bytes is held in memory; a larger one stays in its file
// and is read from there, piece by piece, when asked.
constexpr std::uint64_t kBlobMemoryMax = 1u << 20;
// Leading bytes of a blob being written that stay at hand for the checks at its end.
constexpr std::size_t kBlobHeadBytes = 256;

struct BlobContent {
    std::vector<std::uint8_t> bytes; // the bytes, when held in memory
    std::uint64_t size = 0;
    std::string path; // the binary file that holds them; empty: none (yet)
    std::string name; // that file's name in the board file's folder
};

// Copies of a blob share its content, which nobody changes.
struct Blob {
    std::shared_ptr<BlobContent> content; // null: no bytes
};

// A blob of these bytes, held in memory (none for no bytes).
Blob makeBlob(std::vector<std::uint8_t> bytes);
std::uint64_t blobSize(const Blob& blob);
// Copies up to `length` bytes from `offset` into out; returns how many there were.
// Throws std::runtime_error when the blob's file cannot be read.
std::size_t readBlob(const Blob& blob, std::uint64_t offset, std::size_t length, std::uint8_t* out);
// Whether the two hold the same bytes.
bool sameBytes(const Blob& a, const Blob& b);

// A download's bytes as they arrive: held in memory up to kBlobMemoryMax, beyond that
// streamed to "<name>.tmp" beside the board file, renamed to its final name at the end.
struct BlobWriter {
    std::string fileStem, field;      // where its file goes (see blobFileName)
    std::vector<std::uint8_t> head;   // the first kBlobHeadBytes bytes
    std::vector<std::uint8_t> buffer; // bytes not yet in the file
    std::uint64_t size = 0;
    std::string temporary;            // the file, once there is one
    std::shared_ptr<BlobFile> file;
};

// Starts a writer for a board's field, discarding what it held.
void startBlob(BlobWriter& writer, const std::string& fileStem, const std::string& field);
// Appends bytes. Throws std::runtime_error when its file cannot be written.
void appendBlob(BlobWriter& writer, const std::uint8_t* bytes, std::size_t count);
// The bytes written as a blob (its file complete and named, when it has one); the
// writer is empty again. Throws std::runtime_error when the file cannot be finished.
Blob finishBlob(BlobWriter& writer);
// Drops what the writer held, its temporary file among it.
void discardBlob(BlobWriter& writer);
// Removes the file of a blob finishBlob just made that nobody is going to keep.
void removeBlobFile(const Blob& blob);

// "<folder>/<board-file stem>.<board index>": the start of a board's binary files.
std::string blobFileStem(const std::string& boardFile, std::size_t boardIndex);
// A field's part of a file name: kind and name with any character other than a letter,
// a digit, '-' or '_' written as '_' ("object", "/prg" gives "object-_prg").
std::string blobField(const std::string& kind, const std::string& name = "");
// Whether a name of the board file's folder is one of the library's own binary files
// for that board file: "<stem>.<index>.<field>.<number>.bin", or that with ".tmp".
bool isLibraryBlobName(const std::string& name, const std::string& boardFile);

// A blob as the board file gives it: hexadecimal text, or an object with "hex" and/or
// "text" (bytes in that order), or with "file" (a plain name in the board file's
// folder) and optionally "size" (which the file must hold exactly). Other keys of the
// object are left to the caller. Throws std::runtime_error naming `what`.
Blob blobFromJson(const nlohmann::json& j, const std::string& boardFile, const std::string& what);

// What writing the board file back needs for its blobs.
struct BlobSaving {
    std::string fileStem;        // the board's (blobFileStem)
    std::set<std::string> named; // the file names the new document gives
};
// The blob's form in the board file: hexadecimal text (a line break every
// `bytesPerLine` bytes when nonzero) up to kBlobInlineMax bytes, else {"file", "size"},
// its bytes first written to a new file of the folder (a temporary file renamed into
// place) when they are in none yet. Throws std::runtime_error when that write fails.
nlohmann::json blobJson(const Blob& blob, const std::string& field, BlobSaving& saving,
                        std::size_t bytesPerLine = 0);
// Removes the library's own binary files of the board file (isLibraryBlobName) that
// are not in `keep`; other files are never touched.
void removeUnnamedBlobFiles(const std::string& boardFile, const std::set<std::string>& keep);

} // namespace dfcsim

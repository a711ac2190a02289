// Blobs (see blob.h): their bytes in memory or in binary files beside the board file,
// the board file's forms of them, the writer of a download's bytes, and the names of
// the library's own files.
#include "sim/blob.h"

#include "sim/hex_text.h"
#include "sim/host.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace dfcsim {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kCompareBytes = 64 * 1024;

std::string folderOf(const std::string& boardFile) {
    return fs::path(boardFile).parent_path().string();
}

std::string inFolder(const std::string& boardFile, const std::string& name) {
    return (fs::path(boardFile).parent_path() / name).string();
}

bool digitsOnly(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool fieldCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// A name the board file may give a binary file: one name of its own folder, never a
// path (no separator, no drive, not "." or "..").
bool plainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

bool exists(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

// The first "<stem>.<field>.<n>.bin" for which neither that nor its ".tmp" is there.
std::string freeFileName(const std::string& fileStem, const std::string& field) {
    for (std::uint64_t n = 1;; ++n) {
        const std::string path = fileStem + "." + field + "." + std::to_string(n) + ".bin";
        if (!exists(path) && !exists(path + ".tmp"))
            return path;
    }
}

} // namespace

// A file the library creates, closed when the last owner lets go (a writer dropped
// halfway) unless closed before, with the result checked, to finish it.
struct BlobFile {
    HostFile* handle = nullptr;
    std::string path; // "<final name>.tmp"
    BlobFile(const BlobFile&) = delete;
    BlobFile& operator=(const BlobFile&) = delete;
    explicit BlobFile(std::string temporary) : path(std::move(temporary)) {
        handle = hostCreateFile(path);
        if (handle == nullptr)
            throw std::runtime_error("blob file " + path + " cannot be created");
    }
    ~BlobFile() { hostCloseFile(handle); }
    void write(const std::uint8_t* bytes, std::size_t count) {
        if (count != 0 && !hostWriteFile(handle, bytes, count))
            throw std::runtime_error("blob file " + path + " cannot be written");
    }
    // Closes the file and renames it to its final name (path without ".tmp"); a file
    // that cannot be finished is removed.
    void finish() {
        HostFile* h = handle;
        handle = nullptr;
        const std::string named = path.substr(0, path.size() - 4);
        std::error_code error;
        if (hostCloseFile(h))
            fs::rename(path, named, error);
        else
            error = std::make_error_code(std::errc::io_error);
        if (error) {
            fs::remove(path, error);
            throw std::runtime_error("blob file " + named + " cannot be completed");
        }
    }
};

namespace {

// A new file of the board's field, its temporary name created exclusively.
std::shared_ptr<BlobFile> newBlobFile(const std::string& fileStem, const std::string& field) {
    return std::make_shared<BlobFile>(freeFileName(fileStem, field) + ".tmp");
}

} // namespace

Blob makeBlob(std::vector<std::uint8_t> bytes) {
    Blob blob;
    if (bytes.empty())
        return blob;
    blob.content = std::make_shared<BlobContent>();
    blob.content->size = bytes.size();
    blob.content->bytes = std::move(bytes);
    return blob;
}

std::uint64_t blobSize(const Blob& blob) {
    return blob.content ? blob.content->size : 0;
}

std::size_t readBlob(const Blob& blob, std::uint64_t offset, std::size_t length, std::uint8_t* out) {
    const std::uint64_t size = blobSize(blob);
    if (offset >= size || length == 0)
        return 0;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(length, size - offset));
    const BlobContent& c = *blob.content;
    if (c.bytes.size() == c.size) {
        std::memcpy(out, c.bytes.data() + offset, n);
        return n;
    }
    std::ifstream in(c.path, std::ios::binary);
    in.seekg(std::streamoff(offset));
    in.read(reinterpret_cast<char*>(out), std::streamsize(n));
    if (!in || std::size_t(in.gcount()) != n)
        throw std::runtime_error("blob file " + c.path + " cannot be read");
    return n;
}

bool sameBytes(const Blob& a, const Blob& b) {
    if (blobSize(a) != blobSize(b))
        return false;
    if (a.content == b.content)
        return true;
    std::vector<std::uint8_t> x(kCompareBytes), y(kCompareBytes);
    for (std::uint64_t at = 0; at < blobSize(a); at += kCompareBytes) {
        const std::size_t n = readBlob(a, at, kCompareBytes, x.data());
        if (readBlob(b, at, kCompareBytes, y.data()) != n || std::memcmp(x.data(), y.data(), n) != 0)
            return false;
    }
    return true;
}

void startBlob(BlobWriter& writer, const std::string& fileStem, const std::string& field) {
    discardBlob(writer);
    writer.fileStem = fileStem;
    writer.field = field;
}

void appendBlob(BlobWriter& w, const std::uint8_t* bytes, std::size_t count) {
    if (w.head.size() < kBlobHeadBytes)
        w.head.insert(w.head.end(), bytes, bytes + std::min(count, kBlobHeadBytes - w.head.size()));
    w.size += count;
    if (!w.file && w.size > kBlobMemoryMax) {
        // Too large to hold: from here on the bytes go to a file of the folder.
        w.file = newBlobFile(w.fileStem, w.field);
        w.temporary = w.file->path;
        w.file->write(w.buffer.data(), w.buffer.size());
        w.buffer.clear();
        w.buffer.shrink_to_fit();
    }
    if (w.file && w.buffer.size() + count > kBlobMemoryMax) {
        w.file->write(w.buffer.data(), w.buffer.size());
        w.buffer.clear();
        if (count > kBlobMemoryMax) {
            w.file->write(bytes, count);
            return;
        }
    }
    if (w.buffer.capacity() == 0)
        w.buffer.reserve(std::size_t(std::min<std::uint64_t>(kBlobMemoryMax, 64 * 1024)));
    w.buffer.insert(w.buffer.end(), bytes, bytes + count);
}

Blob finishBlob(BlobWriter& w) {
    if (!w.file) {
        Blob blob = makeBlob(std::move(w.buffer));
        discardBlob(w);
        return blob;
    }
    w.file->write(w.buffer.data(), w.buffer.size());
    w.file->finish();
    const std::string path = w.temporary.substr(0, w.temporary.size() - 4); // without ".tmp"
    Blob blob;
    blob.content = std::make_shared<BlobContent>();
    blob.content->size = w.size;
    blob.content->path = path;
    blob.content->name = fs::path(path).filename().string();
    w.temporary.clear();
    discardBlob(w);
    return blob;
}

void discardBlob(BlobWriter& w) {
    w.file.reset(); // closes it
    if (!w.temporary.empty()) {
        std::error_code error;
        fs::remove(w.temporary, error);
    }
    w.temporary.clear();
    w.head.clear();
    w.buffer = {};
    w.size = 0;
}

void removeBlobFile(const Blob& blob) {
    if (blob.content && !blob.content->path.empty()) {
        std::error_code error;
        fs::remove(blob.content->path, error);
    }
}

std::string blobFileStem(const std::string& boardFile, std::size_t boardIndex) {
    const fs::path file(boardFile);
    return (file.parent_path() / (file.stem().string() + "." + std::to_string(boardIndex))).string();
}

std::string blobField(const std::string& kind, const std::string& name) {
    std::string field = name.empty() ? kind : kind + "-" + name;
    for (char& c : field)
        if (!fieldCharacter(c))
            c = '_';
    return field;
}

bool isLibraryBlobName(const std::string& name, const std::string& boardFile) {
    const std::string prefix = fs::path(boardFile).stem().string() + ".";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string rest = name.substr(prefix.size());
    for (const char* suffix : {".bin.tmp", ".bin"}) {
        const std::size_t n = std::strlen(suffix);
        if (rest.size() > n && rest.compare(rest.size() - n, n, suffix) == 0) {
            rest.resize(rest.size() - n);
            // <index>.<field>.<number>, the field of letters, digits, '-' and '_'.
            const std::size_t first = rest.find('.'), last = rest.rfind('.');
            if (first == std::string::npos || first == last)
                return false;
            const std::string field = rest.substr(first + 1, last - first - 1);
            return digitsOnly(rest.substr(0, first)) && digitsOnly(rest.substr(last + 1)) &&
                   !field.empty() && std::all_of(field.begin(), field.end(), fieldCharacter);
        }
    }
    return false;
}

Blob blobFromJson(const json& j, const std::string& boardFile, const std::string& what) {
    if (j.is_string())
        return makeBlob(hexBytes(j.get<std::string>(), what));
    if (!j.is_object())
        throw std::runtime_error(what + " must be text or an object");
    if (const auto f = j.find("file"); f != j.end()) {
        if (j.contains("hex") || j.contains("text"))
            throw std::runtime_error(what + " gives a file and bytes");
        if (!f->is_string())
            throw std::runtime_error(what + ": \"file\" must be a name");
        const std::string name = f->get<std::string>();
        if (!plainName(name))
            throw std::runtime_error(what + ": file \"" + name + "\" is not a name in the board file's folder");
        const std::string path = inFolder(boardFile, name);
        std::error_code error;
        if (fs::symlink_status(path, error).type() != fs::file_type::regular)
            throw std::runtime_error(what + ": file " + name + " is missing or not an ordinary file");
        const std::uint64_t size = fs::file_size(path, error);
        if (error)
            throw std::runtime_error(what + ": file " + name + " cannot be read");
        if (const auto s = j.find("size"); s != j.end()) {
            if (!s->is_number_unsigned())
                throw std::runtime_error(what + ": \"size\" must be a number of bytes");
            if (s->get<std::uint64_t>() != size)
                throw std::runtime_error(what + ": file " + name + " holds " + std::to_string(size) +
                                         " bytes, not " + std::to_string(s->get<std::uint64_t>()));
        }
        Blob blob;
        if (size == 0)
            return blob;
        blob.content = std::make_shared<BlobContent>();
        blob.content->size = size;
        blob.content->path = path;
        blob.content->name = name;
        if (size <= kBlobMemoryMax) {
            std::vector<std::uint8_t> bytes(size);
            std::ifstream in(path, std::ios::binary);
            in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
            if (!in || std::uint64_t(in.gcount()) != size)
                throw std::runtime_error(what + ": file " + name + " cannot be read");
            blob.content->bytes = std::move(bytes);
        }
        return blob;
    }
    std::vector<std::uint8_t> bytes;
    if (j.contains("hex"))
        bytes = hexBytes(j.at("hex").get<std::string>(), what);
    if (j.contains("text")) {
        const std::string text = j.at("text").get<std::string>();
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return makeBlob(std::move(bytes));
}

json blobJson(const Blob& blob, const std::string& field, BlobSaving& saving, std::size_t bytesPerLine) {
    if (!blob.content)
        return "";
    BlobContent& c = *blob.content;
    if (c.name.empty() && c.size <= kBlobInlineMax)
        return hexText(c.bytes, bytesPerLine);
    if (c.name.empty()) {
        // Written aside and renamed, so that the name never stands for a part of the bytes.
        BlobFile file(freeFileName(saving.fileStem, field) + ".tmp");
        try {
            file.write(c.bytes.data(), c.bytes.size());
        } catch (const std::exception&) {
            hostCloseFile(file.handle);
            file.handle = nullptr;
            std::error_code error;
            fs::remove(file.path, error);
            throw;
        }
        file.finish();
        const std::string path = file.path.substr(0, file.path.size() - 4);
        c.path = path;
        c.name = fs::path(path).filename().string();
    }
    saving.named.insert(c.name);
    return json{{"file", c.name}, {"size", c.size}};
}

void removeUnnamedBlobFiles(const std::string& boardFile, const std::set<std::string>& keep) {
    const std::string folder = folderOf(boardFile);
    std::error_code error;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), error);
    if (error)
        return;
    std::vector<fs::path> unnamed;
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        std::error_code statusError;
        // Only ordinary files; a link of that name is not the library's.
        if (entry.symlink_status(statusError).type() == fs::file_type::regular && !statusError &&
            isLibraryBlobName(name, boardFile) && keep.count(name) == 0)
            unnamed.push_back(entry.path());
    }
    for (const fs::path& path : unnamed)
        fs::remove(path, error);
}

} // namespace dfcsim

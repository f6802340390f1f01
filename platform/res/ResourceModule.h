#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace plat {

// Resource types of a module, numbered as the module format numbers them.
constexpr uint32_t kResourceBitmap = 2;
constexpr uint32_t kResourceString = 6;
constexpr uint32_t kResourceRcdata = 10;

// The resources of one module: a PE image (a resource-only DLL such as a skin's .zsk, or the
// program's built-in module) read by our own code. Resources are addressed by integer type and
// id; the language level is ignored (the first language present is taken), so resources stored
// under any language are found.
//
// Modules come from untrusted files: every offset, size and count is checked against the bytes
// before it is used, and a broken structure gives a failed load or a failed look-up, never a
// read outside the bytes. The module holds its bytes (a private copy, or bytes linked into the
// program) while it is loaded, so the spans that Find returns stay valid until Free or the
// destructor.
//
// Threads: Load*/Free on one thread (the GUI thread); the const look-ups read only and may run
// on any thread while no Load/Free runs.
class ResourceModule {
public:
    // Files larger than this are refused (skins are a few megabytes).
    static constexpr size_t kMaxFileSize = 256u * 1024 * 1024;

    enum class Lookup {
        Found,    // *data holds the resource's bytes
        NotFound, // no resource of this type and id
        BadData,  // the directory names it, but its entry or data lies outside the module
    };

    ResourceModule() = default;
    ~ResourceModule() = default;
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    // Reads the whole file and checks its headers. On failure the module is empty and Error()
    // says why. A module that was loaded before is freed first. A file larger than `maxSize`
    // is refused before anything of it is read.
    bool LoadFromFile(const std::string& path, size_t maxSize = kMaxFileSize);
    // Copies the bytes.
    bool LoadFromBytes(const void* data, size_t size);
    // Uses the bytes in place; they must stay unchanged for the life of the module (bytes
    // linked into the program).
    bool LoadFromStaticBytes(const void* data, size_t size);
    // Drops the bytes; every span handed out before becomes invalid.
    void Free();

    bool IsLoaded() const { return bytes_ != nullptr; }
    // The module's bytes (a file's size); 0 when none is loaded.
    size_t Size() const { return size_; }
    // Why the last load failed; empty after a successful one.
    const std::string& Error() const { return error_; }
    // The path a module was loaded from (empty for bytes).
    const std::string& Path() const { return path_; }

    // Looks up the resource (type, id).
    Lookup Find(uint32_t type, uint32_t id, std::span<const uint8_t>* data) const;
    // Calls `visit` with the integer id and the bytes of every resource of `type` that Find
    // would find, in directory order; named entries and damaged ones are skipped. One pass over
    // the directory, so a module that lists many ids costs no more than their number.
    void
    ForEach(uint32_t type,
            const std::function<void(uint32_t id, std::span<const uint8_t> data)>& visit) const;
    // The same walk over every integer id entry of `type`, with what a look-up of that entry
    // gives: Found with its bytes, or NotFound / BadData (no data) for an entry without
    // languages / one whose entries or data lie outside the module, as Find answers them.
    void ForEachEntry(uint32_t type,
                      const std::function<void(uint32_t id, Lookup lookup,
                                               std::span<const uint8_t> data)>& visit) const;

    // String `id` of the module's string tables (blocks of 16 counted UTF-16 strings, block
    // id / 16 + 1), converted to UTF-8. False when the module has no such string or it is
    // empty (as the platform's string loader, which answers 0 characters for both).
    bool LoadString(uint32_t id, std::string* text) const;

private:
    struct Section {
        uint32_t virtualAddress;
        uint32_t size; // bytes of raw data that lie inside the file
        uint32_t fileOffset;
    };
    struct Directory {
        uint32_t entries; // offset of the first entry in the resource area
        uint32_t count;
    };

    bool Parse();
    bool Fail(const std::string& why);
    // Bytes [rva, rva + length) of the image, or null when they are not all inside one
    // section's raw data.
    const uint8_t* MapRva(uint32_t rva, uint32_t length) const;
    bool ReadDirectory(uint32_t offset, Directory* dir) const;
    // The entry's target for integer `id`: sets *target and *isDirectory; false when absent.
    bool FindEntry(const Directory& dir, uint32_t id, uint32_t* target, bool* isDirectory) const;
    // The data of the first language entry of an id's directory.
    Lookup FirstLanguage(const Directory& dir, std::span<const uint8_t>* data) const;

    std::vector<uint8_t> owned_;
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    std::vector<Section> sections_;
    const uint8_t* resources_ = nullptr; // the resource area (root directory first)
    uint32_t resourcesSize_ = 0;
    std::string error_;
    std::string path_;
};

} // namespace plat

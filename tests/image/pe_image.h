// Reads what the build checks need from a PE image (32- or 64-bit), without
// any Windows header: sections, imports, exports, resources, header fields.
#ifndef TARV_PE_IMAGE_H
#define TARV_PE_IMAGE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace image {

struct Section {
    std::string name;
    uint32_t va = 0, virtualSize = 0, rawOffset = 0, rawSize = 0, characteristics = 0;
};

// One slot of an import address table.
struct ImportSlot {
    std::string dll;
    std::string function;  // "#N" for an import by ordinal; empty for the terminator
};

class PeImage {
public:
    explicit PeImage(const std::string &path);

    bool Valid() const { return valid_; }
    bool Is64() const { return is64_; }
    uint64_t ImageBase() const { return imageBase_; }
    uint32_t EntryPoint() const { return U32(optional_ + 16); }
    uint16_t Subsystem() const { return U16(optional_ + 68); }
    uint16_t Characteristics() const { return U16(fileHeader_ + 18); }
    uint16_t DllCharacteristics() const { return U16(optional_ + 70); }
    uint32_t SectionAlignment() const { return U32(optional_ + 32); }
    uint32_t FileAlignment() const { return U32(optional_ + 36); }
    // Major and minor: operating system, image, subsystem (optional header order).
    uint16_t HeaderVersion(int index) const { return U16(optional_ + 40 + 2 * index); }
    uint32_t DirectoryRva(int index) const;
    uint32_t DirectorySize(int index) const;
    const std::vector<Section> &Sections() const { return sections_; }
    const Section *SectionAt(uint32_t rva) const;

    // Import DLL names in table order, as written.
    std::vector<std::string> ImportDlls() const { return importDlls_; }
    // Every import address table slot by its RVA, terminators included.
    const std::map<uint32_t, ImportSlot> &ImportSlots() const { return importSlots_; }
    // RVA ranges [first, last) that calls into the imports could aim at: the
    // section holding the import directory, and each import address table.
    std::vector<std::pair<uint32_t, uint32_t>> ImportRanges() const;

    std::vector<std::string> ExportNames() const;

    // Raw data of a resource (type, numeric ID, language); empty when absent.
    std::vector<uint8_t> Resource(int type, int id, int language) const;

    // Bytes of the image as loaded at an RVA; empty when the file has none there.
    std::vector<uint8_t> Bytes(uint32_t rva, uint32_t size) const;

private:
    uint16_t U16(size_t at) const { return at + 2 <= bytes_.size() ? bytes_[at] | bytes_[at + 1] << 8 : 0; }
    uint32_t U32(size_t at) const { return U16(at) | (uint32_t)U16(at + 2) << 16; }
    uint64_t U64(size_t at) const { return U32(at) | (uint64_t)U32(at + 4) << 32; }
    std::string Text(size_t at) const;
    // File offset of an RVA, 0 when no section holds it in the file.
    size_t Offset(uint32_t rva) const;
    size_t ResourceEntry(size_t root, size_t directory, int id) const;
    void ReadImports();

    std::vector<uint8_t> bytes_;
    bool valid_ = false;
    bool is64_ = false;
    size_t fileHeader_ = 0, optional_ = 0;
    uint64_t imageBase_ = 0;
    std::vector<Section> sections_;
    std::vector<std::string> importDlls_;
    std::map<uint32_t, ImportSlot> importSlots_;
    std::vector<std::pair<uint32_t, uint32_t>> tables_;
};

}  // namespace image

#endif

#include "tests/image/pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace image {

PeImage::PeImage(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes_.size() < 0x40 || U16(0) != 0x5A4D)
        return;
    size_t pe = U32(0x3C);
    if (U32(pe) != 0x4550)
        return;
    fileHeader_ = pe + 4;
    optional_ = fileHeader_ + 20;
    uint16_t magic = U16(optional_);
    if (magic != 0x10B && magic != 0x20B)
        return;
    is64_ = magic == 0x20B;
    imageBase_ = is64_ ? U64(optional_ + 24) : U32(optional_ + 28);
    size_t table = optional_ + U16(fileHeader_ + 16);
    for (int i = 0; i < U16(fileHeader_ + 2); i++) {
        size_t header = table + 40 * i;
        Section section;
        for (size_t c = 0; c < 8 && bytes_[header + c]; c++)
            section.name += (char)bytes_[header + c];
        section.virtualSize = U32(header + 8);
        section.va = U32(header + 12);
        section.rawSize = U32(header + 16);
        section.rawOffset = U32(header + 20);
        section.characteristics = U32(header + 36);
        sections_.push_back(section);
    }
    valid_ = true;
    ReadImports();
}

uint32_t PeImage::DirectoryRva(int index) const
{
    return U32(optional_ + (is64_ ? 112 : 96) + 8 * index);
}

uint32_t PeImage::DirectorySize(int index) const
{
    return U32(optional_ + (is64_ ? 112 : 96) + 8 * index + 4);
}

const Section *PeImage::SectionAt(uint32_t rva) const
{
    for (const Section &section : sections_) {
        uint32_t size = section.virtualSize ? section.virtualSize : section.rawSize;
        if (rva >= section.va && rva < section.va + size)
            return &section;
    }
    return nullptr;
}

size_t PeImage::Offset(uint32_t rva) const
{
    const Section *section = SectionAt(rva);
    if (!section || rva - section->va >= section->rawSize)
        return 0;
    size_t at = section->rawOffset + (rva - section->va);
    return at < bytes_.size() ? at : 0;
}

std::string PeImage::Text(size_t at) const
{
    std::string text;
    while (at && at < bytes_.size() && bytes_[at])
        text += (char)bytes_[at++];
    return text;
}

void PeImage::ReadImports()
{
    uint32_t directory = DirectoryRva(1);
    if (!directory)
        return;
    size_t pointer = is64_ ? 8 : 4;
    for (size_t descriptor = Offset(directory); descriptor && U32(descriptor + 12); descriptor += 20) {
        std::string dll = Text(Offset(U32(descriptor + 12)));
        importDlls_.push_back(dll);
        uint32_t names = U32(descriptor) ? U32(descriptor) : U32(descriptor + 16);
        uint32_t slots = U32(descriptor + 16);
        uint32_t slot = slots;
        for (uint32_t name = names;; name += pointer, slot += pointer) {
            size_t at = Offset(name);
            uint64_t entry = at ? (is64_ ? U64(at) : U32(at)) : 0;
            ImportSlot &record = importSlots_[slot];
            record.dll = dll;
            if (!entry)
                break;  // the terminator keeps an empty function name
            uint64_t ordinalFlag = is64_ ? 1ull << 63 : 1ull << 31;
            if (entry & ordinalFlag)
                record.function = "#" + std::to_string(entry & 0xFFFF);
            else
                record.function = Text(Offset((uint32_t)entry + 2));
        }
        tables_.push_back({ slots, slot + (uint32_t)pointer });
    }
}

std::vector<std::pair<uint32_t, uint32_t>> PeImage::ImportRanges() const
{
    std::vector<std::pair<uint32_t, uint32_t>> ranges = tables_;
    if (const Section *section = SectionAt(DirectoryRva(1)))
        ranges.push_back({ section->va, section->va + std::max(section->virtualSize, section->rawSize) });
    if (uint32_t iat = DirectoryRva(12))
        ranges.push_back({ iat, iat + DirectorySize(12) });
    return ranges;
}

std::vector<std::string> PeImage::ExportNames() const
{
    std::vector<std::string> names;
    size_t directory = Offset(DirectoryRva(0));
    if (!directory)
        return names;
    uint32_t count = U32(directory + 24);
    size_t table = Offset(U32(directory + 32));
    for (uint32_t i = 0; table && i < count; i++)
        names.push_back(Text(Offset(U32(table + 4 * i))));
    return names;
}

size_t PeImage::ResourceEntry(size_t root, size_t directory, int id) const
{
    int named = U16(directory + 12), numbered = U16(directory + 14);
    for (int i = 0; i < named + numbered; i++) {
        size_t entry = directory + 16 + 8 * i;
        if (U32(entry) == (uint32_t)id)
            return root + (U32(entry + 4) & 0x7FFFFFFF);
    }
    return 0;
}

std::vector<uint8_t> PeImage::Resource(int type, int id, int language) const
{
    size_t root = Offset(DirectoryRva(2));
    if (!root)
        return {};
    size_t types = ResourceEntry(root, root, type);
    size_t names = types ? ResourceEntry(root, types, id) : 0;
    size_t data = names ? ResourceEntry(root, names, language) : 0;
    if (!data)
        return {};
    return Bytes(U32(data), U32(data + 4));
}

std::vector<uint8_t> PeImage::Bytes(uint32_t rva, uint32_t size) const
{
    size_t at = Offset(rva);
    if (!at || at + size > bytes_.size())
        return {};
    return std::vector<uint8_t>(bytes_.begin() + at, bytes_.begin() + at + size);
}

}  // namespace image

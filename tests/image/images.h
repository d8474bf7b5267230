// The Windows images the build checks read, and their disassembly.
#ifndef TARV_IMAGES_H
#define TARV_IMAGES_H

#include <cstdint>
#include <string>
#include <vector>

namespace image {

struct Built {
    std::string arch;     // "i686" or "x86_64"
    std::string bin;      // Setup.exe and its media
    std::string tools;    // the test tools of the same build
    std::string objdump;  // disassembler for that architecture
};

// The shipped i686 build first, then the x86_64 twin where one was built.
// TARV_CHECK_IMAGE=path.exe replaces the Setup.exe of the i686 entry, so
// that the checks can be pointed at any other image.
std::vector<Built> BuiltImages();
std::string SetupExe(const Built &built);

// A memory operand with an absolute address, as the disassembler shows it.
struct Reference {
    uint64_t address = 0;
    bool indexed = false;     // a base or index register is added at run time
    bool branch = false;      // the target of an indirect call or jump
    std::string instruction;  // the disassembler's line, for messages
};

// Every absolute memory reference in the code of an image; *output receives
// the disassembler's output when it fails or prints nothing usable.
std::vector<Reference> AbsoluteReferences(const Built &built, const std::string &path, std::string *output);

}  // namespace image

#endif

// The tev assembler: source text to a qxx image. docs/tev-isa.md
// describes the language.
#ifndef ASSEMBLER_ASSEMBLER_H
#define ASSEMBLER_ASSEMBLER_H

#include "qxx/QxxImage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Assembler {

struct SourceFile {
    std::string name;  // used in messages and to find included files
    std::string text;
};

// Reads a file for .include; false when it cannot be read.
using FileReader = std::function<bool(std::string const& path, std::string& text)>;

struct AssemblerOptions {
    Qxx::ByteOrder byteOrder = Qxx::ByteOrder::Little;
    unsigned monoRegisters = 32;  // r0 .. r31, as mono-registers-size 128
    unsigned polyRegisters = 32;  // p0 .. p31, as poly-registers-size 128
    uint32_t codeAddress = 0;     // unless .code gives one
    uint32_t dataAddress = 0;     // unless .data gives one
    std::vector<std::string> includeDirectories;
    FileReader readFile;  // empty: read from the file system
};

// Assembles the sources as one program, in order (macro files first).
// On failure returns false with every error found as "file:line: message"
// in errors; image is then unspecified.
bool assemble(std::vector<SourceFile> const& sources, AssemblerOptions const& options, Qxx::QxxImage& image,
              std::vector<std::string>& errors);

// Reads the files and assembles them as above.
bool assembleFiles(std::vector<std::string> const& paths, AssemblerOptions const& options,
                   Qxx::QxxImage& image, std::vector<std::string>& errors);

// The most a source file may hold. Anything larger is no source text (a
// FIFO that never ends, /dev/zero) and is not read further.
constexpr size_t k_max_source_size = size_t(64) << 20;

// Reads a whole source file; false, with the system's reason or the size
// limit in reason, when it cannot be read (a directory included).
bool readSourceFile(std::string const& path, std::string& text, std::string& reason);

// Reads a whole regular file as above; false when it cannot be read.
bool readTextFile(std::string const& path, std::string& text);

}  // namespace Assembler

#endif

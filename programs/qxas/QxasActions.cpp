#include "qxas/QxasActions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "assembler/Disassembler.h"
#include "assembler/InstructionHelp.h"
#include "qxas/AtomicFile.h"
#include "qxas/ExitStatus.h"
#include "qxx/QxxReader.h"
#include "qxx/QxxWriter.h"

namespace Qxas {

namespace {

char const* const s_all_instructions = "all";

void printError(std::string const& message) {
    std::fprintf(stderr, "qxas: %s\n", message.c_str());
}

// The whole file; false, with the reason in error, when it cannot be read
// (a directory included) or is too large to be a source.
bool readWholeFile(std::string const& path, std::string& text, std::string& error) {
    std::string reason;
    if (Assembler::readSourceFile(path, text, reason)) return true;
    error = "cannot read " + path + ": " + reason;
    return false;
}

// Reads every file and reports every one that cannot be read.
bool readSources(std::vector<std::string> const& paths, std::vector<Assembler::SourceFile>& sources) {
    bool allRead = true;
    for (std::string const& path : paths) {
        Assembler::SourceFile source{path, std::string()};
        std::string error;
        if (!readWholeFile(path, source.text, error)) {
            printError(error);
            allRead = false;
        }
        sources.push_back(std::move(source));
    }
    return allRead;
}

std::string defaultOutput(std::string const& source) {
    return std::filesystem::path(source).replace_extension(".qxx").string();
}

// Writing the output over one of the inputs would destroy the source.
bool overwritesInput(std::string const& output, std::vector<std::string> const& inputs) {
    for (std::string const& input : inputs) {
        std::error_code ignored;
        if (std::filesystem::equivalent(output, input, ignored)) {
            printError("the output file " + output + " is also an input file");
            return true;
        }
    }
    return false;
}

void printSummary(std::string const& output, Qxx::QxxImage const& image) {
    size_t const symbols = image.symbols.size();
    std::printf("qxas: wrote %s: %zu bytes of code, %zu bytes of data, %u bytes of bss, %zu symbol%s\n",
                output.c_str(), image.code.bytes.size(), image.data.bytes.size(), unsigned(image.bssSize),
                symbols, symbols == 1 ? "" : "s");
}

// A full disk or a closed pipe must not pass for a complete dump.
int writeToStandardOutput(std::string const& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return STATUS_OK;
    printError(std::string("cannot write to standard output: ") + std::strerror(errno));
    return STATUS_IO_ERROR;
}

// A qxx executable given as a source: its default output would be the
// file itself. Says what the file is and how to read it instead.
bool isExecutableGivenAsSource(QxasSettings const& settings) {
    for (std::string const& source : settings.sources) {
        if (std::filesystem::path(source).extension() != ".qxx") continue;
        printError(source + " is not an assembly source but a qxx executable (qxas -d " + source +
                   " shows it as source text)");
        return true;
    }
    return false;
}

}  // namespace

int assembleProgram(QxasSettings const& settings, Assembler::AssemblerOptions const& assemblerOptions) {
    if (settings.output.empty() && isExecutableGivenAsSource(settings)) return STATUS_USAGE;
    std::vector<std::string> inputs = settings.macroFiles;
    inputs.insert(inputs.end(), settings.sources.begin(), settings.sources.end());
    std::string const output =
        settings.output.empty() ? defaultOutput(settings.sources.front()) : settings.output;
    if (overwritesInput(output, inputs)) return STATUS_USAGE;

    std::vector<Assembler::SourceFile> sources;
    if (!readSources(inputs, sources)) return STATUS_IO_ERROR;

    Qxx::QxxImage image;
    std::vector<std::string> errors;
    if (!Assembler::assemble(sources, assemblerOptions, image, errors)) {
        for (std::string const& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
        return STATUS_SOURCE_ERRORS;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!Qxx::writeQxx(image, bytes, error)) {
        printError(output + ": " + error);
        return STATUS_SOURCE_ERRORS;
    }
    if (!writeFileAtomically(output, bytes.data(), bytes.size(), error)) {
        printError("cannot write " + error);
        return STATUS_IO_ERROR;
    }
    if (settings.verbose) printSummary(output, image);
    return STATUS_OK;
}

int dumpProgram(QxasSettings const& settings, Simulator::RegisterCounts const& registers) {
    Qxx::QxxImage image;
    std::string error;
    if (!Qxx::readQxxFile(settings.dump, image, error)) {
        printError(error);
        return STATUS_IO_ERROR;
    }
    std::string const text = Assembler::disassemble(image, registers);
    if (settings.output.empty()) return writeToStandardOutput(text);
    if (overwritesInput(settings.output, {settings.dump})) return STATUS_USAGE;
    if (!writeFileAtomically(settings.output, text.data(), text.size(), error)) {
        printError("cannot write " + error);
        return STATUS_IO_ERROR;
    }
    return STATUS_OK;
}

int describeInstruction(std::string const& mnemonic) {
    if (mnemonic == s_all_instructions) {
        std::fputs(Assembler::instructionSummary().c_str(), stdout);
        return STATUS_OK;
    }
    std::string text;
    if (!Assembler::describeInstruction(mnemonic, text)) {
        printError("unknown instruction '" + mnemonic + "'; --info all lists every instruction");
        return STATUS_USAGE;
    }
    std::fputs(text.c_str(), stdout);
    return STATUS_OK;
}

}  // namespace Qxas

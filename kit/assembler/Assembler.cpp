#include "assembler/Assembler.h"

#include "assembler/AssemblyContext.h"
#include "assembler/Diagnostics.h"
#include "assembler/FirstPass.h"
#include "assembler/ImageBuilder.h"
#include "assembler/Preprocessor.h"
#include "assembler/SecondPass.h"
#include "qxx/ErrorText.h"

namespace Assembler {

namespace {

// The two passes over the statements. The first places labels and sizes
// every statement; the sections are then laid out; the second evaluates
// operands and emits the bytes, which then become the image.
void assembleStatements(std::vector<Statement> const& statements, std::string const& mainFile,
                        AssemblerOptions const& options, Diagnostics& diagnostics, Qxx::QxxImage& image) {
    if (options.codeAddress % 8 != 0)
        diagnostics.error(mainFile,
                          "the code address " + Qxx::hex(options.codeAddress) + " is not a multiple of 8");
    AssemblyContext context(options, diagnostics);
    FirstPass first(context);
    for (Statement const& statement : statements) first.add(statement);
    context.sections.layout(mainFile, context.symbols);
    SecondPass second(context);
    for (Placed const& placed : context.sections.placed()) second.emit(placed);
    ImageBuilder(context, first.constants(), first.entry()).build(mainFile, image);
}

}  // namespace

bool assemble(std::vector<SourceFile> const& sources, AssemblerOptions const& options, Qxx::QxxImage& image,
              std::vector<std::string>& errors) {
    Diagnostics diagnostics;
    Preprocessor preprocessor(options, diagnostics);
    for (SourceFile const& source : sources) preprocessor.addSource(source);
    std::string mainFile = sources.empty() ? std::string("<no source>") : sources.back().name;
    assembleStatements(preprocessor.statements(), mainFile, options, diagnostics, image);
    if (diagnostics.empty()) {
        std::string message;
        if (!Qxx::validateImage(image, message)) diagnostics.error(mainFile, message);
    }
    errors = diagnostics.messages();
    return errors.empty();
}

bool assembleFiles(std::vector<std::string> const& paths, AssemblerOptions const& options,
                   Qxx::QxxImage& image, std::vector<std::string>& errors) {
    std::vector<SourceFile> sources;
    errors.clear();
    FileReader read = options.readFile ? options.readFile : FileReader(readTextFile);
    for (std::string const& path : paths) {
        SourceFile source{path, std::string()};
        if (!read(path, source.text)) errors.push_back(path + ": cannot read the file");
        sources.push_back(std::move(source));
    }
    if (!errors.empty()) return false;
    return assemble(sources, options, image, errors);
}

}  // namespace Assembler

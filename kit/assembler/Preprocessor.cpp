#include "assembler/Preprocessor.h"

#include "assembler/LineParser.h"
#include "isa/TevIsa.h"

#include <cctype>
#include <sstream>

namespace Assembler {

namespace {

constexpr unsigned k_max_include_depth = 16;
constexpr unsigned k_max_macro_depth = 64;
// Far more than any real program; stops a macro that expands without end.
constexpr size_t k_max_statements = size_t(1) << 22;

std::string directoryOf(std::string const& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Splits "name a, b c" into words at commas and blanks.
std::vector<std::string> words(std::string const& text) {
    std::vector<std::string> result;
    std::string word;
    for (char c : text + " ") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!word.empty()) result.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return result;
}

}  // namespace

Preprocessor::Preprocessor(AssemblerOptions const& options, Diagnostics& diagnostics, size_t maxLines)
    : m_options(options), m_diagnostics(diagnostics), m_max_lines(maxLines) {}

void Preprocessor::addSource(SourceFile const& source) {
    processText(source.name, source.text, 0);
}

void Preprocessor::processText(std::string const& file, std::string const& text, unsigned includeDepth) {
    std::istringstream lines(text);
    std::string line;
    SourceLocation location{file, 0, std::string()};
    while (std::getline(lines, line)) {
        ++location.line;
        if (!takeLine(location)) break;
        if (m_is_recording)
            recordMacroLine(line, location);
        else
            processLine(line, location, includeDepth, 0);
    }
    if (m_is_recording) {
        if (!m_too_large)
            m_diagnostics.error(m_recording.location, "missing .endm for macro '" + m_recording.name + "'");
        m_is_recording = false;
    }
}

bool Preprocessor::takeLine(SourceLocation const& location) {
    if (m_lines < m_max_lines) {
        ++m_lines;
        return true;
    }
    if (!m_too_large)
        m_diagnostics.error(location, "program too large (more than " + std::to_string(m_max_lines) +
                                          " lines after includes and macros)");
    m_too_large = true;
    return false;
}

// While a macro is being defined its lines are kept as text.
void Preprocessor::recordMacroLine(std::string const& text, SourceLocation const& location) {
    Statement statement;
    std::string error;
    parseLine(text, statement, error);
    if (statement.op == ".endm") {
        m_macros[m_recording.name] = m_recording;
        m_is_recording = false;
    } else if (statement.op == ".macro") {
        m_diagnostics.error(location, "a macro cannot be defined inside another");
    } else {
        m_recording.body.push_back(text);
    }
}

void Preprocessor::processLine(std::string const& text, SourceLocation const& location, unsigned includeDepth,
                               unsigned macroDepth) {
    Statement statement;
    statement.location = location;
    std::string error;
    if (!parseLine(text, statement, error)) {
        m_diagnostics.error(location, error);
        return;
    }
    if (statement.op == ".macro") {
        startMacro(statement);
        return;
    }
    if (statement.op == ".endm") {
        m_diagnostics.error(location, ".endm without .macro");
        return;
    }
    if (statement.op == ".include") {
        include(statement, includeDepth);
        return;
    }
    auto macro = m_macros.find(statement.op);
    if (macro != m_macros.end()) {
        expand(macro->second, statement, includeDepth, macroDepth);
        return;
    }
    if (m_statements.size() >= k_max_statements) {
        m_diagnostics.error(
            location, "program too large (more than " + std::to_string(k_max_statements) + " statements)");
        return;
    }
    m_statements.push_back(std::move(statement));
}

void Preprocessor::startMacro(Statement const& statement) {
    std::vector<std::string> names = words(statement.rest);
    if (names.empty() || !isIdentifier(names[0]) || names[0][0] == '.') {
        m_diagnostics.error(statement.location, ".macro needs a name");
        return;
    }
    if (Simulator::findInstruction(names[0]) != nullptr) {
        m_diagnostics.error(statement.location, "macro name '" + names[0] + "' is an instruction");
        return;
    }
    for (size_t index = 1; index < names.size(); ++index) {
        if (!isIdentifier(names[index])) {
            m_diagnostics.error(statement.location, "bad macro parameter '" + names[index] + "'");
            return;
        }
    }
    if (!statement.labels.empty())
        m_diagnostics.error(statement.location, "a label cannot stand before .macro");
    m_recording =
        Macro{names[0], std::vector<std::string>(names.begin() + 1, names.end()), {}, statement.location};
    m_is_recording = true;
}

void Preprocessor::include(Statement const& statement, unsigned includeDepth) {
    std::string name;
    std::string error;
    if (statement.operands.size() != 1 || !parseStringLiteral(statement.operands[0], name, error)) {
        m_diagnostics.error(statement.location, ".include needs one file name in double quotes");
        return;
    }
    if (includeDepth >= k_max_include_depth) {
        m_diagnostics.error(statement.location,
                            "includes nested too deeply (does '" + name + "' include itself?)");
        return;
    }
    std::vector<std::string> candidates;
    if (!name.empty() && name[0] == '/') {
        candidates.push_back(name);
    } else {
        candidates.push_back(directoryOf(statement.location.file) + name);
        for (std::string const& directory : m_options.includeDirectories)
            candidates.push_back(directory + "/" + name);
    }
    FileReader read = m_options.readFile ? m_options.readFile : FileReader(readTextFile);
    for (std::string const& path : candidates) {
        std::string text;
        if (read(path, text)) {
            processText(path, text, includeDepth + 1);
            return;
        }
    }
    m_diagnostics.error(statement.location, "cannot find include file '" + name + "'");
}

void Preprocessor::expand(Macro const& definition, Statement const& statement, unsigned includeDepth,
                          unsigned macroDepth) {
    // Expanded from a copy: a line of the body (through an included file)
    // may define the macro again, which replaces the table's entry.
    Macro const macro = definition;
    if (macroDepth >= k_max_macro_depth) {
        m_diagnostics.error(statement.location,
                            "macros nested too deeply (does '" + macro.name + "' call itself?)");
        return;
    }
    if (statement.operands.size() != macro.parameters.size()) {
        m_diagnostics.error(statement.location,
                            "macro '" + macro.name + "' takes " + std::to_string(macro.parameters.size()) +
                                " arguments, not " + std::to_string(statement.operands.size()));
        return;
    }
    if (!statement.labels.empty()) {
        Statement labels;
        labels.location = statement.location;
        labels.labels = statement.labels;
        m_statements.push_back(labels);
    }
    unsigned expansion = ++m_expansions;
    SourceLocation location = statement.location;
    location.context = "in macro " + macro.name;
    for (std::string const& line : macro.body) {
        if (!takeLine(location)) return;
        std::string expanded = substitute(macro, line, statement.operands, expansion);
        if (expanded.size() > k_max_line_length) {
            m_diagnostics.error(location, "line too long after macro expansion (more than " +
                                              std::to_string(k_max_line_length) + " characters)");
            return;
        }
        processLine(expanded, location, includeDepth, macroDepth + 1);
    }
}

std::string Preprocessor::substitute(Macro const& macro, std::string const& line,
                                     std::vector<std::string> const& arguments, unsigned expansion) const {
    std::string result;
    // Stops once the line is too long to use; the caller reports it.
    for (size_t i = 0; i < line.size() && result.size() <= k_max_line_length; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            result += line[i];
            continue;
        }
        if (line[i + 1] == '@') {
            result += std::to_string(expansion);
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_'))
            ++end;
        std::string name = line.substr(i + 1, end - i - 1);
        size_t index = 0;
        while (index < macro.parameters.size() && macro.parameters[index] != name) ++index;
        if (name.empty() || index == macro.parameters.size()) {
            result += line[i];
            continue;
        }
        result += arguments[index];
        i = end - 1;
    }
    return result;
}

}  // namespace Assembler

// The configuration text reader: the input is read into blocks of memory
// (a regular file in one block), lines are found with memchr, and names
// and values stay where they are in the block, which the pair table then
// holds. Only values with environment references are copied.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <istream>

#include "configuration/Properties.h"

namespace Configuration {

namespace {

char const FAILED_TO_READ[] = "Failed to read from ";
char const BRACKETS_MISMATCH[] = "Valid names require either '[' and ']' or neither.";
char const DEFAULT_DELIMITER[] = ",";
char const ENV_OPEN[] = "$(";

// Input that is not a regular file of known size is read in blocks of this size.
std::size_t const k_block_size = std::size_t(1) << 20;
// A selective read goes through smaller blocks, which stay in the cache
// between their copy from the file and their scan.
std::size_t const k_selective_block_size = std::size_t(256) << 10;
std::size_t const k_reserve_above = std::size_t(64) << 10;
std::size_t const k_usual_line_length = 40;

int nextLineNumber(int lineNumber) {
    return lineNumber < INT_MAX ? lineNumber + 1 : lineNumber;
}

enum class Scan { Complete, NeedMore, LineTooLong, TextTooLong };

// Where a logical line lies in a block: its physical lines run from its
// start to `end`; the next line starts at `next`.
struct Extent {
    std::size_t end = 0;
    std::size_t next = 0;
    bool continued = false;     // more than one physical line: the text must be joined
    bool blank_at_end = false;  // continued at the end of the input: its last backslash becomes a blank
};

// Finds the logical line that starts at `begin` of data[0, filled).
// `offset` is the position of data[0] in the input. The line number is
// advanced only for a line that is complete or too long.
Scan scanLine(char const* data, std::size_t begin, std::size_t filled, bool atEnd, std::size_t offset,
              int& lineNumber, Extent& extent) {
    std::size_t position = begin;
    std::size_t content = 0;
    int lines = lineNumber;
    extent = Extent();
    for (;;) {
        void const* newline = std::memchr(data + position, '\n', filled - position);
        std::size_t const physicalEnd = newline ? static_cast<char const*>(newline) - data : filled;
        std::size_t const length = physicalEnd - position;
        if (!newline && !atEnd) {
            if (content + length <= Properties::s_max_line_length) return Scan::NeedMore;
            lineNumber = nextLineNumber(lines);
            return Scan::LineTooLong;
        }
        lines = nextLineNumber(lines);
        if (content + length > Properties::s_max_line_length) {
            lineNumber = lines;
            return Scan::LineTooLong;
        }
        if (offset + physicalEnd + (newline ? 1 : 0) > Properties::s_max_text_length) {
            lineNumber = lines;
            return Scan::TextTooLong;
        }
        content += length;
        extent.end = physicalEnd;
        extent.next = newline ? physicalEnd + 1 : physicalEnd;
        // Only a backslash that follows other text continues the line.
        char const last = length > 0 ? data[physicalEnd - 1] : ' ';
        if (content < 2 || last != '\\') {
            lineNumber = lines;
            return Scan::Complete;
        }
        extent.continued = true;
        if (!newline) {
            // The input ends after the backslash: an empty physical line
            // completes the logical line.
            lineNumber = nextLineNumber(lines);
            extent.blank_at_end = true;
            return Scan::Complete;
        }
        position = extent.next;
    }
}

// Joins the physical lines of a continued line in place: each backslash
// becomes a blank and the newline after it goes. Returns the new end.
std::size_t joinLine(char* data, std::size_t begin, Extent const& extent) {
    std::size_t written = begin;
    std::size_t position = begin;
    for (;;) {
        void* newline = std::memchr(data + position, '\n', extent.end - position);
        std::size_t const physicalEnd = newline ? static_cast<char*>(newline) - data : extent.end;
        std::memmove(data + written, data + position, physicalEnd - position);
        written += physicalEnd - position;
        if (!newline) break;
        data[written - 1] = ' ';
        position = physicalEnd + 1;
    }
    if (extent.blank_at_end) data[written - 1] = ' ';
    return written;
}

// Turns a stream's exceptions off for one scope. Restoring them throws
// when the stream is in a state the caller asked to hear about (it always
// is at the end of the input); that is swallowed, the mask is back.
class ExceptionsOff {
public:
    explicit ExceptionsOff(std::istream& in) : m_in(in), m_mask(in.exceptions()) {
        in.exceptions(std::ios::goodbit);
    }
    ~ExceptionsOff() {
        try {
            m_in.exceptions(m_mask);
        } catch (...) {}
    }
    ExceptionsOff(ExceptionsOff const&) = delete;
    ExceptionsOff& operator=(ExceptionsOff const&) = delete;

private:
    std::istream& m_in;
    std::ios::iostate m_mask;
};

// Appends one physical line to `line`, but at most `room` characters of
// it; false when the line goes on beyond that.
bool appendPhysicalLine(std::istream& in, std::string& line, std::size_t room) {
    char chunk[4096];
    for (;;) {
        std::size_t const wanted = std::min(sizeof chunk - 1, room + 1);
        in.getline(chunk, static_cast<std::streamsize>(wanted + 1));
        std::size_t const count = static_cast<std::size_t>(in.gcount());
        std::ios::iostate const state = in.rdstate();
        bool const chunkFull = state == std::ios::failbit && count == wanted;
        std::size_t const stored = state == std::ios::goodbit && count > 0 ? count - 1 : count;
        if (stored > room) return false;
        line.append(chunk, stored);
        if (!chunkFull) return true;
        room -= stored;
        in.clear(state & ~std::ios::failbit);
    }
}

}  // namespace

// Where the reader's input comes from.
class Properties::Source {
public:
    virtual ~Source() = default;
    // Up to size bytes into buffer; 0 at the end of the input or on a failure.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // The size of the whole input when it is known, else 0 with known false.
    virtual std::size_t expectedSize(bool& known) const {
        known = false;
        return 0;
    }
    bool failed() const { return m_failed; }

protected:
    bool m_failed = false;
};

namespace {

class FileSource : public Properties::Source {
public:
    explicit FileSource(int fd) : m_fd(fd) {}
    ~FileSource() override { close(m_fd); }
    FileSource(FileSource const&) = delete;
    FileSource& operator=(FileSource const&) = delete;

    // Reads only [begin, end) of the file from here on.
    void limitTo(std::uint64_t begin, std::uint64_t end) {
        m_limited = true;
        m_position = begin;
        m_end = std::max(begin, end);
    }
    std::size_t read(char* buffer, std::size_t size) override {
        if (m_limited) size = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_end - m_position));
        if (size == 0) return 0;
        for (;;) {
            ssize_t const count = m_limited ? ::pread(m_fd, buffer, size, static_cast<off_t>(m_position))
                                            : ::read(m_fd, buffer, size);
            if (count >= 0) {
                m_position += static_cast<std::uint64_t>(count);
                return static_cast<std::size_t>(count);
            }
            if (errno == EINTR) continue;
            m_failed = true;
            return 0;
        }
    }
    std::size_t expectedSize(bool& known) const override {
        if (m_limited) {
            known = true;
            return static_cast<std::size_t>(m_end - m_position);
        }
        struct stat status;
        known = fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode);
        return known ? static_cast<std::size_t>(status.st_size) : 0;
    }
    // The file as fstat sees it: device, inode, size and change times;
    // none for anything but a regular file (a pipe cannot be read twice).
    std::array<std::uint64_t, 7> identity() const {
        struct stat status;
        if (fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) return {};
        return {std::uint64_t(status.st_dev),          std::uint64_t(status.st_ino),
                std::uint64_t(status.st_size),         std::uint64_t(status.st_mtim.tv_sec),
                std::uint64_t(status.st_mtim.tv_nsec), std::uint64_t(status.st_ctim.tv_sec),
                std::uint64_t(status.st_ctim.tv_nsec)};
    }

private:
    int m_fd;
    bool m_limited = false;
    std::uint64_t m_position = 0;
    std::uint64_t m_end = 0;
};

class TextSource : public Properties::Source {
public:
    TextSource(char const* text, std::size_t size) : m_text(text), m_left(size) {}
    std::size_t read(char* buffer, std::size_t size) override {
        std::size_t const count = std::min(size, m_left);
        std::memcpy(buffer, m_text, count);
        m_text += count;
        m_left -= count;
        return count;
    }
    std::size_t expectedSize(bool& known) const override {
        known = true;
        return m_left;
    }

private:
    char const* m_text;
    std::size_t m_left;
};

// A stream buffer that fails to read (libstdc++ throws for a read error,
// e.g. on a directory) counts as a failed input, never as an exception.
class StreamSource : public Properties::Source {
public:
    explicit StreamSource(std::istream& in) : m_in(in) {}
    std::size_t read(char* buffer, std::size_t size) override {
        std::streambuf* const stream = m_in.rdbuf();
        if (m_failed || m_ended || stream == nullptr) return 0;
        try {
            std::streamsize const count = stream->sgetn(buffer, static_cast<std::streamsize>(size));
            if (count <= 0) m_ended = true;
            return count > 0 ? static_cast<std::size_t>(count) : 0;
        } catch (...) {
            m_failed = true;
            return 0;
        }
    }

private:
    std::istream& m_in;
    bool m_ended = false;
};

}  // namespace

bool Properties::readFile(char const* fileName, Selection const* selection, FilePlan* plan) {
    setFileName(fileName ? fileName : "");
    int const fd = fileName ? open(fileName, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        m_last_error = FAILED_TO_READ + m_file_name;
        return false;
    }
    FileSource source(fd);
    Window window{0, 0};
    if (plan) {
        plan->identity = source.identity();
        // A part is read only from the very file it was found in; a file
        // changed since, or another file by that name, is read whole.
        if (plan->part && plan->identity == plan->expected && plan->identity != FilePlan::Identity{}) {
            source.limitTo(plan->begin, plan->end);
            window = Window{plan->begin, plan->line_before};
        }
    }
    bool const result = readSource(source, selection, plan, window);
    if (result && source.failed()) {
        // A read error, as opposed to the end of the input, means the
        // input was not read completely, e.g. a directory given as file name.
        m_last_error = FAILED_TO_READ + m_file_name;
        return false;
    }
    return result;
}

bool Properties::readText(std::string const& text) {
    void const* nul = std::memchr(text.data(), '\0', text.size());
    std::size_t const length = nul ? static_cast<char const*>(nul) - text.data() : text.size();
    TextSource source(text.data(), length);
    return readSource(source, nullptr);
}

bool Properties::readStream(std::istream& in) {
    if (!in.good()) {
        m_last_error = FAILED_TO_READ + fileName();
        return false;
    }
    // The state the read leaves is set with the caller's exceptions off;
    // they are restored, and the read is over, when it returns.
    ExceptionsOff const exceptionsOff(in);
    StreamSource source(in);
    bool const result = readSource(source, nullptr);
    in.setstate(source.failed() ? std::ios::badbit | std::ios::eofbit : std::ios::eofbit);
    if (result && source.failed()) {
        m_last_error = FAILED_TO_READ + fileName();
        return false;
    }
    return result;
}

bool Properties::readSource(Source& source, Selection const* selection, FilePlan const* plan, Window window) {
    // A selective read stores few pairs: it goes through the input block
    // by block, reusing each block that no pair points into.
    bool known = false;
    std::size_t const expected = source.expectedSize(known);
    std::size_t const blockSize = selection ? k_selective_block_size : k_block_size;
    bool const whole = known && expected < s_max_text_length && (!selection || expected < blockSize);
    std::size_t capacity = whole ? expected + 1 : blockSize;
    PairTable::Block block(new char[capacity]);
    bool blockUsed = false;
    std::size_t begin = 0;               // the first byte not handled yet
    std::size_t filled = 0;              // bytes of the block read so far
    std::size_t offset = window.offset;  // position of the block's first byte in the input
    bool atEnd = false;
    int lineNumber = window.line_before;
    auto const note = plan ? plan->note : nullptr;
    // Pairs are indexed after the lines are read, or before a message of
    // a line that ends the read: each duplicate name's line is warned of
    // as when they were stored one by one.
    PendingLines pending;
    std::string detail;
    // Takes the complete logical line [lineBegin, lineEnd) of the block,
    // which follows line number lineBefore; false at a syntax error.
    auto const takeLine = [&](char const* lineBegin, char const* lineEnd, int lineBefore) {
        ParsedLine line;
        LineKind const kind = parseLine(lineBegin, lineEnd, line, detail);
        if (kind == LineKind::Error) {
            indexLines(pending);
            setSyntaxError(lineNumber, detail);
            return false;
        }
        if (note && kind == LineKind::Pair) {
            std::string const& known = *plan->note_unless_prefix;
            if (known.empty() || line.name.size() < known.size() ||
                std::memcmp(line.name.data(), known.data(), known.size()) != 0)
                note(plan->note_context, line.name, offset + begin, lineBefore);
        }
        // A selective read checks every line as usual but stores only
        // the names it selects, copied so that the block can be reused.
        if (kind == LineKind::Skip || (selection && !(*selection)(line.name))) return true;
        if (!selection && !blockUsed) {
            m_pairs.hold(block);
            blockUsed = true;
        }
        pending.line_numbers.push_back(lineNumber);
        appendLine(line, selection != nullptr, pending);
        return true;
    };
    for (;;) {
        // The usual line: it ends in the block, within the bounds, and
        // does not go on to the next one.
        char* const data = block.get();
        if (void const* newline = std::memchr(data + begin, '\n', filled - begin)) {
            std::size_t const end = static_cast<std::size_t>(static_cast<char const*>(newline) - data);
            std::size_t const length = end - begin;
            if ((length < 2 || data[end - 1] != '\\') && length <= s_max_line_length &&
                offset + end + 1 <= s_max_text_length) {
                int const lineBefore = lineNumber;
                lineNumber = nextLineNumber(lineNumber);
                if (!takeLine(data + begin, data + end, lineBefore)) return false;
                begin = end + 1;
                continue;
            }
        }
        if (begin == filled && atEnd) {
            indexLines(pending);
            return true;
        }
        Extent extent;
        int const lineBefore = lineNumber;
        Scan const scan = scanLine(data, begin, filled, atEnd, offset, lineNumber, extent);
        if (scan == Scan::Complete) {
            std::size_t const end = extent.continued ? joinLine(data, begin, extent) : extent.end;
            if (!takeLine(data + begin, data + end, lineBefore)) return false;
            begin = extent.next;
            continue;
        }
        if (scan != Scan::NeedMore) indexLines(pending);
        switch (scan) {
            case Scan::Complete: break;
            case Scan::LineTooLong:
                m_last_error = FAILED_TO_READ + fileName() + ": line " + std::to_string(lineNumber) +
                               " is longer than " + std::to_string(s_max_line_length) + " bytes";
                return false;
            case Scan::TextTooLong:
                m_last_error = FAILED_TO_READ + fileName() + ": the text is longer than " +
                               std::to_string(s_max_text_length) + " bytes";
                return false;
            case Scan::NeedMore: break;
        }
        if (filled == capacity) {
            // The unfinished line moves to the front of the block, or of a
            // larger one; a block that pairs point into stays as it is.
            std::size_t const partial = filled - begin;
            std::size_t const wanted = std::max(capacity, partial + blockSize / 4);
            if (blockUsed || wanted > capacity) {
                // A long line doubles the block, up to what the longest
                // line needs.
                if (wanted > capacity)
                    capacity = std::max(wanted, std::min(2 * capacity, s_max_line_length + blockSize / 4));
                capacity = std::max(capacity, blockSize);
                PairTable::Block next(new char[capacity]);
                std::memcpy(next.get(), block.get() + begin, partial);
                block = next;
                blockUsed = false;
            } else {
                std::memmove(block.get(), block.get() + begin, partial);
            }
            offset += begin;
            begin = 0;
            filled = partial;
        }
        std::size_t const count = source.read(block.get() + filled, capacity - filled);
        if (count == 0) atEnd = true;
        // A large text makes room at once for a pair per line of the
        // usual length (a dotted name and a short value) instead of
        // growing the table step by step; counting the lines would read
        // the whole text once more. The index is sized when the pairs are
        // indexed.
        if (count > k_reserve_above && !selection) m_pairs.reservePending(count / k_usual_line_length);
        filled += count;
    }
}

void Properties::getLine(std::istream& in, std::string& line, int& lineNumber) {
    try {
        for (;;) {
            std::size_t const room = s_max_line_length - std::min(line.size(), s_max_line_length);
            bool const fits = appendPhysicalLine(in, line, room);
            if (lineNumber < INT_MAX) ++lineNumber;
            if (!fits) return;
            if (line.size() < 2 || line.back() != '\\') return;
            line.back() = ' ';
        }
    } catch (...) {}
}

Properties::LineKind Properties::parseLine(char const* begin, char const* end, ParsedLine& line,
                                           std::string& detail) {
    while (begin < end && isWhitespace(*begin)) ++begin;
    while (end > begin && isWhitespace(end[-1])) --end;
    if (begin == end || *begin == '#') return LineKind::Skip;
    char const* const divider = static_cast<char const*>(std::memchr(begin, DIVIDER, end - begin));
    if (divider == nullptr || divider == begin) {
        detail = "'" + std::string(begin, end) + "'";
        return LineKind::Error;
    }
    char const* nameEnd = divider;
    while (isWhitespace(nameEnd[-1])) --nameEnd;  // the line starts with text, so the name does too
    line.name = std::string_view(begin, nameEnd - begin);
    line.value = std::string_view(divider + 1, end - divider - 1);
    line.delimiter = std::string_view();
    line.is_list = line.name.back() == ']';
    if (!line.is_list) return LineKind::Pair;
    std::size_t const open = line.name.rfind('[');
    if (open == std::string_view::npos || open == 0) {
        detail = BRACKETS_MISMATCH;
        return LineKind::Error;
    }
    line.delimiter = line.name.substr(open + 1, line.name.size() - open - 2);
    if (line.delimiter.empty()) line.delimiter = DEFAULT_DELIMITER;
    line.name = line.name.substr(0, open);  // a blank before "[" stays part of the name
    return LineKind::Pair;
}

bool Properties::holdsReference(std::string_view value) {
    // Found by its first character, which few values have.
    char const* at = value.data();
    char const* const end = at + value.size();
    while ((at = static_cast<char const*>(std::memchr(at, ENV_OPEN[0], std::size_t(end - at)))) != nullptr) {
        if (++at < end && *at == ENV_OPEN[1]) return true;
    }
    return false;
}

void Properties::appendLine(ParsedLine const& line, bool copyText, PendingLines& pending) {
    std::string_view const name = copyText ? m_pairs.keep(line.name) : line.name;
    std::uint64_t const hash = PairTable::hashOf(name);
    // A list line records its delimiter even when its name turns out to
    // be a duplicate; the last one recorded stays.
    if (line.is_list)
        m_delimiters.appendPending(name, copyText ? m_pairs.keep(line.delimiter) : line.delimiter, hash);
    std::string_view value = line.value;
    if (value.empty()) {
        pending.last_empty = pending.line_numbers.size();
        pending.last_empty_name = name;
    } else if (m_expand_env_variables && holdsReference(value)) {
        std::string expanded(value);
        replaceEnvVariables(expanded);
        if (expanded != value) value = m_pairs.keep(expanded);
    }
    m_pairs.appendPending(name, copyText ? m_pairs.keep(value) : value, hash);
}

void Properties::indexLines(PendingLines& pending) {
    m_delimiters.indexPending(true);
    std::vector<PairTable::Dropped> const dropped = m_pairs.indexPending();
    // Of the warnings the lines give, the last one stays.
    std::size_t const lastDropped = dropped.empty() ? 0 : dropped.back().index + 1;
    if (lastDropped != 0 && lastDropped >= pending.last_empty) {
        setSyntaxError(pending.line_numbers[lastDropped - 1],
                       "Warning: Property " + std::string(dropped.back().name) + " already exists");
    } else if (pending.last_empty != 0) {
        setSyntaxError(pending.line_numbers[pending.last_empty - 1],
                       "Warning: Property " + std::string(pending.last_empty_name) + " has empty value");
    }
    pending = PendingLines();
}

}  // namespace Configuration

// The key/value store of the tool framework. Configuration text is read
// into an ordered table of name/value strings; names declared with a
// delimiter (`name[d] = a d b`) are list names whose values split into
// elements. Values are stored as text and converted when they are read.
//
// Nothing here throws for bad data: operations return bool (or a count)
// and leave the reason in the last error message. While the store is not
// ready, the typed reads fail without a message; the list readers and
// getDelimiter do not consult the ready flag.
#ifndef CONFIGURATION_PROPERTIES_H
#define CONFIGURATION_PROPERTIES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "configuration/PairTable.h"
#include "generic/Export.h"

namespace Configuration {

class QX_FRAMEWORK_API Properties {
public:
    // Divides a name from its value in a line of configuration text.
    static char const DIVIDER;
    // Tab, newline, vertical tab, form feed, carriage return, blank (NUL-terminated).
    static char const whitespace_chars[7];
    // Opens and closes an environment reference `$(NAME)` in a value.
    static std::string const START_ENV_VAR;
    static std::string const END_ENV_VAR;
    static int const START_ENV_VAR_LEN;
    static int const END_ENV_VAR_LEN;
    // Bounds of what a read takes as configuration text: the longest
    // logical line and the most bytes one read consumes. Anything larger
    // (a device such as /dev/zero, a file that is not configuration) ends
    // the read with a "Failed to read from" message instead of holding it
    // all in memory.
    static std::size_t const s_max_line_length;
    static std::size_t const s_max_text_length;

    // Empty and ready; file name and last error are "No file name given".
    Properties();
    // Reads the named file; the store is ready when the read succeeded.
    explicit Properties(char const* fileName);
    Properties(Properties const& other);
    Properties& operator=(Properties const& other);
    ~Properties();

    // --- Reading configuration text -------------------------------------
    // Each returns true when the whole input was read without a syntax
    // error or read failure. Warnings (duplicate name, empty value) are
    // recorded but do not stop the reading.

    // The parser: reads the stream to its end. Leaves the ready flag alone.
    bool readStream(std::istream& in);
    // Reads the text up to its first NUL character, without copying it.
    // Leaves the file name and the ready flag alone.
    bool readText(std::string const& text);
    // File name becomes "String buffer"; add == false first removes all
    // pairs (list delimiters stay). The ready flag becomes the result.
    bool addPropertiesFromString(std::string const& text, bool add);
    // As addPropertiesFromString, reading the named file.
    bool addPropertiesFromFile(char const* fileName, bool add);

    // Appends one logical line (physical lines joined by a trailing
    // backslash) to `line` and counts every physical line read. Stops
    // after s_max_line_length characters; the rest of such a line stays
    // in the stream.
    void getLine(std::istream& in, std::string& line, int& lineNumber);
    // Removes leading and trailing whitespace_chars in place.
    static std::string& trim_whitespace(std::string& text);
    // Whether c is one of whitespace_chars.
    static bool isWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    // text without its leading and trailing whitespace_chars.
    static std::string_view trimmed(std::string_view text) {
        while (!text.empty() && isWhitespace(text.front())) text.remove_prefix(1);
        while (!text.empty() && isWhitespace(text.back())) text.remove_suffix(1);
        return text;
    }
    // Replaces `$(NAME)` references by the environment's values in place.
    std::string& replaceEnvVariables(std::string& value);
    // Yields the next element of `list` split by `delimiter`, starting at
    // `position`; runs of delimiters separate like one. Returns true when
    // the element is the last one.
    static bool getNextToken(std::string& token, std::string const& list, std::string const& delimiter,
                             int& position, int& end);

    // --- Errors -----------------------------------------------------------
    // "Syntax error at line number N in file: F", then "\n\t" + detail
    // when the detail is not empty. A null detail counts as empty.
    void setSyntaxError(int lineNumber, std::string const& detail);
    void setSyntaxError(int lineNumber, char const* detail);
    // Copies the last error message; false (and `message` empty) when none.
    bool getLastErrorMessage(std::string& message) const;
    bool isReady() const { return m_ready; }

    // --- Writing values -----------------------------------------------------
    // Every set replaces the value of the name, makes the store ready and
    // returns the ready flag as it was before the call. A non-null
    // delimiter makes the name a list name.
    bool set(char const* value, char const* name, char const* delimiter = nullptr);
    bool set(std::string const& value, char const* name, char const* delimiter = nullptr);
    bool set(double value, char const* name);
    bool set(float value, char const* name);
    bool set(long long value, char const* name);
    bool set(int value, char const* name);
    bool set(short value, char const* name);
    bool set(unsigned long long value, char const* name);
    bool set(unsigned int value, char const* name);
    bool set(unsigned short value, char const* name);
    // Characters are stored as their numeric code.
    bool set(char const& value, char const* name);
    bool set(unsigned char const& value, char const* name);

    // --- Reading values -----------------------------------------------------
    bool get(std::string& value, std::string const& name, bool trim = true);
    bool get(std::string& value, char const* name, bool trim = true);
    // Copies without a terminating NUL; false with a truncation message
    // when the stored value does not fit in size - 1 characters.
    bool get(char* buffer, int size, char const* name, bool trim = true);
    bool get(char& value, char const* name);
    bool get(unsigned char& value, char const* name);
    // True for "1", "true", "t", "on" in any case; false for other text.
    bool get(bool& value, char const* name);
    // Integer reads trim the stored value in place before converting.
    bool get(long long& value, char const* name);
    bool get(unsigned long long& value, char const* name);
    bool get(int& value, char const* name);
    bool get(short& value, char const* name);
    bool get(unsigned int& value, char const* name);
    bool get(unsigned short& value, char const* name);
    bool get(double& value, char const* name);
    bool get(float& value, char const* name);
    // Copies every pair named `prefix.rest` as `rest` into the target.
    bool get(Properties& target, char const* prefix);
    bool get(std::map<std::string, std::string>& target, char const* prefix);

    // --- Queries and text output -------------------------------------------
    bool contains(std::string const& name) const;
    bool contains(char const* name) const;
    int getNumberOfPairs() const;
    bool getNames(std::vector<std::string>& names) const;
    // Hands out a new[]-allocated array of the names (the caller deletes
    // it with delete[]); returns the count, null array when empty.
    int getNames(std::string*& names) const;
    // Appends, in order, the names that start with `prefix`; walks only the
    // matching range of the ordered table. False when the store is not ready.
    bool getNamesWithPrefix(std::string const& prefix, std::vector<std::string>& names) const;
    // `name[d]=value` lines, readable again by readText.
    bool getString(std::string& text) const;
    void display(std::ostream& os) const;

    // --- Conversions --------------------------------------------------------
    static std::string makeString(double value);
    static std::string makeString(long long value);
    static std::string makeString(unsigned long long value);
    // Trim `text` in place and convert it as an integer (hexadecimal when
    // its first or second character is x or X); 0 on failure.
    static bool makeInt64(std::string& text, long long& value);
    static bool makeUint64(std::string& text, unsigned long long& value);
    // Converts without trimming; `value` gets what could be read even on failure.
    static bool makeDouble(std::string& text, double& value);
    static bool caseInsensitiveCompare(std::string const& a, std::string const& b);
    static bool nocase_compare(char a, char b);

    // --- Lists --------------------------------------------------------------
    // The delimiter of a list name; true when it is not empty.
    bool getDelimiter(std::string& delimiter, char const* name) const;
    // Vector readers append; the string reader trims the stored value first.
    bool getStringVector(std::vector<std::string>& values, char const* name);
    bool getInt64Vector(std::vector<long long>& values, char const* name);
    bool getUint64Vector(std::vector<unsigned long long>& values, char const* name);
    bool getDoubleVector(std::vector<double>& values, char const* name);
    // Array readers store from index 0 and fail when the capacity is exceeded.
    bool getStringArray(std::string* values, unsigned int capacity, char const* name, unsigned int& count);
    bool getInt64Array(long long* values, unsigned int capacity, char const* name, unsigned int& count);
    bool getDoubleArray(double* values, unsigned int capacity, char const* name, unsigned int& count);

    // Where the reader's input comes from (a file, a stream or a text).
    class Source;

private:
    // Selects the names a read stores; a read without one stores all.
    using Selection = std::function<bool(std::string_view name)>;

    // What a file read tells and is told beyond its selection: the file
    // it read, each pair line it found, and whether to read only a part
    // of the file.
    struct FilePlan {
        // The file as fstat sees it: device, inode, size, change times.
        using Identity = std::array<std::uint64_t, 7>;
        Identity identity{};  // of the file read
        // Called with each name read that does not begin with
        // *note_unless_prefix, where its logical line begins in the file,
        // and the number of the line before it.
        void (*note)(void* context, std::string_view name, std::uint64_t begin, int lineBefore) = nullptr;
        void* note_context = nullptr;
        std::string const* note_unless_prefix = nullptr;
        // When the file is still `expected`, only [begin, end) is read, as
        // if it were the whole input, its lines numbered from lineBefore + 1.
        bool part = false;
        Identity expected{};
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
        int line_before = 0;
    };
    bool readFile(char const* fileName, Selection const* selection = nullptr, FilePlan* plan = nullptr);
    // Where a read's input lies in its file: the position of its first
    // byte and the number of the line before it.
    struct Window {
        std::uint64_t offset;
        int line_before;
    };
    // Reads the whole input of source, block by block, within the bounds.
    bool readSource(Source& source, Selection const* selection, FilePlan const* plan = nullptr,
                    Window window = Window{0, 0});
    // A line of `name = value` as read, before it is stored.
    struct ParsedLine {
        std::string_view name;
        std::string_view value;
        std::string_view delimiter;
        bool is_list;
    };
    enum class LineKind { Skip, Pair, Error };
    // Parses one logical line [begin, end); a syntax error leaves its
    // detail in `detail`. Stores nothing.
    static LineKind parseLine(char const* begin, char const* end, ParsedLine& line, std::string& detail);
    // The pairs of a read not indexed yet: the line number of each, and
    // the last with an empty value.
    struct PendingLines {
        std::vector<int> line_numbers;
        std::size_t last_empty = 0;  // index + 1, 0 for none
        std::string_view last_empty_name;
    };
    // Whether a value holds the start of an environment reference.
    static bool holdsReference(std::string_view value);
    // Takes a parsed line: records its delimiter and appends its pair to
    // the pending ones. A selective read copies the texts, a full one
    // leaves them in the block.
    void appendLine(ParsedLine const& line, bool copyText, PendingLines& pending);
    // Indexes the pending pairs, dropping those whose name is there
    // already, and leaves the last warning of their lines (duplicate name,
    // empty value) as the last error.
    void indexLines(PendingLines& pending);
    struct GroupEntry {
        std::string_view name;
        std::string_view value;
        bool is_list;
        std::string_view delimiter;
    };
    // Records the delimiter of a list name. The pair table holds all text
    // of the store, that of the delimiters too: unless it holds them
    // already, name and delimiter are copied into it.
    void recordDelimiter(std::string_view name, std::string_view delimiter, bool textHeld);
    PairTable::Pair const* delimiterOf(std::string_view name) const;
    // Removes every pair, keeping the delimiters.
    void removePairs();
    static std::string const& noFileName();
    std::string const& fileName() const;
    std::string const& lastError() const;
    void setFileName(char const* fileName);

    bool storeValue(std::string value, char const* name, char const* delimiter, bool expand);
    // Stores a pair taken over from another store (source), without copying
    // its text unless the value holds an environment reference. `isNew`
    // tells that the store has no pair of the name.
    void storeShared(std::string_view name, std::string_view value, bool isList, std::string_view delimiter,
                     Properties const& source, bool isNew = false);
    // The same for a name without NUL, a value without an environment
    // reference and a delimiter without NUL, whose texts this store holds.
    void storeHeld(std::string_view name, std::string_view value, bool isList, std::string_view delimiter,
                   bool isNew);
    // The stored pair for a read: null when the store is not ready
    // (silently) or the name is absent (with the not-found message).
    PairTable::Pair* findForRead(std::string_view name);
    bool selectGroup(char const* prefix, std::vector<GroupEntry>& group);
    // Calls `visit` with every non-empty element of a list; stops and
    // fails at the first element it rejects.
    bool forEachElement(char const* name, bool trimStoredValue,
                        std::function<bool(std::string&)> const& visit);

    friend class PropertiesSharing;
    friend class PropertiesSelection;

    bool m_expand_env_variables;
    bool m_ready;
    // A default store's file name and, until its first error, its last
    // error are "No file name given": one shared text, not a copy per store
    // (each node of a configuration has several stores).
    bool m_unnamed;
    bool m_no_error_yet;
    std::string m_file_name;  // while m_unnamed, empty
    PairTable m_pairs;
    PairTable m_delimiters;    // list name -> delimiter, as views into text of m_pairs
    std::string m_last_error;  // every error set is non-empty
};

}  // namespace Configuration

#endif  // CONFIGURATION_PROPERTIES_H

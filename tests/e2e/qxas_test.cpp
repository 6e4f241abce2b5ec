// End-to-end tests of qxas: the built assembler runs as a child process
// with a temporary directory as HOME and working directory and a written
// target_device.cfg found along QXPATH. Its standard output, standard
// error and exit status are compared exactly; the files it writes are read
// back with the qxx library and compared with what the assembler library
// makes of the same sources.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "assembler/Assembler.h"
#include "assembler/Disassembler.h"
#include "assembler/InstructionHelp.h"
#include "qxx/QxxReader.h"
#include "qxx/QxxWriter.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

char const* const k_usage =
    "\n"
    "Usage: qxas [option]* [filename]* \n"
    " *filename is a tev source file; several are assembled as one program, in order.\n"
    "\n"
    "Where one or more of the following options may be given:\n"
    "\n"
    "--help        (-h) Outputs this message\n"
    "--output      (-o)\n"
    "--verbose     (-v) Switch on verbose display\n"
    "--version     (-V) Display version string\n"
    "--fovel-file  (-m) May be specified more than once. Adds a Fovel macro file to the assembler\n"
    "--info        (-i) Displays info about an instruction\n"
    "--dump        (-d) Dumps the output in textual form\n";

char const* const k_program =
    "; sums a table\n"
    "        .data\n"
    "table:  .word 1, 2, 3\n"
    "        .code\n"
    "main:   li r1, table\n"
    "        ldw r2, 4(r1)\n"
    "        halt r2\n";

char const* const k_macros = ".macro leave value\n        li r1, \\value\n        halt r1\n.endm\n";
char const* const k_more_macros = ".macro leave42\n        leave 42\n.endm\n";

std::string versionBanner() {
    return TestSupport::versionBanner("qxas Orvalis assembler",
                                      "qxas is part of the Orvalis accelerator software kit.\n"
                                      "It assembles tev source files into qxx executables.\n"
                                      "Report problems to your Orvalis support contact.\n");
}

// The test configuration with one key of the VORN node replaced.
std::string configurationWith(std::string const& key, std::string const& value) {
    std::string text = TestSupport::k_systemConfiguration;
    std::string const line = "system.chip0.core0." + key + " = ";
    std::string::size_type const start = text.find(line);
    std::string::size_type const end = text.find('\n', start);
    return text.replace(start, end - start, line + value);
}

struct Expected {
    std::string out;
    std::string err;
    int status;
};

class QxasTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_directory.write("config/target_device.cfg", TestSupport::k_systemConfiguration);
    }

    Subprocess::Result qxas(std::vector<std::string> const& arguments) const {
        Subprocess::Result result = Subprocess(QXAS_PATH)
                                        .argv0("qxas")
                                        .args(arguments)
                                        .env("HOME", m_directory.path())
                                        .env("QXPATH", m_directory.file("config"))
                                        .workingDirectory(m_directory.path())
                                        .timeout(60s)
                                        .run();
        EXPECT_EQ("", result.error);
        EXPECT_FALSE(result.timed_out);
        return result;
    }

    void expect(std::vector<std::string> const& arguments, Expected const& expected) const {
        Subprocess::Result const result = qxas(arguments);
        EXPECT_EQ(expected.out, result.out);
        EXPECT_EQ(expected.err, result.err);
        EXPECT_EQ(expected.status, result.exit_status);
    }

    Qxx::QxxImage readImage(std::string const& relative) const {
        Qxx::QxxImage image;
        std::string error;
        EXPECT_TRUE(Qxx::readQxxFile(m_directory.file(relative), image, error)) << error;
        return image;
    }

    // The file is a valid qxx executable, byte for byte what the assembler
    // library makes of the sources for the test node's target.
    void expectProgram(std::string const& relative, std::vector<Assembler::SourceFile> const& sources) const {
        readImage(relative);
        Qxx::QxxImage image;
        std::vector<std::string> errors;
        ASSERT_TRUE(Assembler::assemble(sources, Assembler::AssemblerOptions(), image, errors));
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(Qxx::writeQxx(image, bytes, error)) << error;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), m_directory.read(relative));
    }

    // The names in the directory, hidden ones included.
    std::vector<std::string> entries(std::string const& relative = "") const {
        std::vector<std::string> names;
        for (auto const& entry : std::filesystem::directory_iterator(m_directory.file(relative)))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Starts qxas in the background with its outputs on /dev/null.
    Subprocess::Running start(std::vector<std::string> const& arguments) const {
        Subprocess program(QXAS_PATH);
        program.argv0("qxas").args(arguments).workingDirectory(m_directory.path());
        program.env("HOME", m_directory.path()).env("QXPATH", m_directory.file("config"));
        return program.start(false);
    }

    // A program of that many instructions, assembled into the relative name.
    void writeLongProgram(std::string const& relative, int instructions) const {
        std::string source = ".code\nmain:\n";
        for (int index = 0; index < instructions; ++index)
            source += "        li r1, " + std::to_string(index) + "\n";
        source += "        halt r1\n";
        m_directory.write("long.qxs", source);
        expect({"long.qxs", "-o", relative}, {"", "", 0});
        std::filesystem::remove(m_directory.file("long.qxs"));
    }

    // A character device to write to. As root, a qxas that replaced it
    // would destroy the system's /dev/null, so root gets a null device of
    // its own in the test's directory, or none when the file system does
    // not allow devices; anyone else cannot replace /dev/null.
    std::string nullDevice() const {
        if (geteuid() != 0) return "/dev/null";
        std::string const path = m_directory.file("zz-null");
        if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) return "";
        int const fd = open(path.c_str(), O_WRONLY);
        if (fd >= 0) close(fd);
        if (fd < 0) std::filesystem::remove(path);
        return fd >= 0 ? path : "";
    }

    TemporaryDirectory m_directory;
};

mode_t typeOf(std::string const& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

TEST_F(QxasTest, HelpAndVersionPrintTheirTextsAndSucceed) {
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    } const cases[] = {
        {{"--help"}, k_usage},
        {{"-h"}, k_usage},
        {{"--version"}, versionBanner()},
        {{"-V"}, versionBanner()},
        {{"-V", "-h", "prog.qxs"}, k_usage},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        expect(c.arguments, {c.out, "", 0});
    }
    EXPECT_FALSE(m_directory.exists("prog.qxx"));
}

// Help and version need no configuration: in an empty directory with
// QXPATH and HOME unset, and with both empty, qxas still describes itself;
// everything else, and a --useconfig that names a missing file, still fails
// for want of the configuration.
TEST_F(QxasTest, HelpAndVersionAnswerWithoutAConfiguration) {
    std::string const noConfigurationOut =
        "The config file: 'target_device.cfg' must be present in the QXPATH\n"
        "Or the --useconfig <config file> option must be used\n";
    std::string const noConfigurationErr =
        "Fatal Error: Could not load the system configuration file.\n\tNo system config filename found.\n";
    struct Case {
        std::vector<std::string> arguments;
        Expected expected;
    } const cases[] = {
        {{"--help"}, {k_usage, "", 0}},
        {{"-h"}, {k_usage, "", 0}},
        {{"--version"}, {versionBanner(), "", 0}},
        {{"-V"}, {versionBanner(), "", 0}},
        {{"-V", "-h", "prog.qxs"}, {k_usage, "", 0}},
        {{"prog.qxs"}, {noConfigurationOut, noConfigurationErr, 1}},
        {{"-i", "add"}, {noConfigurationOut, noConfigurationErr, 1}},
        {{"--useconfig", "missing.cfg", "--help"},
         {noConfigurationOut,
          "Fatal Error: Could not load the system configuration file.\n\t'missing.cfg'\n"
          "\tSystem properties not ready: 'Failed to read from missing.cfg'\n",
          1}},
    };
    TemporaryDirectory const empty;
    for (bool const unset : {true, false}) {
        for (Case const& c : cases) {
            SCOPED_TRACE((unset ? "unset: " : "empty: ") + c.arguments.front());
            Subprocess process(QXAS_PATH);
            process.argv0("qxas").args(c.arguments).workingDirectory(empty.path()).timeout(60s);
            if (unset)
                process.unsetEnv("HOME").unsetEnv("QXPATH");
            else
                process.env("HOME", "").env("QXPATH", "");
            Subprocess::Result const result = process.run();
            EXPECT_EQ("", result.error);
            EXPECT_EQ(c.expected.out, result.out);
            EXPECT_EQ(c.expected.err, result.err);
            EXPECT_EQ(c.expected.status, result.exit_status);
        }
    }
}

TEST_F(QxasTest, AssemblesSourcesIntoAValidQxxImage) {
    m_directory.write("prog.qxs", k_program);
    m_directory.write("src/prog.qxs", k_program);
    struct Case {
        std::vector<std::string> arguments;
        std::string output;
    } const cases[] = {
        {{"prog.qxs"}, "prog.qxx"},
        {{"src/prog.qxs"}, "src/prog.qxx"},
        {{"-o", "out.qxx", "prog.qxs"}, "out.qxx"},
        {{"prog.qxs", "--output", "src/other.qxx"}, "src/other.qxx"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.output);
        expect(c.arguments, {"", "", 0});
        expectProgram(c.output, {{"prog.qxs", k_program}});
    }
}

TEST_F(QxasTest, VerboseNamesTheTargetAndTheProgramWritten) {
    m_directory.write("prog.qxs", k_program);
    expect({"-v", "prog.qxs"},
           {"qxas: target: tev, 8-byte instructions, little endian, 32 mono and 32 poly registers\n"
            "qxas: wrote prog.qxx: 24 bytes of code, 12 bytes of data, 0 bytes of bss, 2 symbols\n",
            "", 0});
}

TEST_F(QxasTest, ReportsEverySourceErrorAndKeepsTheOldOutput) {
    m_directory.write("bad.qxs",
                      ".code\nmain:   li r1, 1\n        frob r1\n        add r1, r2\n        halt r1\n");
    m_directory.write("bad.qxx", "old");
    expect({"bad.qxs"}, {"",
                         "bad.qxs:3: unknown instruction 'frob'\n"
                         "bad.qxs:4: 'add' takes 3 operands (rd, ra, rb), not 2\n",
                         2});
    EXPECT_EQ("old", m_directory.read("bad.qxx"));
    EXPECT_EQ((std::vector<std::string>{"bad.qxs", "bad.qxx", "config"}), entries());
}

TEST_F(QxasTest, MacroFilesComeBeforeTheSourcesInTheirOrder) {
    // Each macro file also puts a word into the data section, which shows
    // the order the files were read in.
    std::string const first = std::string(k_macros) + ".data\n.word 1\n";
    std::string const second = std::string(k_more_macros) + ".data\n.word 2\n";
    std::string const program = ".code\nmain:   leave42\n";
    m_directory.write("macros.qxs", first);
    m_directory.write("more.qxs", second);
    m_directory.write("prog.qxs", program);

    expect({"-m", "macros.qxs", "--fovel-file", "more.qxs", "prog.qxs"}, {"", "", 0});
    expectProgram("prog.qxx", {{"macros.qxs", first}, {"more.qxs", second}, {"prog.qxs", program}});
    expect({"-m", "more.qxs", "-m", "macros.qxs", "prog.qxs", "-o", "other.qxx"}, {"", "", 0});
    expectProgram("other.qxx", {{"more.qxs", second}, {"macros.qxs", first}, {"prog.qxs", program}});
    EXPECT_NE(m_directory.read("prog.qxx"), m_directory.read("other.qxx"));
    // Errors name the file they are in, the macro file's and the source's alike.
    m_directory.write("broken.qxs", ".macro\n.endm\n");
    expect({"-m", "broken.qxs", "prog.qxs"}, {"",
                                              "broken.qxs:1: .macro needs a name\n"
                                              "broken.qxs:2: .endm without .macro\n"
                                              "prog.qxs:2: unknown instruction 'leave42'\n"
                                              "prog.qxs: no instructions: the code section is empty\n",
                                              2});
}

TEST_F(QxasTest, InfoDescribesInstructions) {
    std::string add;
    ASSERT_TRUE(Assembler::describeInstruction("add", add));
    struct Case {
        std::vector<std::string> arguments;
        Expected expected;
    } const cases[] = {
        {{"-i", "add"}, {add, "", 0}},
        {{"--info", "all"}, {Assembler::instructionSummary(), "", 0}},
        {{"-i", "frob"}, {"", "qxas: unknown instruction 'frob'; --info all lists every instruction\n", 1}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        expect(c.arguments, c.expected);
    }
}

TEST_F(QxasTest, DumpWritesTheProgramAsSourceThatAssemblesToIt) {
    m_directory.write("prog.qxs", k_program);
    expect({"prog.qxs"}, {"", "", 0});
    std::string const text = Assembler::disassemble(readImage("prog.qxx"));

    expect({"-d", "prog.qxx"}, {text, "", 0});
    expect({"--dump", "prog.qxx", "-o", "dumped.qxs"}, {"", "", 0});
    EXPECT_EQ(text, m_directory.read("dumped.qxs"));
    expect({"dumped.qxs"}, {"", "", 0});
    EXPECT_EQ(readImage("prog.qxx"), readImage("dumped.qxx"));
}

// A word naming a register the node lacks, or branching outside the code,
// is dumped as a raw word, so that the text assembles for the node.
TEST_F(QxasTest, DumpWritesWordsTheNodeCannotAssembleAsRawWords) {
    Qxx::QxxImage image;
    image.code.bytes.assign(24, 0);
    Qxx::store64(&image.code.bytes[0], 0x0228000000000001ull, image.byteOrder);   // li r40, 1
    Qxx::store64(&image.code.bytes[8], 0x0100010000000000ull, image.byteOrder);   // halt r1
    Qxx::store64(&image.code.bytes[16], 0x4000000000001000ull, image.byteOrder);  // jmp 0x1000
    std::string error;
    ASSERT_TRUE(Qxx::writeQxxFile(m_directory.file("odd.qxx"), image, error)) << error;
    expect({"-d", "odd.qxx", "-o", "odd.qxs"}, {"", "", 0});
    EXPECT_NE(std::string::npos, m_directory.read("odd.qxs").find(".inst 0x0228000000000001"));
    expect({"odd.qxs"}, {"", "", 0});
    EXPECT_EQ(image.code, readImage("odd.qxx").code);
}

TEST_F(QxasTest, RefusesBadUsageWithStatusOne) {
    m_directory.write("prog.qxs", k_program);
    m_directory.write("prog.qxx", "old");
    struct Case {
        char const* name;
        std::vector<std::string> arguments;
        Expected expected;
    } const cases[] = {
        {"no input", {}, {"", "qxas: No input files found.\n", 1}},
        {"unknown option",
         {"--frob", "prog.qxs"},
         {"",
          "qxas: Invalid command option found: --frob. Exiting. \nUse -h for a list of available options.\n",
          1}},
        {"output without value",
         {"prog.qxs", "-o"},
         {"", std::string("Error: --output/-o expected a value\n") + k_usage, 1}},
        {"dump without value", {"-d"}, {"", std::string("Error: --dump/-d expected a value\n") + k_usage, 1}},
        {"sources and info",
         {"prog.qxs", "-i", "add"},
         {"", "qxas: give source files, --info or --dump, only one of them\n", 1}},
        {"info and dump",
         {"-d", "prog.qxx", "-i", "add"},
         {"", "qxas: give source files, --info or --dump, only one of them\n", 1}},
        {"output over a source",
         {"prog.qxs", "-o", "./prog.qxs"},
         {"", "qxas: the output file ./prog.qxs is also an input file\n", 1}},
        {"executable given as the source",
         {"prog.qxx"},
         {"",
          "qxas: prog.qxx is not an assembly source but a qxx executable (qxas -d prog.qxx shows it as "
          "source text)\n",
          1}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        expect(c.arguments, c.expected);
    }
    EXPECT_EQ(k_program, m_directory.read("prog.qxs"));
    EXPECT_EQ("old", m_directory.read("prog.qxx"));
}

TEST_F(QxasTest, FilesThatCannotBeReadOrWrittenGiveStatusThreeAndLeaveNoFile) {
    m_directory.write("prog.qxs", k_program);
    m_directory.write("dir/keep", "");
    struct Case {
        char const* name;
        std::vector<std::string> arguments;
        std::string err;
    } const cases[] = {
        {"missing source", {"missing.qxs"}, "qxas: cannot read missing.qxs: No such file or directory\n"},
        {"every unreadable source",
         {"-m", "dir", "prog.qxs", "missing.qxs", "-o", "out.qxx"},
         "qxas: cannot read dir: Is a directory\nqxas: cannot read missing.qxs: No such file or directory\n"},
        {"output is a directory", {"prog.qxs", "-o", "dir"}, "qxas: cannot write dir: Is a directory\n"},
        {"output directory missing",
         {"prog.qxs", "-o", "none/out.qxx"},
         "qxas: cannot write none/out.qxx: No such file or directory\n"},
        {"dump of a source", {"-d", "prog.qxs"}, "qxas: prog.qxs: not a qxx file (bad magic number)\n"},
        {"dump of a missing file",
         {"-d", "missing.qxx"},
         "qxas: missing.qxx: cannot open: No such file or directory\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Subprocess::Result const result = qxas(c.arguments);
        EXPECT_EQ("", result.out);
        EXPECT_EQ(c.err, result.err);
        EXPECT_EQ(3, result.exit_status);
    }
    EXPECT_EQ((std::vector<std::string>{"config", "dir", "prog.qxs"}), entries());
    EXPECT_EQ((std::vector<std::string>{"keep"}), entries("dir"));
}

TEST_F(QxasTest, OutputThatIsNoRegularFileIsWrittenThroughAndLinksAreFollowed) {
    m_directory.write("prog.qxs", k_program);
    expect({"prog.qxs", "-o", "expected.qxx"}, {"", "", 0});
    std::string const program = m_directory.read("expected.qxx");
    std::string const text = Assembler::disassemble(readImage("expected.qxx"));
    m_directory.write("real/old.qxx", "old");
    ASSERT_EQ(0, symlink("real/old.qxx", m_directory.file("link.qxx").c_str()));
    std::filesystem::create_directory(m_directory.file("links"));
    ASSERT_EQ(0, symlink("../real/old.qxx", m_directory.file("links/relative.qxx").c_str()));
    ASSERT_EQ(0, symlink("links/relative.qxx", m_directory.file("chain.qxx").c_str()));
    ASSERT_EQ(0, symlink("real/new.qxx", m_directory.file("dangling.qxx").c_str()));
    ASSERT_EQ(0, mkfifo(m_directory.file("fifo").c_str(), 0600));
    std::string const device = nullDevice();
    struct Case {
        char const* name;
        std::vector<std::string> arguments;
        std::string written;  // what the file the output names holds afterwards
        std::string file;
    } const cases[] = {
        {"link", {"prog.qxs", "-o", "link.qxx"}, program, "real/old.qxx"},
        {"dump through a link", {"-d", "expected.qxx", "-o", "link.qxx"}, text, "real/old.qxx"},
        {"link to a link, relative to its directory",
         {"prog.qxs", "-o", "chain.qxx"},
         program,
         "real/old.qxx"},
        {"link to a new file", {"prog.qxs", "-o", "dangling.qxx"}, program, "real/new.qxx"},
        {"FIFO", {"prog.qxs", "-o", "fifo"}, program, ""},
        {"dump to a FIFO", {"-d", "expected.qxx", "-o", "fifo"}, text, ""},
        {"character device", {"prog.qxs", "-o", device}, "", ""},
        {"dump to a character device", {"-d", "expected.qxx", "-o", device}, "", ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.arguments.back().empty()) continue;  // no device to write to
        m_directory.write("real/old.qxx", "old");
        // Open for reading first, so that qxas's open does not wait; the
        // program fits in the FIFO's buffer.
        int const reader = open(m_directory.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_LE(0, reader);
        expect(c.arguments, {"", "", 0});
        std::string through(1 << 16, '\0');
        ssize_t const count = read(reader, through.data(), through.size());
        close(reader);
        through.resize(count < 0 ? 0 : size_t(count));
        EXPECT_EQ(c.file.empty() && c.arguments.back() == "fifo" ? c.written : "", through);
        if (!c.file.empty()) {
            EXPECT_EQ(c.written, m_directory.read(c.file));
        }
    }
    if (!device.empty()) {
        EXPECT_EQ(S_IFCHR, typeOf(device));
    }
    EXPECT_EQ(S_IFIFO, typeOf(m_directory.file("fifo")));
    for (char const* link : {"link.qxx", "chain.qxx", "links/relative.qxx", "dangling.qxx"}) {
        EXPECT_EQ(S_IFLNK, typeOf(m_directory.file(link))) << link;
    }
    std::vector<std::string> names = {"chain.qxx", "config", "dangling.qxx", "expected.qxx", "fifo",
                                      "link.qxx",  "links",  "prog.qxs",     "real"};
    if (!device.empty() && device != "/dev/null") names.push_back("zz-null");
    EXPECT_EQ(names, entries());
    EXPECT_EQ((std::vector<std::string>{"new.qxx", "old.qxx"}), entries("real"));
}

TEST_F(QxasTest, EmptyFileNamesAreUsageErrors) {
    m_directory.write("prog.qxs", k_program);
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    } const cases[] = {
        {{"prog.qxs", "-o", ""}, "qxas: the value of --output/-o is empty\n"},
        {{"--output", "", "prog.qxs"}, "qxas: the value of --output/-o is empty\n"},
        {{"-d", ""}, "qxas: the value of --dump/-d is empty\n"},
        {{"-m", "", "prog.qxs"}, "qxas: the value of --fovel-file/-m is empty\n"},
        {{"--info", ""}, "qxas: the value of --info/-i is empty\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.err);
        expect(c.arguments, {"", c.err, 1});
    }
    EXPECT_EQ((std::vector<std::string>{"config", "prog.qxs"}), entries());
}

TEST_F(QxasTest, InputsThatNeverEndAreRefused) {
    m_directory.write("prog.qxs", k_program);
    std::string const tooLarge = "more than " + std::to_string(Assembler::k_max_source_size) + " bytes\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    } const cases[] = {
        {{"/dev/zero", "-o", "out.qxx"}, "qxas: cannot read /dev/zero: " + tooLarge},
        {{"-m", "/dev/zero", "prog.qxs"}, "qxas: cannot read /dev/zero: " + tooLarge},
        {{"-d", "/dev/zero"}, "qxas: /dev/zero: not a regular file\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        expect(c.arguments, {"", c.err, 3});
    }
    EXPECT_EQ((std::vector<std::string>{"config", "prog.qxs"}), entries());
}

// Past a file size limit the write fails like any other, and the
// temporary file goes.
TEST_F(QxasTest, AFileSizeLimitFailsTheRunAndLeavesNoFile) {
    writeLongProgram("long.qxx", 10000);
    m_directory.write("out.qxx", "old");
    Subprocess::Result const result =
        Subprocess("/bin/sh")
            .args({"-c", "ulimit -f 8 && exec \"$0\" \"$@\"", QXAS_PATH, "-d", "long.qxx", "-o", "out.qxx"})
            .env("HOME", m_directory.path())
            .env("QXPATH", m_directory.file("config"))
            .workingDirectory(m_directory.path())
            .timeout(60s)
            .run();
    EXPECT_EQ("", result.out);
    EXPECT_EQ("qxas: cannot write out.qxx: File too large\n", result.err);
    EXPECT_EQ(3, result.exit_status);
    EXPECT_EQ("old", m_directory.read("out.qxx"));
    EXPECT_EQ((std::vector<std::string>{"config", "long.qxx", "out.qxx"}), entries());
}

// qxas blocks writing into a FIFO that is open but not read; SIGINT or
// SIGTERM then ends it as the signal does, and it leaves no file.
TEST_F(QxasTest, ASignalWhileWritingEndsTheRunAndLeavesNoFile) {
    writeLongProgram("long.qxx", 20000);
    ASSERT_EQ(0, mkfifo(m_directory.file("fifo").c_str(), 0600));
    for (int const number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(number);
        int const reader = open(m_directory.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_LE(0, reader);
        Subprocess::Running qxas = start({"-d", "long.qxx", "-o", "fifo"});
        ASSERT_LT(0, qxas.pid());
        // qxas is writing once the pipe holds data: poll wakes right then.
        pollfd ready{reader, POLLIN, 0};
        EXPECT_EQ(1, poll(&ready, 1, 60000));
        qxas.signal(number);
        std::optional<int> const status = qxas.waitForEnd(60s);
        close(reader);
        EXPECT_TRUE(status.has_value());
        EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == number) << status.value_or(-1);
        EXPECT_EQ(S_IFIFO, typeOf(m_directory.file("fifo")));
        EXPECT_EQ((std::vector<std::string>{"config", "fifo", "long.qxx"}), entries());
    }
}

TEST_F(QxasTest, AssemblesForTheDefaultNodesTarget) {
    m_directory.write("prog.qxs", k_program);
    m_directory.write("big/target_device.cfg", configurationWith("endianness", "big"));
    m_directory.write("high/target_device.cfg", configurationWith("mono-memory-start", "0x1000"));
    m_directory.write("few/target_device.cfg", configurationWith("mono-registers-size", "8"));

    expect({"--useconfig", "big/target_device.cfg", "prog.qxs", "-o", "big.qxx"}, {"", "", 0});
    EXPECT_EQ(Qxx::ByteOrder::Big, readImage("big.qxx").byteOrder);

    expect({"--useconfig", "high/target_device.cfg", "prog.qxs", "-o", "high.qxx"}, {"", "", 0});
    EXPECT_EQ(0x1000u, readImage("high.qxx").data.address);

    expect({"--useconfig", "few/target_device.cfg", "prog.qxs", "-o", "few.qxx"},
           {"",
            "prog.qxs:6: no register r2 (the processor has 2 mono registers r0..r1)\n"
            "prog.qxs:7: no register r2 (the processor has 2 mono registers r0..r1)\n",
            2});
    EXPECT_FALSE(m_directory.exists("few.qxx"));
}

TEST_F(QxasTest, RefusesANodeThatIsNotTev) {
    m_directory.write("prog.qxs", k_program);
    m_directory.write("osra/target_device.cfg", configurationWith("instruction-set", "osra"));
    m_directory.write("wide/target_device.cfg", configurationWith("instruction-size", "16"));
    m_directory.write("broken/target_device.cfg", "system.chip-ids[] = 0\nchip-id = 0\nnode-id = 0\n");
    struct Case {
        char const* name;
        std::vector<std::string> arguments;
        Expected expected;
    } const cases[] = {
        {"instruction set",
         {"--useconfig", "osra/target_device.cfg", "prog.qxs"},
         {"", "qxas: the default node's instruction set is 'osra'; qxas assembles tev programs only\n", 1}},
        {"instruction size",
         {"--useconfig", "wide/target_device.cfg", "prog.qxs"},
         {"", "qxas: the default node's instruction size is 16 bytes; tev instructions are 8 bytes\n", 1}},
        {"help for another instruction set",
         {"--useconfig", "osra/target_device.cfg", "-h"},
         {k_usage, "", 0}},
        {"no system model",
         {"--useconfig", "broken/target_device.cfg", "prog.qxs"},
         {"",
          "ERROR: InvalidSystemConfigurationException: Failed to find one or more required system "
          "properties.\n"
          "Could not find 'system.chips'\n",
          255}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        expect(c.arguments, c.expected);
    }
    EXPECT_FALSE(m_directory.exists("prog.qxx"));
}

}  // namespace

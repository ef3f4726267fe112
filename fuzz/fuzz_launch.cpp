// The hosted program's command line and program file, formed from arbitrary
// fields and destination sizes.
#include "fuzz_support.h"

#include "host/portable_launch.h"
#include "settings/settings.h"
#include "text/sjis_path.h"

// The program the system starts for a command line given without an
// application name: up to the closing quote when the line opens with one,
// otherwise up to the first space or tab.
static std::string ModuleNameOf(const std::string& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(" \t"));
}

// The file kavo names to the system for a command line: its first name,
// with ".exe" when the name's last component has no dot.
static void CheckProgramFile(const std::string& commandLine, size_t size)
{
    std::string name = ModuleNameOf(commandLine);
    std::vector<bool> starts = CharacterStarts(name);
    size_t componentStart = 0;
    for (size_t i = 0; i < name.size(); ++i)
        if ((starts[i] && name[i] == '\\') || name[i] == '/')
            componentStart = i + 1;
    std::string wanted = name;
    if (name.find('.', componentStart) == std::string::npos)
        wanted += ".exe";
    TextBlock line(commandLine);
    Block file(size);
    int formed = FormProgramFile(line.bytes, file.bytes, size);
    FUZZ_CHECK(formed == (!name.empty() && wanted.size() < size ? 1 : 0));
    if (size)
        FUZZ_CHECK(file.Text() == (formed ? wanted : ""));
}

static void CheckLaunch(const std::string& programPath, const std::string& options, size_t lineSize)
{
    TextBlock path(programPath);
    TextBlock extra(options);
    Block line(lineSize);
    int formed = BuildChildLaunch(path.bytes, extra.bytes, line.bytes, lineSize);

    bool quoted = programPath.find(' ') != std::string::npos && programPath[0] != '"';
    std::string program = quoted ? "\"" + programPath + "\"" : programPath;
    std::string wantedLine = program + " " + options;

    // Refused only when it does not fit; never cut.
    FUZZ_CHECK(formed == (wantedLine.size() < lineSize ? 1 : 0));
    if (formed) {
        std::string formedLine = line.Text();
        FUZZ_CHECK(formedLine == wantedLine);
        // The line starts with the whole program path, and a path the user
        // did not quote is the program the system will start. (The system
        // also splits at a tab, which kavo does not quote: no file name holds one.)
        FUZZ_CHECK(StartsWith(formedLine, program));
        if (programPath.find_first_of("\"\t") == std::string::npos)
            FUZZ_CHECK(ModuleNameOf(formedLine) == programPath);
        for (size_t fileSize : SizesAround(programPath.size() + 4, TEXT_SIZE))
            CheckProgramFile(formedLine, fileSize);
    } else if (lineSize > 0) {
        FUZZ_CHECK(line.Text().empty());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    UseFuzzedCodePage(input.Byte());
    size_t lineSize = input.Byte() | (size_t)(input.Byte() & 3) << 8;
    std::string programPath = input.Text();
    std::string options = input.Text();

    // The product's own sizes: fields of up to 259 bytes always fit.
    CheckLaunch(programPath, options, COMMAND_LINE_SIZE);
    if (programPath.size() < TEXT_SIZE && options.size() < TEXT_SIZE) {
        char line[COMMAND_LINE_SIZE];
        FUZZ_CHECK(BuildChildLaunch(programPath.c_str(), options.c_str(), line, sizeof line) == 1);
    }
    CheckLaunch(programPath, options, lineSize);
    return 0;
}

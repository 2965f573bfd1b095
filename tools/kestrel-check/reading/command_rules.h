// kestrel's command table as the checker sees it: for every command number its
// name, the shape of its arguments and the buffers that read them. A unit test
// holds the names against the engine's own table.
#pragma once
#include <cstddef>

namespace check {

enum class CommandShape {
    EndOfSection,    // 0: ends the section; the loop enters the next one
    NoArguments,     // reads no argument at all
    FromData,        // reads its key from [DATA] whatever argument 0 says
    LinkFile,        // argument 0 names a section holding one key
    Registry,        // argument 0 names a section of Reg* keys
    Spawn,           // a command text and a wait choice, single or section form
    Sleep,           // argument 0 is a number of milliseconds
    RegistryList,    // argument 0 names a section of six-field action lines
    FileCommand,     // single form (argument 0 empty) or a list section
    MessageBox,      // "<argument 0>.US", a box kind, answers that branch
    Branch,          // arguments are command sections chosen by an outcome
    SystemIdBranch,  // argument 0 is an ID list, then two branch targets
    SetValue,        // section, key, value: single form or list of triples
    SetVariable,     // name, value: single form or list of pairs
    AppendFile,      // argument 0 is the path of a file to append
    ExitAndDelete,   // deletes like the delete command, then ends the run
    LogMessage,      // logs argument 0 as written
    Unsupported,     // logged and skipped
};
inline constexpr int kShapeCount = static_cast<int>(CommandShape::Unsupported) + 1;

// A key of an argument section, with the buffer that reads it.
struct KeyRule {
    const char *key;
    size_t capacity;
    bool expanded;  // variable tokens in it are replaced
};

// One outcome of a branch: the argument that names its section.
struct Outcome {
    int argument;
    const char *when;  // the fact that chooses it, for messages
};

struct BranchRule {
    const Outcome *outcomes;
    size_t count;
    bool expandsTargets;  // the chosen argument goes through variable expansion
};

enum class ListLine { Path, Pair };

struct FileRule {
    int singleOperands;        // arguments 1, or 1 and 2, in the single form
    size_t singleCapacity[2];  // buffers of those operands
    ListLine lineKind;
    size_t listCapacity[2];    // buffers of a path line, or of a pair's two sides
    bool sourceWildcardSkips;  // '*' in a list line's path or source skips the line
    bool semicolonIsPath;      // the list line is used whole: a ';' is no comment
};

struct CommandRule {
    const char *name;  // as the run's log shows it
    CommandShape shape;
    const KeyRule *keys = nullptr;  // LinkFile, Registry, Spawn (section form)
    size_t keyCount = 0;
    const BranchRule *branch = nullptr;
    const FileRule *file = nullptr;
    const char *dataKey = nullptr;  // FromData: the [DATA] key it reads
};

inline constexpr int kLastCommandNumber = 38;

// The rule of a command number; null outside 0 to 38.
const CommandRule *FindCommandRule(int number);

// Argument 0 of every command is read into the run's 256-character argument
// section; the names of command sections live in 128-character texts.
inline constexpr size_t kArgumentCapacity = 256;
inline constexpr size_t kSectionNameCapacity = 128;

}  // namespace check

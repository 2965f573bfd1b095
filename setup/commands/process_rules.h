// Plain rules of the process, pause and message commands: the working directory
// of a started program, the pause length, and the message box kinds. No I/O and
// no Windows headers.
#pragma once
#include <cstddef>

// The working directory for a command text: the program path (the text before
// the first blank, or between the quotes of a quoted path) up to its last
// backslash, with a backslash after a drive alone ("C:" gives "C:\"). False when
// the program path holds no backslash: the program's own current directory is
// used then. A directory that does not fit the buffer is refused (false).
bool DeriveWorkingDirectory(const char *commandText, char *out, size_t capacity);

// The pause of the Sleep command: the leading decimal number of the text (blanks
// and a sign accepted; text without a number reads as 0). Values above the
// largest int are held there, so every pause ends.
struct PauseLength {
    bool negative = false;  // refused: a negative number would pause without end
    unsigned long milliseconds = 0;
};
PauseLength ReadPauseLength(const char *textValue);

// The answers of a message box, as the system reports them.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

struct BoxKind {
    unsigned style;         // system-modal, buttons and icon
    bool question;          // the answer chooses the next command section
    int silentAnswer;       // what a silent run answers a question box with
    int firstAnswer;        // the answer that picks argument 2
    int secondAnswer;       // the answer that picks argument 3 (0: none, all others pick 3)
};
// The box for a kind number; every unknown kind is a plain box with an OK button.
const BoxKind &BoxKindFor(int kind);
// The argument (2, 3 or 4) that an answer to a question box names.
int BranchArgumentFor(const BoxKind &box, int answer);

// One "Message%d" value of a message section, as it adds to the box text.
enum class MessageLine {
    End,    // empty, or "NO TEXT" (what an absent key reads as): the text is complete
    Empty,  // starts with ';': an empty line
    Text,   // the value and a line break
};
MessageLine ClassifyMessageLine(const char *value);

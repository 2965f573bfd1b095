// The command table: every command number, its name as the log shows it, its
// handler and what the loop does after it. Numbers 0 to 38 are accepted.
#pragma once

// Handlers take no arguments: they read the run state and the script file. They
// return 0 (done), 2 (failed, already logged) or 1 (end the run).
using CommandHandler = int (*)();

enum class AfterCommand {
    Advance,          // cursor + 1, saved; the result is ignored
    AdvanceThenStop,  // cursor + 1, saved; a non-zero result ends the run
    StopAtOnce,       // cursor not written; a non-zero result ends the run
    EndOfSection,     // number 0: the loop enters the next section or ends
};

struct CommandRow {
    const char *name;
    CommandHandler handler;
    bool argumentsFromData;  // the loop reads this command's keys from [DATA]
    AfterCommand after;
    // Something else than kestrel may change the script file during the command
    // (a program it starts): the loop then saves the whole file after it.
    bool mayWriteScript = false;
};

inline constexpr int kLastCommandNumber = 38;

// The row of a number, or null for a number outside 0 to 38.
const CommandRow *FindCommand(int number);
// What the "CMD%d> %s: %d%s" line shows as the name of a number.
const char *CommandDisplayName(int number);

// The trivial handlers the table owns itself.
int CmdNotSupported();
int CmdLogMessage();
int CmdDoNothing();

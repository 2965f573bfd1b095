// hwinventory: runs kestrel's hardware inventory and writes [Hardware Detect],
// for the live machine or for a captured one (a raw memory image or a dmidecode
// dump), so that engineers see what kestrel will see there.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "engine/bounded_text.h"
#include "engine/install_log.h"
#include "engine/profile_number_rules.h"
#include "engine/run_state.h"
#include "hardware/hardware_diagnostics.h"
#include "hardware/hwquery_client.h"
#include "hardware/id_list_rules.h"
#include "hardware/inventory.h"
#include "hardware/memory_source.h"
#include "hardware/physical_memory.h"
#include "hardware/smbios_table.h"

namespace {

enum ExitStatus { kDone = 0, kFileFailed = 1, kNoSmbios = 2, kBadCommandLine = 3 };

const char kUsage[] =
    "Usage: hwinventory [--image FILE | --dump FILE] [--ini OUT] [--script SCRIPT]\n"
    "\n"
    "Takes kestrel's hardware inventory and writes it to [Hardware Detect] of OUT.\n"
    "  (no source)    the live machine, as kestrel reads it\n"
    "  --image FILE   a raw physical-memory image; the file offset is the address\n"
    "  --dump FILE    a file written by dmidecode --dump-bin\n"
    "  --ini OUT      where [Hardware Detect] goes (default C:\\system.sav\\util\\mira.ini)\n"
    "  --script FILE  also write [DATA] SYSID and IsNorvik into this script file\n"
    "Every key written is printed as key=value. OUT also receives [DATA] SYSID,\n"
    "which a plan (kestrel-check --plan --machine OUT) needs; the board ID as\n"
    "kestrel reads it is told on standard error, with a warning when it reads as 0.\n"
    "Exit status: 0 done, 1 a file could not be read or written (HwQuery.dll\n"
    "included, for a machine without SMBIOS), 2 no SMBIOS 2.x entry point in the\n"
    "image or dump, or a structure table outside it or without structures,\n"
    "3 bad command line.\n";

struct Options {
    const char *image = nullptr;
    const char *dump = nullptr;
    const char *ini = nullptr;
    const char *script = nullptr;
    bool help = false;
};

bool ParseOptions(int argc, char **argv, Options &options, std::string &problem) {
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0 || strcmp(argument, "/?") == 0) {
            options.help = true;
            continue;
        }
        const char **slot = nullptr;
        if (strcmp(argument, "--image") == 0) slot = &options.image;
        if (strcmp(argument, "--dump") == 0) slot = &options.dump;
        if (strcmp(argument, "--ini") == 0) slot = &options.ini;
        if (strcmp(argument, "--script") == 0) slot = &options.script;
        if (!slot) {
            problem = std::string("unknown argument ") + argument;
            return false;
        }
        if (*slot) {
            problem = std::string(argument) + " given twice";
            return false;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            problem = std::string(argument) + " needs a file name";
            return false;
        }
        *slot = argv[++i];
    }
    if (options.image && options.dump) {
        problem = "--image and --dump exclude each other";
        return false;
    }
    return true;
}

// The profile functions put a bare or relative name into the Windows folder;
// the user means the current folder.
std::string FullPath(const char *path) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return path;
    return full;
}

int Fail(int status, const std::string &message) {
    fprintf(stderr, "hwinventory: %s\n", message.c_str());
    return status;
}

// The list lines that match an ID, each once (lines are compared without regard
// to case), written the way people write them.
std::string MatchingListLines(unsigned id) {
    const IdRenderings renderings = RenderBoardId(id);
    std::string lines;
    std::string seen = ",";
    for (const char *rendering : renderings.text) {
        std::string line = rendering;
        for (size_t i = 0; i < line.size(); ++i)
            line[i] = i == 1 && line[0] == '0' && (line[1] == 'X' || line[1] == 'x')
                          ? 'x'
                          : static_cast<char>(toupper(static_cast<unsigned char>(line[i])));
        if (seen.find("," + line + ",") != std::string::npos) continue;
        seen += line + ",";
        lines += (lines.empty() ? "" : ", ") + line;
    }
    return lines;
}

// The branch on the board ID reads [DATA] SYSID as a number: tell what it will
// read, and warn where that can never match a list.
void ReportBoardId(const InventoryOutcome &outcome) {
    if (!outcome.systemIdGiven) {
        fprintf(stderr,
                "hwinventory: WARNING: the board product gives no ID (no baseboard structure, or no product text): "
                "SYSID is not written, and the branch on the board ID reads the script's own [DATA] SYSID, else 0\n");
        return;
    }
    const unsigned id = BoardIdFromText(outcome.systemId);
    const std::string surprise = ProfileNumberSurprise(outcome.systemId);
    const std::string why = surprise.empty() ? "" : outcome.systemId + " " + surprise;
    if (id == 0) {
        fprintf(stderr,
                "hwinventory: WARNING: SYSID=%s: kestrel reads the board ID as 0X0000, which no ID list matches%s\n",
                outcome.systemId.c_str(), why.empty() ? "" : (" (" + why + ")").c_str());
        return;
    }
    fprintf(stderr, "hwinventory: %sSYSID=%s: kestrel reads the board ID as 0X%04X; list lines that match it: %s%s\n",
            why.empty() ? "" : "WARNING: ", outcome.systemId.c_str(), id, MatchingListLines(id).c_str(),
            why.empty() ? "" : ("; " + why).c_str());
}

// A plan made from the machine file needs the board ID that the working copy
// gets; a run that gives none leaves none from an earlier run behind.
bool WriteMachineBoardId(const std::string &ini, const InventoryOutcome &outcome, std::string &problem) {
    const char *value = outcome.systemIdGiven ? outcome.systemId.c_str() : nullptr;
    if (WritePrivateProfileStringA("DATA", "SYSID", value, ini.c_str())) return true;
    if (!value) return true;  // nothing to remove
    char reason[512];
    DescribeLastError(reason, sizeof reason);
    problem = "cannot write " + ini + ": " + reason;
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    std::string problem;
    if (!ParseOptions(argc, argv, options, problem)) {
        fprintf(stderr, "hwinventory: %s\n\n%s", problem.c_str(), kUsage);
        return kBadCommandLine;
    }
    if (options.help) {
        fputs(kUsage, stdout);
        return kDone;
    }
    SetHardwareDiagnostics(stderr);

    std::unique_ptr<SmbiosTable> table;
    const char *captured = options.image ? options.image : options.dump;
    if (options.image) {
        auto image = std::make_unique<ImageFileMemory>(options.image);
        if (!image->Open(problem)) return Fail(kFileFailed, problem);
        table = std::make_unique<SmbiosTable>(std::move(image));
    } else if (options.dump) {
        std::unique_ptr<ByteMemory> dump = LoadDumpMemory(options.dump, problem);
        if (!dump) return Fail(kFileFailed, problem);
        table = std::make_unique<SmbiosTable>(std::move(dump));
    } else {
        table = OpenLiveSmbiosTable();
    }

    if (!table->EntryPoint()) {
        if (captured && table->TableUnreachable()) {
            char message[96];
            snprintf(message, sizeof message, "the SMBIOS structure table at %08X (%u bytes) lies outside ",
                     table->StructureTableAddress(), static_cast<unsigned>(table->StructureTableLength()));
            return Fail(kNoSmbios, message + std::string(captured));
        }
        if (captured) return Fail(kNoSmbios, std::string(captured) + " holds no SMBIOS 2.x entry point");
        fprintf(stderr, "hwinventory: no SMBIOS entry point here; asking the operating system instead\n");
    } else if (!table->EntryPointValid()) {
        char message[96];
        snprintf(message, sizeof message, "the SMBIOS anchor at %08X fails its checks", table->EntryPointAddress());
        // A captured file with a broken entry point is no SMBIOS 2.x capture; a
        // live machine goes on as kestrel does, with no structures.
        if (captured) return Fail(kNoSmbios, std::string(captured) + ": " + message);
        fprintf(stderr, "hwinventory: %s; no structure is read\n", message);
    } else if (!table->HoldsStructures()) {
        char message[112];
        text::FormatBounded(message, sizeof message, "the SMBIOS structure table at %08X (%u bytes) holds no structure",
                            table->StructureTableAddress(), static_cast<unsigned>(table->StructureTableLength()));
        // An empty inventory from a capture says nothing about the machine.
        if (captured) return Fail(kNoSmbios, std::string(captured) + ": " + message);
        fprintf(stderr, "hwinventory: WARNING: %s; kestrel finds nothing here either\n", message);
    }

    const std::string ini = FullPath(options.ini ? options.ini : kHardwareInfoFile);
    const std::string script = options.script ? FullPath(options.script) : std::string();
    InventoryTarget target;
    target.hardwareFile = ini.c_str();
    target.scriptFile = options.script ? script.c_str() : nullptr;
    target.echo = stdout;
    InventoryOutcome outcome = RunHardwareInventory(table.get(), target);
    fflush(stdout);
    if (!outcome.writeFailure.empty()) return Fail(kFileFailed, outcome.writeFailure);
    if (outcome.fallbackUnavailable) {
        return Fail(kFileFailed,
                    std::string("cannot load ") + kHwQueryLibraryName + " from this program's folder; nothing written");
    }
    if (!WriteMachineBoardId(ini, outcome, problem)) return Fail(kFileFailed, problem);
    ReportBoardId(outcome);
    return kDone;
}

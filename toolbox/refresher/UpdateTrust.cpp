#include "UpdateTrust.h"

#include <windows.h>

#include "FileUtils.h"
#include "FolderSecurity.h"
#include "Format.h"
#include "LogSink.h"
#include "UpdateAgent.h"
#include "UpdateTrustRules.h"

using logging::kDetail;
using logging::kError;

namespace {

const char kUnit[] = "UpdateAgent";
// Only SYSTEM and Administrators, nothing inherited from the agent folder.
const char kStagingAccess[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
const size_t kPathBufferSize = 520;

int32_t LastError() { return static_cast<int32_t>(GetLastError()); }

struct FileId {
    bool known = false;
    DWORD volume = 0, high = 0, low = 0;
    bool SameAs(const FileId &other) const {
        return known && other.known && volume == other.volume && high == other.high && low == other.low;
    }
};

FileId IdOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return FileId{};
    return FileId{true, info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// The identity of the file or folder a path leads to; unknown when it cannot be opened.
FileId IdOf(const std::string &path) {
    util::ScopedHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.Valid() ? IdOf(file.Get()) : FileId{};
}

// The path with every short name spelled out; the path itself when it does not exist.
std::string LongPath(const std::string &path) {
    char buffer[kPathBufferSize] = "";
    DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
    return length == 0 || length >= sizeof buffer ? path : std::string(buffer, length);
}

std::string NameOf(const std::string &path) { return path.substr(path.find_last_of("\\/") + 1); }

std::string Lower(std::string text) {
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::string ModulePath(HMODULE module) {
    char buffer[kPathBufferSize] = "";
    DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
    return length == 0 || length >= sizeof buffer ? std::string() : std::string(buffer, length);
}

HMODULE ThisPlugin() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&TouchesRunningFiles), &module);
    return module;
}

// The account this process runs as: for the agent's service, SYSTEM itself.
SidBytes OwnAccount() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return SidBytes();
    util::ScopedHandle tokenOwner(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> buffer(size ? size : 1);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return SidBytes();
    PSID sid = reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
    return SidBytes(static_cast<const char *>(sid), GetLengthSid(sid));
}

[[noreturn]] void RefuseSource(IToolboxHost *host, size_t entry, const std::string &source, const std::string &reason,
                               int32_t error) {
    host->Log(kError, "%s:%d - File%u is refused, %s: %s", kUnit, __LINE__, static_cast<unsigned>(entry),
              reason.c_str(), source.c_str());
    throw UpdateAgent::RefresherError(kUnit, __LINE__, "source file is not trusted", static_cast<int32_t>(entry),
                                      error);
}

std::string VerdictText(const SecurityVerdict &verdict) {
    switch (verdict.kind) {
    case SecurityVerdict::kTrusted: return "it is trusted";
    case SecurityVerdict::kMalformed: return "its security cannot be read";
    case SecurityVerdict::kNoOwner: return "it has no owner";
    case SecurityVerdict::kOwnerNotTrusted:
        return "its owner " + verdict.account + " is not SYSTEM, Administrators or the agent's account";
    case SecurityVerdict::kNoAccessList: return "it has no access list, so everyone may change it";
    case SecurityVerdict::kOthersMayChange: return verdict.account + " may change it";
    }
    return "its security cannot be judged";
}

}  // namespace

int FirstPairTheSystemRenames(const FileList &files) {
    for (size_t i = 0; i < files.size(); ++i) {
        for (const std::string *path : {&files[i].source, &files[i].destination}) {
            char formed[kPathBufferSize] = "";
            DWORD length = GetFullPathNameA(path->c_str(), sizeof formed, formed, nullptr);
            if (length == 0 || length >= sizeof formed || std::string(formed, length) != *path)
                return static_cast<int>(i);
        }
    }
    return -1;
}

void CheckUpdateBoundary(IToolboxHost *host, const FileList &files, const std::string &tempFolder,
                         const std::string &agentFolder) {
    // Taken from the temp folder, a new file would be the agent's own file, deleted once
    // "copied" over itself; and every working file of the update would be a source.
    const FileId temp = IdOf(tempFolder), agent = IdOf(agentFolder);
    if (temp.SameAs(agent) || Lower(LongPath(tempFolder)) == Lower(LongPath(agentFolder))) {
        host->Log(kError, "%s:%d - the temp folder %s is the agent folder %s; nothing is updated from it", kUnit,
                  __LINE__, tempFolder.c_str(), agentFolder.c_str());
        throw UpdateAgent::RefresherError(kUnit, __LINE__, "temp folder is the agent folder", 0,
                                          ERROR_INVALID_PARAMETER);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const UpdatePair &pair = files[i];
        const std::string longName = NameOf(LongPath(pair.destination));
        if (IsWorkingName(NameOf(pair.destination)) || IsWorkingName(longName)) {
            host->Log(kError, "%s:%d - File%u is refused, %s is a working file of the update", kUnit, __LINE__,
                      static_cast<unsigned>(i), pair.destination.c_str());
            throw UpdateAgent::RefresherError(kUnit, __LINE__, "destination is a working file of the update",
                                              static_cast<int32_t>(i), ERROR_INVALID_NAME);
        }
        if (IdOf(pair.source).SameAs(IdOf(pair.destination))) {
            host->Log(kError, "%s:%d - File%u is refused, %s and %s are the same file", kUnit, __LINE__,
                      static_cast<unsigned>(i), pair.source.c_str(), pair.destination.c_str());
            throw UpdateAgent::RefresherError(kUnit, __LINE__, "source and destination are the same file",
                                              static_cast<int32_t>(i), ERROR_INVALID_PARAMETER);
        }
    }
}

bool TouchesRunningFiles(const FileList &files) {
    FileList longNames = files;
    for (UpdatePair &pair : longNames) pair.destination = LongPath(pair.destination);
    if (NeedsExternalUpdate(longNames)) return true;
    const FileId agent = IdOf(ModulePath(nullptr)), plugin = IdOf(ModulePath(ThisPlugin()));
    for (const UpdatePair &pair : files) {
        const FileId destination = IdOf(pair.destination);
        if (destination.SameAs(agent) || destination.SameAs(plugin)) return true;
    }
    return false;
}

void HeldSources::HoldAndCheck(IToolboxHost *host, const FileList &files) {
    const std::vector<SidBytes> ownAccount{OwnAccount()};
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string &source = files[i].source;
        // Read sharing only: whoever has it open for writing makes this open fail, and
        // while it is held nobody can open it to write, rename, replace or delete it.
        // A link is not followed: the file checked is the file in the temp folder.
        auto held = std::make_unique<Held>();
        held->source = source;
        held->handle.Reset(CreateFileA(source.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!held->handle.Valid()) {
            const int32_t error = LastError();
            RefuseSource(host, i, source,
                         error == ERROR_SHARING_VIOLATION ? "another process has it open"
                                                          : util::Format("it cannot be opened (error %d)", error),
                         error);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(held->handle.Get(), &info))
            RefuseSource(host, i, source, "its attributes cannot be read", LastError());
        if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            RefuseSource(host, i, source, "it is not a plain file", ERROR_ACCESS_DENIED);
        // A second name may lie where others can reach it, or be a file placed for
        // another purpose.
        if (info.nNumberOfLinks != 1)
            RefuseSource(host, i, source, util::Format("it has %lu names", info.nNumberOfLinks), ERROR_ACCESS_DENIED);

        const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        DWORD size = 0;
        GetKernelObjectSecurity(held->handle.Get(), wanted, nullptr, 0, &size);
        std::vector<uint8_t> descriptor(size);
        if (size == 0 || !GetKernelObjectSecurity(held->handle.Get(), wanted, descriptor.data(), size, &size))
            RefuseSource(host, i, source, "its security cannot be read", LastError());
        const SecurityVerdict verdict = JudgeFileSecurity(descriptor, ownAccount);
        if (verdict.kind != SecurityVerdict::kTrusted)
            RefuseSource(host, i, source, VerdictText(verdict), ERROR_ACCESS_DENIED);
        host->Log(kDetail, "%s:%d - File%u held and trusted: %s", kUnit, __LINE__, static_cast<unsigned>(i),
                  source.c_str());
        held_.push_back(std::move(held));
    }
}

void HeldSources::Release(const std::string &source) {
    for (auto &held : held_) {
        if (held->source == source) held->handle.Reset();
    }
}

FileList StageSources(IToolboxHost *host, const std::string &agentFolder, const FileList &files) {
    const std::string folder = agentFolder + working_names::kStagingFolder;
    const util::FolderSecured secured = util::SecureFolder(folder, kStagingAccess);
    if (secured.kind != util::FolderSecured::kSecured) {
        const int32_t error =
            secured.kind == util::FolderSecured::kReparsePoint ? ERROR_ACCESS_DENIED : static_cast<int32_t>(secured.error);
        host->Log(kError, "%s:%d - the staging folder %s cannot be made or restricted%s (error %d)", kUnit, __LINE__,
                  folder.c_str(), secured.kind == util::FolderSecured::kReparsePoint ? ": it is a reparse point" : "",
                  error);
        throw UpdateAgent::RefresherError(kUnit, __LINE__, "update files could not be staged", 1, error);
    }
    // Copies of an earlier update: no script uses them while the update lock is held.
    WIN32_FIND_DATAA found;
    {
        util::ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
        if (find.Valid()) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((folder + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(find.Get(), &found));
        }
    }
    FileList staged;
    for (const UpdatePair &pair : files) {
        const std::string copy = folder + "\\" + NameOf(pair.source);
        host->Log(kDetail, "%s:%d - staging %s as %s", kUnit, __LINE__, pair.source.c_str(), copy.c_str());
        int32_t error = 0;
        if (!CopyFileA(pair.source.c_str(), copy.c_str(), FALSE)) {
            error = LastError();
        } else {
            // Flushed before the list that names it is written.
            util::ScopedHandle file(CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!file.Valid() || !FlushFileBuffers(file.Get())) error = LastError();
        }
        if (error != 0) {
            host->Log(kError, "%s:%d - %s could not be staged, error %d", kUnit, __LINE__, pair.source.c_str(), error);
            throw UpdateAgent::RefresherError(kUnit, __LINE__, "update files could not be staged", 1, error);
        }
        staged.push_back(UpdatePair{copy, pair.destination});
    }
    return staged;
}

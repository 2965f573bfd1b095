#include "UpdateAgent.h"

#include <windows.h>

#include <fstream>
#include <vector>

#include "FileUtils.h"
#include "Format.h"
#include "LogSink.h"
#include "Toolbox.h"
#include "UpdateScript.h"
#include "UpdateTrust.h"
#include "UpdateTrustRules.h"
#include "WinOwners.h"

using logging::kDetail;
using logging::kError;
using logging::kInfo;

namespace {

const char kUnit[] = "UpdateAgent";
logging::NullLogSink g_fallbackSink;

// What the host's update machinery needs to find this plug-in's files.
const char kPluginName[] = "refresher";
const char kNamePrefix[] = "tessaro-";
const char kProcessorTag[] = ".X64";
const char kExtension[] = ".dll";
const char kInstallFolder[] = "agents\\corvid\\";
const char kWildcard[] = "-*";

// The update's own names in the agent folder are kept in one list, beside the rule that
// keeps requests off them.
const char *const kScriptName = working_names::kUpdateScript;
const char *const kListName = working_names::kUpdateList;
const char *const kUpdateLogName = working_names::kUpdateLog;
const char kScriptHost[] = "cscript.exe";
// Batch mode, no logo, and a time limit well above the script's own longest run (stop
// wait, start tries, health window, then the same again to go back).
const char kScriptHostOptions[] = "//B //Nologo //T:3600";
// How long the request watches the script it started: long enough to see it fail at once.
const DWORD kScriptWatchMs = 5000;

const int kCopyTries = 3;
const DWORD kCopyPauseMs = 500;
const size_t kPathBufferSize = 520;

int32_t LastError() { return static_cast<int32_t>(GetLastError()); }

// Writes text (line ends become CR LF) at the end of a file, creating it. True when the
// whole text reached the file.
bool AppendText(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::out | std::ios::app);
    out << text;
    out.close();
    return !out.fail();
}

std::string VersionSuffix() {
    int32_t major = 0, minor = 0, build = 0;
    Toolbox::GetToolboxVersion(&major, &minor, &build);
    return util::Format("-%d.%d.%d", major, minor, build);
}

}  // namespace

void BuildFileList(IToolboxHost *host, IToolboxMessage *message, const std::string &tempFolder,
                   const std::string &agentFolder, FileList &files) {
    int32_t count = message->GetInt("FileCount");
    for (int32_t i = 0; i < count; ++i) {
        std::string key = util::Format("File%d", i);
        std::string value = message->GetString(key.c_str());
        if (value.empty()) {
            host->Log(kError, "%s:%d File Count is incorrect, %s is empty", kUnit, __LINE__, key.c_str());
            throw UpdateAgent::RefresherError(kUnit, __LINE__, "FileCount is empty", 0, 0);
        }
        std::string source = SourcePathFor(value, tempFolder);

        PathParts parts;
        int splitError = SplitPath(source, parts);
        if (splitError != 0) {
            host->Log(kError, "%s:%d _splitpath failed, %u is empty", kUnit, __LINE__,
                      static_cast<unsigned>(splitError));
            throw UpdateAgent::RefresherError(kUnit, __LINE__, "_splitpath failure", 0, splitError);
        }
        host->Log(kDetail, "%s:%d splitpath returned:\n%s\n%s\n%s\n%s", kUnit, __LINE__, parts.drive, parts.folder,
                  parts.name, parts.extension);

        const std::array<std::string, 3> strTemp = DestinationStemSteps(parts.name);
        for (const std::string &step : strTemp) host->Log(kDetail, "%s:%d strTemp = %s", kUnit, __LINE__, step.c_str());
        std::string destinationName = DestinationNameFor(parts.name, parts.extension);
        host->Log(kDetail, "%s:%d destination file is %s", kUnit, __LINE__, destinationName.c_str());

        std::string destination = agentFolder + destinationName;
        host->Log(kDetail, "%s:%d Adding %s -AND- %s to file list", kUnit, __LINE__, source.c_str(),
                  destination.c_str());
        files.push_back(UpdatePair{source, destination});
    }
}

int32_t UpdateInfo::HandleMessage(IToolboxMessage *message, IToolboxHost *) {
    int32_t entry = 0;
    message->GetIntField("Auto-Update-Count", &entry);
    const std::string prefixedName = std::string(kNamePrefix) + kPluginName;
    message->SetString(util::Format("Auto-Update-Current%d", entry),
                       prefixedName + VersionSuffix() + kProcessorTag + kExtension);
    message->SetString(util::Format("Auto-Update-Pattern%d", entry),
                       std::string(kInstallFolder) + prefixedName + kWildcard + kProcessorTag + kExtension);
    message->SetInt("Auto-Update-Count", entry + 1);
    return kToolboxPassedOver;
}

int32_t UpdateAgent::HandleMessage(IToolboxMessage *message, IToolboxHost *caller) {
    if (host == nullptr) host = caller;
    if (message == nullptr || host == nullptr) return kToolboxNotHandled;
    try {
        host->Log(kInfo, "%s:%d HandleMessage ", kUnit, __LINE__);
        host->Log(kDetail, "%s:%d \n%s", kUnit, __LINE__, message->ToText());
        int32_t count = message->GetInt("FileCount");
        host->Log(kDetail, "%s:%d FileCount = %d", kUnit, __LINE__, count);
        // A negative count names no file either; it must not end in a reply of success.
        if (count <= 0) throw err::CGeneralError(kUnit, __LINE__, "FileCount=0", 0, 0);

        char buffer[kPathBufferSize] = "";
        DWORD length = GetTempPathA(sizeof buffer, buffer);
        if (length == 0 || length >= sizeof buffer)
            throw RefresherError(kUnit, __LINE__, "GetTempPath failure", 0,
                                 length == 0 ? LastError() : ERROR_INSUFFICIENT_BUFFER);
        std::string tempFolder(buffer, length);
        util::EnsureTrailingSeparator(tempFolder);
        host->Log(kDetail, "%s:%d temp: is %s", kUnit, __LINE__, tempFolder.c_str());

        length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
        if (length == 0 || length >= sizeof buffer)
            throw RefresherError(kUnit, __LINE__, "GetModuleFileName failure", 0,
                                 length == 0 ? LastError() : ERROR_INSUFFICIENT_BUFFER);
        std::string agentFolder = FolderOf(std::string(buffer, length));
        util::EnsureTrailingSeparator(agentFolder);

        FileList files;
        BuildFileList(host, message, tempFolder, agentFolder, files);

        // The reply is taken before anything is done: a request that could not be answered
        // must change nothing and must not count as carried out.
        IToolboxMessage *reply = host->NewMessage();
        if (reply == nullptr) {
            host->Log(kError, "%s:%d - the host gave no message for the reply; nothing was updated", kUnit, __LINE__);
            return kToolboxNotHandled;
        }
        try {
            CheckEntriesInFolders(message, files, tempFolder, agentFolder);
            CheckUpdateBoundary(host, files, tempFolder, agentFolder);
            if (TouchesRunningFiles(files)) {
                host->Log(kInfo, "%s:%d FileList has special case requirements (agent or refrsher)", kUnit, __LINE__);
                host->Log(kInfo, "%s:%d Refresher must be handled 'externally'", kUnit, __LINE__);
                UpdateExternally(agentFolder, files, message);
                host->Log(kInfo, "%s:%d External Process started, waiting for update to complete", kUnit, __LINE__);
                SendSuccessReply(reply, message);
            } else {
                host->Log(kInfo, "%s:%d FileList will be updated using 'copy in place'", kUnit, __LINE__);
                CopyInPlace(agentFolder, files, message);
                message->SetTypeAndName("Internal", "CloseSession");
                host->Dispatch(message);
                SendSuccessReply(reply, message);
            }
        } catch (const err::CGeneralError &error) {
            host->Log(kError,
                      "%s:%d - Refresher Failed, unhandled exception\n\t%s:%d - %s\n\tValue = %d, System Error = %d",
                      kUnit, __LINE__, error.file, error.line, error.message, error.value, error.systemError);
            SendFailureReply(reply, error);
            return kToolboxNotHandled;
        }
    } catch (const err::CGeneralError &error) {
        host->Log(kError, "%s:%d - caught\n%s:%d - %s\nE = %d, S = %d\n", kUnit, __LINE__, error.file, error.line,
                  error.message, error.value, error.systemError);
        return kToolboxNotHandled;
    } catch (...) {
        host->Log(kError, "%s:%d - unrecoverable error", kUnit, __LINE__);
        return kToolboxNotHandled;
    }
    return kToolboxHandled;
}

void UpdateAgent::CheckEntriesInFolders(IToolboxMessage *message, const FileList &files,
                                        const std::string &tempFolder, const std::string &agentFolder) {
    // A request may only name files the host placed in the temp folder, and only replace
    // files of the agent folder: "..", a second folder, a drive, a stream or a device
    // would reach elsewhere.
    int entry = FirstPairOutsideFolders(files, tempFolder, agentFolder);
    if (entry < 0) entry = FirstPairTheSystemRenames(files);
    if (entry < 0) return;
    std::string key = util::Format("File%d", entry);
    host->Log(kError, "%s:%d - %s is refused, it names no plain file of the temp folder: %s", kUnit, __LINE__,
              key.c_str(), message->GetString(key.c_str()));
    throw RefresherError(kUnit, __LINE__, "file is not a plain name in the temp folder", entry, ERROR_INVALID_NAME);
}

void UpdateAgent::CheckSourcesExist(const FileList &files) {
    for (const UpdatePair &pair : files) {
        if (!util::FileExists(pair.source)) {
            host->Log(kError, "%s:%d - Source File %s does not exist", kUnit, __LINE__, pair.source.c_str());
            throw RefresherError(kUnit, __LINE__, "source file does not exist, refresher must abort", 1,
                                 ERROR_FILE_NOT_FOUND);
        }
    }
}

int32_t UpdateAgent::ReplaceWhole(const UpdatePair &pair, const intent::Entry &entry, size_t index, bool swap) {
    // The new file and the old one's copy reach the disk before the rename that makes
    // the destination new depends on them; the rename replaces the destination in one
    // step, so it is at every instant either all old or all new. Until the rename the
    // new file lies beside the destination: recovery takes that as "not swapped".
    const std::string staged = intent::StagedName(pair.destination, index);
    if (int32_t error = static_cast<int32_t>(intent::CopyFlushed(pair.source, staged))) return error;
    if (entry.hadOld) {
        if (int32_t error =
                static_cast<int32_t>(intent::CopyFlushed(pair.destination, intent::OldCopyName(pair.destination, index))))
            return error;
    }
    return swap ? static_cast<int32_t>(intent::RenameOver(staged, pair.destination)) : 0;
}

void UpdateAgent::StartRecord(const std::string &folder, const FileList &files, IToolboxMessage *request,
                              intent::Record &record) {
    record = intent::Record();
    record.scheduleId = request->GetString("Schedule-ID");
    record.taskSequenceId = request->GetString("Task-Sequence-ID");
    for (size_t i = 0; i < files.size(); ++i) {
        // A destination named twice has an old file for its second pair: the first one's.
        bool hadOld = util::FileExists(files[i].destination);
        for (size_t j = 0; j < i && !hadOld; ++j)
            hadOld = _stricmp(files[j].destination.c_str(), files[i].destination.c_str()) == 0;
        record.entries.push_back(intent::Entry{files[i].destination, hadOld});
    }
    // Whole and on the disk before the first file is staged: written under another name,
    // flushed, then renamed, so that the record under its own name always lists every pair.
    const std::string partial = folder + intent::kPartialRecordName;
    unsigned long error = intent::WriteWhole(partial, intent::RecordText(record));
    if (error == 0) error = intent::RenameOver(partial, folder + intent::kRecordName);
    if (error != 0) {
        DeleteFileA(partial.c_str());
        host->Log(kError, "%s:%d - cannot write the update record %s%s, error %lu", kUnit, __LINE__, folder.c_str(),
                  intent::kRecordName, error);
        throw RefresherError(kUnit, __LINE__, "update record could not be written", 1, static_cast<int32_t>(error));
    }
}

void UpdateAgent::PutBack(const std::string &folder, const intent::Record &record, const err::CGeneralError &cause) {
    std::vector<intent::PutBackStep> steps;
    bool whole = intent::PutBack(record, steps);
    for (const intent::PutBackStep &step : steps) {
        if (step.action == intent::PutBackStep::kRestored)
            host->Log(kError, "%s:%d - put back the old %s", kUnit, __LINE__, step.destination.c_str());
        else if (step.action == intent::PutBackStep::kRemoved)
            host->Log(kError, "%s:%d - removed the new %s", kUnit, __LINE__, step.destination.c_str());
        else if (step.action == intent::PutBackStep::kFailed)
            host->Log(kError, "%s:%d - could not put back the old %s, error %lu; its old copy is kept", kUnit,
                      __LINE__, step.destination.c_str(), step.error);
    }
    if (whole) {
        DeleteFileA((folder + intent::kRecordName).c_str());
        return;
    }
    // The record stays: the next start of the agent tries again.
    host->Log(kError, "%s:%d - the agent's files are mixed; %s%s is kept for the next start", kUnit, __LINE__,
              folder.c_str(), intent::kRecordName);
    throw RefresherError(kUnit, __LINE__, "files mixed: put-back failed", cause.value, cause.systemError);
}

void UpdateAgent::CopyInPlace(const std::string &agentFolder, const FileList &files, IToolboxMessage *request) {
    util::ScopedHandle lock;
    TakeUpdateLock(agentFolder, lock);
    CheckSourcesExist(files);
    held_.HoldAndCheck(host, files);
    intent::Record record;
    StartRecord(agentFolder, files, request, record);
    for (size_t i = 0; i < files.size(); ++i) {
        const UpdatePair &pair = files[i];
        try {
            host->Log(kInfo, "%s:%d \n\t%s -TO- %s", kUnit, __LINE__, pair.source.c_str(), pair.destination.c_str());
            bool copied = false;
            int32_t copyError = 0;
            for (int attempt = 0; attempt < kCopyTries && !copied; ++attempt) {
                host->Log(kDetail, "%s:%d - trying file copy ", kUnit, __LINE__);
                copyError = ReplaceWhole(pair, record.entries[i], i, true);
                if (copyError == 0) {
                    host->Log(kDetail, "%s:%d - File Copy Succeeded", kUnit, __LINE__);
                    copied = true;
                } else {
                    Sleep(kCopyPauseMs);
                }
            }
            if (!copied) {
                host->Log(kError, "%s:%d - Copy File returned error %d", kUnit, __LINE__, copyError);
                throw RefresherError(kUnit, __LINE__, "Copy Error", 1, copyError);
            }
        } catch (const err::CGeneralError &error) {
            host->Log(kError, "%s:%d update failed\n\t%s:%d - %s\n\tValue = %d, System Error = %d", kUnit, __LINE__,
                      error.file, error.line, error.message, error.value, error.systemError);
            PutBack(agentFolder, record, error);
            throw;
        }
    }
    // Commit: once the record is marked done, an interruption only leaves old copies to
    // remove; before, it puts every old file back.
    const std::string done = agentFolder + intent::kDoneRecordName;
    if (unsigned long error = intent::RenameOver(agentFolder + intent::kRecordName, done)) {
        RefresherError cause(kUnit, __LINE__, "update record could not be committed", 1, static_cast<int32_t>(error));
        host->Log(kError, "%s:%d - cannot mark the update record done, error %lu", kUnit, __LINE__, error);
        PutBack(agentFolder, record, cause);
        throw cause;
    }
    intent::RemoveLeftovers(record);
    DeleteFileA(done.c_str());
    // The sources go only now: until the update is committed they are what a retry needs.
    for (const UpdatePair &pair : files) {
        host->Log(kDetail, "%s:%d - Deleting Source", kUnit, __LINE__);
        held_.Release(pair.source);
        if (util::FileExists(pair.source) && !DeleteFileA(pair.source.c_str()))
            host->Log(kError, "%s:%d - the new file %s could not be deleted, error %d; the update is done", kUnit,
                      __LINE__, pair.source.c_str(), LastError());
    }
}

void UpdateAgent::UpdateExternally(const std::string &agentFolder, const FileList &files, IToolboxMessage *request) {
    CheckSourcesExist(files);
    held_.HoldAndCheck(host, files);
    // The script splits each list line at its commas; such a path would be copied to the
    // wrong place, so it is refused before anything is written.
    if (ListHasComma(files)) {
        host->Log(kError, "%s:%d - a path of the file list holds a comma", kUnit, __LINE__);
        throw RefresherError(kUnit, __LINE__, "file list path holds a comma", 1, ERROR_INVALID_NAME);
    }
    util::ScopedHandle lock;
    TakeUpdateLock(agentFolder, lock);
    // The script swaps long after this request is answered: from copies nobody else can
    // change, never from the temp folder.
    const FileList staged = StageSources(host, agentFolder, files);
    intent::Record record;
    StartRecord(agentFolder, staged, request, record);
    try {
        // The script cannot flush what it writes, so every file it will rename is made
        // durable here, before it starts.
        for (size_t i = 0; i < staged.size(); ++i) {
            int32_t error = 0;
            for (int attempt = 0; attempt < kCopyTries; ++attempt) {
                error = ReplaceWhole(staged[i], record.entries[i], i, false);
                if (error == 0) break;
                Sleep(kCopyPauseMs);
            }
            if (error != 0) {
                host->Log(kError, "%s:%d - Copy File returned error %d", kUnit, __LINE__, error);
                throw RefresherError(kUnit, __LINE__, "Copy Error", 1, error);
            }
        }
        host->Log(kDetail, "%s:%d - creating external-update script", kUnit, __LINE__);
        std::string scriptPath, listPath;
        if (!WriteUpdateScript(agentFolder, scriptPath))
            throw RefresherError(kUnit, __LINE__, "update script could not be written", 1, ERROR_WRITE_FAULT);
        if (!WriteListFile(agentFolder, staged, request, listPath))
            throw RefresherError(kUnit, __LINE__, "update list could not be written", 1, ERROR_WRITE_FAULT);
        host->Log(kDetail, "%s:%d - Ayiaaaaa-AyiaaaaAyiaaaa-AyiaaaaAyiaaaa", kUnit, __LINE__);
        Spawn(scriptPath, listPath, agentFolder, lock);
    } catch (const err::CGeneralError &error) {
        // Whatever the script left (or nothing ran at all): the old files stay or go back.
        PutBack(agentFolder, record, error);
        throw;
    }
}

void UpdateAgent::TakeUpdateLock(const std::string &folder, util::ScopedHandle &lock) {
    // One lock for both paths, held by this request and then by the update script's
    // process until it ends. Only another holder means "in progress"; anything else is
    // reported as what it is.
    const std::string path = folder + intent::kLockName;
    bool inProgress = false;
    int32_t error = static_cast<int32_t>(intent::TakeLock(folder, lock, inProgress));
    if (error == 0) return;
    if (inProgress) {
        host->Log(kError, "%s:%d - another update is running (%s is held)", kUnit, __LINE__, path.c_str());
        throw RefresherError(kUnit, __LINE__, "update already in progress", 1, error);
    }
    DWORD attributes = GetFileAttributesA(path.c_str());
    const char *what = attributes == INVALID_FILE_ATTRIBUTES          ? "it cannot be created"
                       : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "a folder has its name"
                       : (attributes & FILE_ATTRIBUTE_READONLY) != 0  ? "it is read-only"
                                                                      : "it cannot be opened";
    host->Log(kError, "%s:%d - cannot take the update lock %s: %s, error %d", kUnit, __LINE__, path.c_str(), what,
              error);
    throw RefresherError(kUnit, __LINE__, "update lock could not be created", 1, error);
}

bool UpdateAgent::WriteUpdateScript(const std::string &folder, std::string &scriptPath) {
    scriptPath = folder + kScriptName;
    if (util::FileExists(scriptPath)) {
        host->Log(kDetail, "%s:%d - UpdateScript already exists... Is this a remnant from a failed refresher?", kUnit,
                  __LINE__);
        util::DeleteExistingFile(scriptPath);
    }
    bool written = AppendText(scriptPath, std::string(UpdateScriptText()) + "\n");
    return written && util::FileExists(scriptPath);
}

bool UpdateAgent::WriteListFile(const std::string &folder, const FileList &files, IToolboxMessage *request,
                                std::string &listPath) {
    // The request's IDs go to the script, which names them in its result.
    std::string content = ListFileContent(files);
    for (const char *key : {"Schedule-ID", "Task-Sequence-ID"}) {
        std::string value = request->GetString(key);
        for (char &c : value) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        if (!value.empty()) content += std::string(key) + "=" + value + "\n";
    }
    // The host may ask for another health window than the script's own.
    int32_t window = -1;
    request->GetIntField("Health-Window", &window);
    if (window >= 0) content += util::Format("HealthWindow=%d\n", window);
    host->Log(kDetail, "%s:%d\n%s", kUnit, __LINE__, content.c_str());
    listPath = folder + kListName;
    if (util::FileExists(listPath)) {
        host->Log(kDetail, "%s:%d - FileList already exists... Is this a remnant from a failed refresher?", kUnit,
                  __LINE__);
        util::DeleteExistingFile(listPath);
    }
    bool written = AppendText(listPath, content + "\n");
    return written && util::FileExists(listPath);
}

bool UpdateAgent::StartScript(const std::string &scriptHost, const std::string &command, const std::string &folder,
                              const util::ScopedHandle &lock, util::ScopedHandle &process) {
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Started suspended so that the script's process holds the update lock before it runs.
    BOOL ok = CreateProcessA(scriptHost.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW | DETACHED_PROCESS | CREATE_SUSPENDED, nullptr, folder.c_str(), &startup,
                             &started);
    DWORD startError = GetLastError();
    process.Reset(ok ? started.hProcess : nullptr);
    util::ScopedHandle thread(ok ? started.hThread : nullptr);
    if (ok) {
        HANDLE held = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), lock.Get(), process.Get(), &held, 0, FALSE, DUPLICATE_SAME_ACCESS) ||
            ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
            startError = GetLastError();
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), kScriptWatchMs);
            process.Reset();
            ok = FALSE;
        }
    }
    host->Log(kDetail, "%s:%d called createprocess for refresher  bResult = %d, GetLastError = %u", kUnit, __LINE__,
              ok ? 1 : 0, static_cast<unsigned>(startError));
    if (!ok) SetLastError(startError);
    return ok != FALSE;
}

void UpdateAgent::Spawn(const std::string &scriptPath, const std::string &listPath, const std::string &folder,
                        const util::ScopedHandle &lock) {
    // No logo, no prompt, and a time limit above the script's own bounded waits.
    const std::string arguments =
        util::Format("\"%s\" \"%s\" \"%s\"", scriptPath.c_str(), listPath.c_str(), kUpdateLogName);
    std::string command = util::Format("cscript %s %s", kScriptHostOptions, arguments.c_str());
    host->Log(kDetail, "%s:%d UpdateAgent::Spawn", kUnit, __LINE__);
    host->Log(kDetail, "%s:%d - %s", kUnit, __LINE__, command.c_str());

    // The system's own script host, never one found through the search path: the agent
    // folder comes first there, and copy in place can put any file into it.
    char systemFolder[kPathBufferSize] = "";
    UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    if (length == 0 || length >= sizeof systemFolder)
        throw RefresherError(kUnit, __LINE__, "update script could not be started", 1,
                             length == 0 ? LastError() : ERROR_INSUFFICIENT_BUFFER);
    std::string scriptHost = std::string(systemFolder, length);
    util::EnsureTrailingSeparator(scriptHost);
    scriptHost += kScriptHost;
    host->Log(kDetail, "%s:%d - script host %s", kUnit, __LINE__, scriptHost.c_str());

    const std::string resultPath = folder + intent::kResultName;
    DeleteFileA(resultPath.c_str());
    util::ScopedHandle process;
    if (!StartScript(scriptHost, command, folder, lock, process))
        throw RefresherError(kUnit, __LINE__, "update script could not be started", 1, LastError());
    // The script ends early only when it failed; it says so in its result. A script host
    // that ends at once, with 1 and no result, never ran the script: one that knows no
    // time limit option. The script bounds every wait of its own, so it runs without one.
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process.Get(), kScriptWatchMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.Get(), &exitCode);
    if (exitCode == 1 && !util::FileExists(resultPath)) {
        command = "cscript //B //Nologo " + arguments;
        host->Log(kDetail, "%s:%d - the script host refused its options; again as %s", kUnit, __LINE__,
                  command.c_str());
        if (!StartScript(scriptHost, command, folder, lock, process))
            throw RefresherError(kUnit, __LINE__, "update script could not be started", 1, LastError());
        exitCode = STILL_ACTIVE;
        if (WaitForSingleObject(process.Get(), kScriptWatchMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.Get(), &exitCode);
    }
    if (exitCode == STILL_ACTIVE) return;

    // Ended within the watch: its result is the request's outcome, not a later report.
    std::string text;
    intent::Result result;
    if (intent::ReadWhole(resultPath, text) == 0 && intent::ParseResult(text, result)) {
        host->Log(exitCode == 0 ? kInfo : kError, "%s:%d - the update script ended: %s", kUnit, __LINE__,
                  result.closingLine.c_str());
        DeleteFileA(resultPath.c_str());
    } else {
        host->Log(kError, "%s:%d - the update script ended with %lu and left no result", kUnit, __LINE__,
                  static_cast<unsigned long>(exitCode));
    }
    if (exitCode != 0)
        throw RefresherError(kUnit, __LINE__, "update script failed", static_cast<int32_t>(exitCode),
                             static_cast<int32_t>(exitCode));
}

void UpdateAgent::SendSuccessReply(IToolboxMessage *reply, IToolboxMessage *request) {
    reply->SetTypeAndName("Reply", "UpdateAgent");
    for (const char *key : {"Schedule-ID", "Task-Sequence-ID"}) {
        const char *value = request->GetString(key);
        if (value != nullptr && *value != '\0') reply->SetString(key, value);
    }
    reply->SetInt("Status-Code", 0);
    reply->SetString("Status-Module", "Corvid");
    reply->SetString("Result", "Success");
    host->SendReply(reply);
}

void UpdateAgent::SendFailureReply(IToolboxMessage *reply, const err::CGeneralError &error) {
    reply->SetTypeAndName("Reply", "UpdateAgent");
    reply->SetInt("Status-Code", error.systemError);
    reply->SetString("Status-Module", "Win32");
    reply->SetString("Status-Message", error.message);
    reply->SetString("Result", "Failed");
    host->SendReply(reply);
}

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
using working_names::kOldCopySuffix;
using working_names::kStagedSuffix;
const char *const kScriptName = working_names::kUpdateScript;
const char *const kListName = working_names::kUpdateList;
const char *const kUpdateLogName = working_names::kUpdateLog;
const char *const kLockName = working_names::kUpdateLock;
const char kScriptHost[] = "cscript.exe";

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
                UpdateExternally(agentFolder, files);
                host->Log(kInfo, "%s:%d External Process started, waiting for update to complete", kUnit, __LINE__);
                SendSuccessReply(reply, message);
            } else {
                host->Log(kInfo, "%s:%d FileList will be updated using 'copy in place'", kUnit, __LINE__);
                CopyInPlace(files);
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

int32_t UpdateAgent::ReplaceWhole(const UpdatePair &pair, const std::string &oldCopy, Replaced &replaced) {
    // The new file is written whole beside the old one and swapped in with one rename, so
    // the destination is at every instant either all old or all new.
    const std::string staged = pair.destination + kStagedSuffix;
    int32_t error = 0;
    if (!CopyFileA(pair.source.c_str(), staged.c_str(), FALSE)) return LastError();
    {
        util::ScopedHandle file(CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid() || !FlushFileBuffers(file.Get())) error = LastError();
    }
    replaced.oldCopy.clear();
    if (error == 0 && util::FileExists(pair.destination)) {
        if (CopyFileA(pair.destination.c_str(), oldCopy.c_str(), FALSE))
            replaced.oldCopy = oldCopy;
        else
            error = LastError();
    }
    if (error == 0 && !MoveFileExA(staged.c_str(), pair.destination.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = LastError();
    if (error != 0) {
        DeleteFileA(staged.c_str());
        if (!replaced.oldCopy.empty()) DeleteFileA(replaced.oldCopy.c_str());
        replaced.oldCopy.clear();
    }
    return error;
}

void UpdateAgent::PutBack(const std::vector<Replaced> &done) {
    // Latest first, so that a destination named twice ends as it was before the request;
    // each new file goes back to the temp folder for a later try.
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        const UpdatePair &pair = *it->pair;
        if (!util::FileExists(pair.source)) CopyFileA(pair.destination.c_str(), pair.source.c_str(), TRUE);
        bool restored = it->oldCopy.empty()
                            ? DeleteFileA(pair.destination.c_str()) != 0
                            : MoveFileExA(it->oldCopy.c_str(), pair.destination.c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (restored)
            host->Log(kError, it->oldCopy.empty() ? "%s:%d - removed the new %s" : "%s:%d - put back the old %s",
                      kUnit, __LINE__, pair.destination.c_str());
        else
            host->Log(kError, "%s:%d - could not put back the old %s, error %d; its old bytes are in %s", kUnit,
                      __LINE__, pair.destination.c_str(), LastError(),
                      it->oldCopy.empty() ? "(none: it is new)" : it->oldCopy.c_str());
    }
}

void UpdateAgent::CopyInPlace(const FileList &files) {
    CheckSourcesExist(files);
    held_.HoldAndCheck(host, files);
    std::vector<Replaced> done;
    done.reserve(files.size());
    for (const UpdatePair &pair : files) {
        try {
            host->Log(kInfo, "%s:%d \n\t%s -TO- %s", kUnit, __LINE__, pair.source.c_str(), pair.destination.c_str());
            // Each pair keeps its own old copy: a destination named twice is put back right.
            const std::string oldCopy = pair.destination + kOldCopySuffix + std::to_string(done.size());
            Replaced replaced{&pair, ""};
            bool copied = false;
            int32_t copyError = 0;
            for (int attempt = 0; attempt < kCopyTries && !copied; ++attempt) {
                host->Log(kDetail, "%s:%d - trying file copy ", kUnit, __LINE__);
                copyError = ReplaceWhole(pair, oldCopy, replaced);
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
            done.push_back(replaced);
            host->Log(kDetail, "%s:%d - Deleting Source", kUnit, __LINE__);
            held_.Release(pair.source);
            util::DeleteExistingFile(pair.source);
        } catch (const err::CGeneralError &error) {
            host->Log(kError, "%s:%d update failed\n\t%s:%d - %s\n\tValue = %d, System Error = %d", kUnit, __LINE__,
                      error.file, error.line, error.message, error.value, error.systemError);
            PutBack(done);
            throw;
        }
    }
    for (const Replaced &replaced : done) {
        if (!replaced.oldCopy.empty() && !DeleteFileA(replaced.oldCopy.c_str()))
            host->Log(kDetail, "%s:%d - old copy %s is left, error %d", kUnit, __LINE__, replaced.oldCopy.c_str(),
                      LastError());
    }
}

void UpdateAgent::UpdateExternally(const std::string &agentFolder, const FileList &files) {
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
    // The script copies long after this request is answered: from copies nobody else can
    // change, never from the temp folder.
    const FileList staged = StageSources(host, agentFolder, files);
    host->Log(kDetail, "%s:%d - creating external-update script", kUnit, __LINE__);
    std::string scriptPath, listPath;
    if (!WriteUpdateScript(agentFolder, scriptPath))
        throw RefresherError(kUnit, __LINE__, "update script could not be written", 1, ERROR_WRITE_FAULT);
    if (!WriteListFile(agentFolder, staged, listPath))
        throw RefresherError(kUnit, __LINE__, "update list could not be written", 1, ERROR_WRITE_FAULT);
    host->Log(kDetail, "%s:%d - Ayiaaaaa-AyiaaaaAyiaaaa-AyiaaaaAyiaaaa", kUnit, __LINE__);
    Spawn(scriptPath, listPath, agentFolder, lock);
}

void UpdateAgent::TakeUpdateLock(const std::string &folder, util::ScopedHandle &lock) {
    // The lock file lives exactly as long as someone holds it open: this request until
    // the script starts, then the script's process until it ends. While it is held, the
    // script and list of the running update must not be overwritten.
    const std::string path = folder + kLockName;
    lock.Reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (lock.Valid()) return;
    int32_t error = LastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) {
        host->Log(kError, "%s:%d - an update script is still running (%s is held)", kUnit, __LINE__, path.c_str());
        throw RefresherError(kUnit, __LINE__, "update already in progress", 1, error);
    }
    host->Log(kError, "%s:%d - cannot create %s, error %d", kUnit, __LINE__, path.c_str(), error);
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

bool UpdateAgent::WriteListFile(const std::string &folder, const FileList &files, std::string &listPath) {
    std::string content = ListFileContent(files);
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

void UpdateAgent::Spawn(const std::string &scriptPath, const std::string &listPath, const std::string &folder,
                        const util::ScopedHandle &lock) {
    std::string command =
        util::Format("cscript \"%s\" \"%s\" \"%s\"", scriptPath.c_str(), listPath.c_str(), kUpdateLogName);
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

    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Started suspended so that the script's process holds the update lock before it runs.
    BOOL started = CreateProcessA(scriptHost.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                  CREATE_NO_WINDOW | DETACHED_PROCESS | CREATE_SUSPENDED, nullptr, folder.c_str(),
                                  &startup, &process);
    DWORD startError = GetLastError();
    util::ScopedHandle processHandle(started ? process.hProcess : nullptr);
    util::ScopedHandle threadHandle(started ? process.hThread : nullptr);
    if (started) {
        HANDLE held = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), lock.Get(), process.hProcess, &held, 0, FALSE,
                             DUPLICATE_SAME_ACCESS) ||
            ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
            startError = GetLastError();
            TerminateProcess(process.hProcess, 1);
            started = FALSE;
        }
    }
    host->Log(kDetail, "%s:%d called createprocess for refresher  bResult = %d, GetLastError = %u", kUnit, __LINE__,
              started ? 1 : 0, static_cast<unsigned>(startError));
    // Without the script nothing will replace the files: the request has failed.
    if (!started)
        throw RefresherError(kUnit, __LINE__, "update script could not be started", 1,
                             static_cast<int32_t>(startError));
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

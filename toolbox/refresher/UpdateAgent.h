// The update side of the plug-in: the UpdateAgent request and the UpdateInfo query.
#pragma once
#include <string>
#include <vector>

#include "GeneralError.h"
#include "MessageHandler.h"
#include "UpdateIntent.h"
#include "UpdateRules.h"
#include "UpdateTrust.h"
#include "WinOwners.h"

// Request/UpdateAgent: replaces the agent's files with the new ones in the temp folder.
class UpdateAgent : public CMessageHandler {
public:
    struct RefresherError : err::CGeneralError {
        using err::CGeneralError::CGeneralError;
    };

    int32_t HandleMessage(IToolboxMessage *message, IToolboxHost *host) override;

private:
    void CheckEntriesInFolders(IToolboxMessage *message, const FileList &files, const std::string &tempFolder,
                               const std::string &agentFolder);
    void CheckSourcesExist(const FileList &files);
    void CopyInPlace(const std::string &agentFolder, const FileList &files, IToolboxMessage *request);
    int32_t ReplaceWhole(const UpdatePair &pair, const intent::Entry &entry, size_t index, bool swap);
    void StartRecord(const std::string &folder, const FileList &files, IToolboxMessage *request,
                     intent::Record &record);
    void PutBack(const std::string &folder, const intent::Record &record, const err::CGeneralError &cause);
    void UpdateExternally(const std::string &agentFolder, const FileList &files, IToolboxMessage *request);
    void TakeUpdateLock(const std::string &folder, util::ScopedHandle &lock);
    bool WriteUpdateScript(const std::string &folder, std::string &scriptPath);
    bool WriteListFile(const std::string &folder, const FileList &files, IToolboxMessage *request,
                       std::string &listPath);
    void Spawn(const std::string &scriptPath, const std::string &listPath, const std::string &folder,
               const util::ScopedHandle &lock);
    bool StartScript(const std::string &scriptHost, const std::string &command, const std::string &folder,
                     const util::ScopedHandle &lock, util::ScopedHandle &process);
    void SendSuccessReply(IToolboxMessage *reply, IToolboxMessage *request);
    void SendFailureReply(IToolboxMessage *reply, const err::CGeneralError &error);

    HeldSources held_;  // the new files, held from their check until they are copied
};

// Internal/UpdateInfo: adds this plug-in's current file name and its update pattern.
class UpdateInfo : public CMessageHandler {
public:
    int32_t HandleMessage(IToolboxMessage *message, IToolboxHost *host) override;
};

// Appends one (source, destination) pair per File<n> of the request, logging through host.
// Raises UpdateAgent::RefresherError on an empty entry or a path that cannot be split;
// pairs appended before stay in the list.
void BuildFileList(IToolboxHost *host, IToolboxMessage *message, const std::string &tempFolder,
                   const std::string &agentFolder, FileList &files);

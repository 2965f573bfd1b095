// The update side of the plug-in: the UpdateAgent request and the UpdateInfo query.
#pragma once
#include <string>
#include <vector>

#include "GeneralError.h"
#include "MessageHandler.h"
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
    // A destination replaced by copy in place, and where its old bytes are kept until the
    // whole request is done.
    struct Replaced {
        const UpdatePair *pair;
        std::string oldCopy;  // empty when there was no old file
    };

    void CheckEntriesInFolders(IToolboxMessage *message, const FileList &files, const std::string &tempFolder,
                               const std::string &agentFolder);
    void CheckSourcesExist(const FileList &files);
    void CopyInPlace(const FileList &files);
    int32_t ReplaceWhole(const UpdatePair &pair, const std::string &oldCopy, Replaced &replaced);
    void PutBack(const std::vector<Replaced> &done);
    void UpdateExternally(const std::string &agentFolder, const FileList &files);
    void TakeUpdateLock(const std::string &folder, util::ScopedHandle &lock);
    bool WriteUpdateScript(const std::string &folder, std::string &scriptPath);
    bool WriteListFile(const std::string &folder, const FileList &files, std::string &listPath);
    void Spawn(const std::string &scriptPath, const std::string &listPath, const std::string &folder,
               const util::ScopedHandle &lock);
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

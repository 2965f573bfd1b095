// The update's trust boundary where it needs the file system: what a name really is
// (its identity, its long name, the path the system forms for it) and whether a new file
// can be trusted. Every check runs before anything is changed; a refusal logs why,
// naming the entry and the file, and raises UpdateAgent::RefresherError whose value is
// the entry's number.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "UpdateRules.h"
#include "WinOwners.h"
#include "toolbox_api.h"

// Index of the first pair whose source or destination the system would open under
// another path than the folder followed by the name (a device, a name it trims); -1
// when there is none.
int FirstPairTheSystemRenames(const FileList &files);

// Refuses a temp folder that is the agent folder, a destination that is one of the
// update's working files (by its name as written or by its long name), and a pair whose
// source is its own destination (same volume and file index).
void CheckUpdateBoundary(IToolboxHost *host, const FileList &files, const std::string &tempFolder,
                         const std::string &agentFolder);

// True when a destination is the running agent or this plug-in: the same file (volume
// and file index), or a long name that names it. The name as written may be a short
// name or another link to the same file.
bool TouchesRunningFiles(const FileList &files);

// The new files, each held open without write or delete sharing from its check until
// it has been copied: nobody can change, rename, replace or delete it in between.
class HeldSources {
public:
    // Holds and checks every source: a plain file with one name, owned by SYSTEM,
    // Administrators or the agent's own account, which no other account may change.
    void HoldAndCheck(IToolboxHost *host, const FileList &files);
    // Lets go of a source that is about to be deleted.
    void Release(const std::string &source);

private:
    struct Held {
        std::string source;
        util::ScopedHandle handle;
    };
    std::vector<std::unique_ptr<Held>> held_;
};

// External update: copies the (held) sources into the staging folder of the agent
// folder, which only SYSTEM and Administrators may change, and returns the list with
// those copies as its sources. The update script reads only them, however long the
// agent takes to stop.
FileList StageSources(IToolboxHost *host, const std::string &agentFolder, const FileList &files);

// A power cut for tests under Wine: the file system of tests/powercut/powercutfs.py
// mounted at C:\powercut\<name>\mnt for one test. Writes there are held until the
// file is flushed (FlushFileBuffers); Cut() forgets what is held, as a power cut
// would. A test that cannot have it says why and skips:
//     PowerCutMount disk("mytest", "zeros");
//     if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
#pragma once
#include <string>

namespace testing_support {

class PowerCutMount {
public:
    // mode: drop, zeros or torn (what a cut leaves); seed 0 draws one, which the
    // layer logs (KESTREL_POWERCUT_SEED, when set, is used instead).
    explicit PowerCutMount(const std::string &name, const std::string &mode = "drop", unsigned seed = 0);
    ~PowerCutMount();  // unmounts; what the disk holds stays in Backing()
    PowerCutMount(const PowerCutMount &) = delete;
    PowerCutMount &operator=(const PowerCutMount &) = delete;

    bool Mounted() const { return mounted_; }
    const std::string &Reason() const { return reason_; }
    // The mounted folder, and the same files as the disk holds them (read past the layer).
    const std::string &Folder() const { return folder_; }
    const std::string &Backing() const { return backing_; }
    // The layer's log: the mount, each cut with its mode and seed, what each file kept.
    const std::string &LogPath() const { return log_; }

    // Forgets every unflushed write (in the mount's mode, or the one given). End
    // every process that writes there first. False when the layer refused.
    bool Cut(const std::string &mode = "");
    // The control file's text: mode, seed, cuts, held bytes, per file its writes and flushes.
    std::string Status() const;
    struct Counts {
        int writes = 0, flushes = 0;
    };
    // Writes and flushes made through a name under Folder() (relative, e.g. "temp\\a.ini").
    Counts CountsFor(const std::string &relativeName) const;
    unsigned Seed() const;

private:
    bool Command(const std::string &text) const;
    std::string folder_, backing_, log_, control_, hostMount_, reason_;
    bool mounted_ = false;
};

// A folder of the prefix (the temporary folder, a script's or an agent's folder)
// that stands for a folder in the mount while the guard lives: what was there is
// moved aside and put back afterwards (also when an earlier run was cut short).
class FolderInMount {
public:
    FolderInMount(const std::string &folder, const std::string &target);
    ~FolderInMount();
    FolderInMount(const FolderInMount &) = delete;
    FolderInMount &operator=(const FolderInMount &) = delete;
    bool Linked() const { return linked_; }

private:
    std::string folder_, saved_;
    bool linked_ = false;
};

}  // namespace testing_support

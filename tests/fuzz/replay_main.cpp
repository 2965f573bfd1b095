// Replays stored inputs through a fuzz target without the fuzzer: the seed
// corpus and every input that once made a target fail. Arguments are files or
// folders (every file in a folder, in name order).
//   fuzz_replay_NAME PATH...
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace fs = std::filesystem;

namespace {

// The input in a buffer of exactly its size, as the fuzzer hands it over: a read
// past its end is then a finding of the sanitizer, not a read of spare capacity.
bool ReadInput(const fs::path &path, std::unique_ptr<uint8_t[]> &bytes, size_t &size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<char> whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    size = whole.size();
    bytes.reset(new uint8_t[size > 0 ? size : 1]);
    std::copy(whole.begin(), whole.end(), bytes.get());
    return true;
}

std::vector<fs::path> InputsOf(const fs::path &path, std::error_code &error) {
    std::vector<fs::path> inputs;
    if (!fs::is_directory(path, error)) {
        if (!error) inputs.push_back(path);
        return inputs;
    }
    for (const fs::directory_entry &entry : fs::directory_iterator(path, error)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE-OR-FOLDER...\n", argv[0]);
        return 2;
    }
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<fs::path> inputs = InputsOf(argv[i], error);
        if (error) {
            fprintf(stderr, "%s: cannot read: %s\n", argv[i], error.message().c_str());
            return 2;
        }
        for (const fs::path &input : inputs) {
            std::unique_ptr<uint8_t[]> bytes;
            size_t size = 0;
            if (!ReadInput(input, bytes, size)) {
                fprintf(stderr, "%s: cannot read\n", input.string().c_str());
                return 2;
            }
            // Named first, so that a crash points at its input.
            printf("%s (%zu bytes)\n", input.string().c_str(), size);
            fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.get(), size);
            ++replayed;
        }
    }
    printf("%zu inputs replayed without a finding\n", replayed);
    return replayed > 0 ? 0 : 1;
}

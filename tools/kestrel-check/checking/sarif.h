// The checker's findings as SARIF 2.1.0, the log format code-scanning services
// read: one run of kestrel-check, a result for each finding with its rule id,
// level, file and line.
#pragma once
#include <string>
#include <vector>

#include "findings.h"

namespace check {

struct CheckedFile {
    std::string path;  // as given on the command line
    std::vector<Finding> findings;
};

// A path as a SARIF artifact URI: forward slashes, "file:///" before a drive
// or a root, and every byte outside the URI's unreserved set percent-encoded.
std::string ArtifactUri(const std::string &path);

std::string RenderSarif(const std::vector<CheckedFile> &files);

}  // namespace check

#include "sarif.h"

#include <cctype>
#include <cstdio>
#include <map>

namespace check {

std::string ArtifactUri(const std::string &path) {
    std::string slashed = path;
    for (char &c : slashed)
        if (c == '\\') c = '/';
    const bool drive = slashed.size() >= 2 && isalpha(static_cast<unsigned char>(slashed[0])) && slashed[1] == ':';
    std::string uri = drive ? "file:///" : slashed.compare(0, 1, "/") == 0 ? "file://" : "";
    for (size_t i = 0; i < slashed.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(slashed[i]);
        const bool kept = isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || (drive && i == 1);
        if (kept) {
            uri += static_cast<char>(c);
        } else {
            char escaped[4];
            snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri;
}

std::string RenderSarif(const std::vector<CheckedFile> &files) {
    // Every rule a result names is described once, in the order first met.
    std::map<std::string, size_t> ruleIndex;
    std::string rules, results;
    for (const CheckedFile &file : files) {
        for (const Finding &finding : file.findings) {
            auto found = ruleIndex.find(finding.rule);
            if (found == ruleIndex.end()) {
                found = ruleIndex.emplace(finding.rule, ruleIndex.size()).first;
                rules += std::string(rules.empty() ? "" : ",\n") + "        {\"id\": " + JsonString(finding.rule) + "}";
            }
            results += std::string(results.empty() ? "" : ",\n") + "      {\"ruleId\": " + JsonString(finding.rule) +
                       ", \"ruleIndex\": " + std::to_string(found->second) +
                       ", \"level\": " + JsonString(SeverityName(finding.severity)) +
                       ",\n       \"message\": {\"text\": " + JsonString(finding.message) +
                       "},\n       \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": " +
                       JsonString(ArtifactUri(file.path)) + "}, \"region\": {\"startLine\": " +
                       std::to_string(finding.line < 1 ? 1 : finding.line) + "}}}]}";
        }
    }
    return "{\"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n \"version\": \"2.1.0\",\n"
           " \"runs\": [{\n  \"tool\": {\"driver\": {\"name\": \"kestrel-check\", \"rules\": [\n" +
           rules + "\n  ]}},\n  \"results\": [\n" + results + "\n  ]\n }]\n}\n";
}

}  // namespace check

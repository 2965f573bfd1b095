#include "UpdateAgent.h"

#include "Format.h"
#include "Toolbox.h"
#include "LogSink.h"

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
        host->Log(kDetail, "%s:%d splitpath returned:\n%s\n%s\n%s\n%s", kUnit, __LINE__, parts.drive,
                  parts.folder, parts.name, parts.extension);

        std::string strTemp = parts.name;
        host->Log(kDetail, "%s:%d strTemp = %s", kUnit, __LINE__, strTemp.c_str());
        EraseThroughFirstDash(strTemp);
        host->Log(kDetail, "%s:%d strTemp = %s", kUnit, __LINE__, strTemp.c_str());
        EraseFromFirstDash(strTemp);
        host->Log(kDetail, "%s:%d strTemp = %s", kUnit, __LINE__, strTemp.c_str());
        std::string destinationName = strTemp + parts.extension;
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

int32_t UpdateAgent::HandleMessage(IToolboxMessage *, IToolboxHost *) { return kToolboxNotHandled; }

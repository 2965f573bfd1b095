#include "checker_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "script_checker.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace checker_test {

std::string Script(std::initializer_list<std::string> lines) {
    std::string content;
    for (const std::string &line : lines) content += line + "\r\n";
    return content;
}

bool Checked::Has(int line, check::Severity severity, const std::string &part) const {
    return std::any_of(findings.begin(), findings.end(), [&](const check::Finding &f) {
        return f.line == line && f.severity == severity && f.message.find(part) != std::string::npos;
    });
}

bool Checked::HasAnywhere(check::Severity severity, const std::string &part) const {
    return std::any_of(findings.begin(), findings.end(), [&](const check::Finding &f) {
        return f.severity == severity && f.message.find(part) != std::string::npos;
    });
}

size_t Checked::Count(check::Severity severity) const {
    return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                             [&](const check::Finding &f) { return f.severity == severity; }));
}

std::string Checked::Dump() const {
    std::string all = refused ? "(refused)\n" : "";
    for (const check::Finding &f : findings) all += check::FormatFinding("script", f) + "\n";
    return all;
}

Checked CheckText(const std::string &content) {
    check::Findings findings;
    std::string refusal;
    Checked checked;
    checked.refused = !check::CheckScriptBytes(content, findings, refusal);
    checked.findings = findings.Sorted();
    return checked;
}

std::string FreshFolder(const std::string &name) {
    fs::path folder = fs::temp_directory_path() / ("kestrel_check_" + name);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    return (folder / "").string();
}

void WriteFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

static std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

static std::vector<std::string> SplitLines(const std::string &textValue) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(textValue);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

static std::string ProgramFolder() {
#ifdef _WIN32
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return fs::path(std::string(path, length)).parent_path().string();
#else
    return fs::read_symlink("/proc/self/exe").parent_path().string();
#endif
}

ToolRun RunChecker(const std::vector<std::string> &arguments) {
    std::string folder = FreshFolder("run_output");
    std::string outPath = folder + "out.txt", errPath = folder + "err.txt";
    ToolRun run;
#ifdef _WIN32
    std::string commandLine = "\"" + ProgramFolder() + "\\kestrel-check.exe\"";
    for (const std::string &argument : arguments) commandLine += " \"" + argument + "\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            run.exitCode = static_cast<int>(code);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
#else
    std::string program = ProgramFolder() + "/kestrel-check";
    pid_t child = fork();
    if (child == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
#endif
    run.out = SplitLines(ReadAll(outPath));
    run.err = ReadAll(errPath);
    return run;
}

std::string ExamplesFolder() {
#ifdef _WIN32
    // The repository as Wine sees it: Z: is the Linux root.
    std::string folder = "Z:" + std::string(KESTREL_SOURCE_DIR) + "/examples";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
#else
    return std::string(KESTREL_SOURCE_DIR) + "/examples";
#endif
}

std::vector<std::string> ExampleScripts() {
    std::vector<std::string> scripts;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(ExamplesFolder(), error)) {
        if (entry.path().extension() == ".ini") scripts.push_back(entry.path().string());
    }
    std::sort(scripts.begin(), scripts.end());
    return scripts;
}

}  // namespace checker_test

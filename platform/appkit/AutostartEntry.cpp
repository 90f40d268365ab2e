#include "platform/appkit/AutostartEntry.h"

#include "platform/foundation/FolderCheck.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

#include <cctype>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat::AutostartEntry {

namespace {

bool isPlainName(const std::string& identifier) {
    if (identifier.empty() || identifier == "." || identifier == "..") return false;
    for (char c : identifier)
        if (c == '/' || c == '\0' || c == '\n' || c == '\r') return false;
    return true;
}

// Desktop-entry string values escape backslashes and line breaks.
std::string escapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
    return out;
}

Error failure(int64_t code, const std::string& message) {
    return Error::withMessage(kErrorDomain, code, message);
}

} // namespace

std::optional<fs::path> path(const std::string& identifier) {
    if (!isPlainName(identifier)) return std::nullopt;
    return paths::autostartDir() / (identifier + ".desktop");
}

State state(const std::string& identifier) {
    auto file = path(identifier);
    if (!file) return State::Missing;
    auto bytes = paths::readFile(*file);
    if (!bytes) return State::Missing;
    std::istringstream in(*bytes);
    std::string line;
    bool inMainGroup = false;
    State result = State::Enabled;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") result = State::Disabled;
    }
    return result;
}

std::optional<Error> write(const std::string& identifier, const std::string& name,
                           const fs::path& executable) {
    auto file = path(identifier);
    if (!file)
        return failure(kErrorInvalidIdentifier,
                       "The login item identifier \"" + identifier + "\" is not valid.");
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=" +
                       escapeValue(name) +
                       "\n"
                       "Exec=" +
                       escapeValue(quoteExec(executable.string())) +
                       "\n"
                       "X-GNOME-Autostart-enabled=true\n"
                       "X-Velmora-Identifier=" +
                       escapeValue(identifier) + "\n";
    // Written only into a folder of this user that no one else can change (it may have been made
    // since the launch checked it).
    const folders::Checked folder =
        folders::prepare(file->parent_path(), "the autostart folder", folders::Use::Shared);
    if (folder.passed()) {
        // The folder is shared with other programs: only our own entry's leftovers are ours to remove.
        paths::removeStaleTemporaryFiles(folder.real, file->filename().string());
    }
    if (!folder.passed() || !paths::writeFileAtomically(folder.real / file->filename(), text))
        return failure(kErrorWriteFailed, "The autostart entry " + file->string() + " could not be written.");
    return std::nullopt;
}

std::optional<Error> remove(const std::string& identifier) {
    auto file = path(identifier);
    if (!file)
        return failure(kErrorInvalidIdentifier,
                       "The login item identifier \"" + identifier + "\" is not valid.");
    std::error_code ec;
    if (!fs::exists(*file, ec))
        return failure(kErrorNotRegistered, "The login item " + identifier + " is not registered.");
    if (!fs::remove(*file, ec) || ec)
        return failure(kErrorWriteFailed, "The autostart entry " + file->string() + " could not be removed.");
    return std::nullopt;
}

fs::path currentExecutable() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path("velmora") : exe;
}

std::string quoteExec(const std::string& program) {
    bool plain = !program.empty();
    for (char c : program)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '-' || c == '_'))
            plain = false;
    if (plain) return program;
    std::string out = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out.push_back('\\');
        // A literal percent sign would be read as a field code.
        if (c == '%') out.push_back('%');
        out.push_back(c);
    }
    return out + "\"";
}

} // namespace plat::AutostartEntry

#include "tools/render/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/render/ascii_text.h"
#include "tools/render/render_error.h"

namespace klv::render {

std::string fileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stemOf(const std::string& path) {
    const std::string name = fileName(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string extensionOf(const std::string& path) {
    const std::string name = fileName(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

void makeFolder(const std::string& folder) {
    std::size_t start = 0;
    while (start <= folder.size()) {
        const auto slash = folder.find('/', start);
        const std::string partial = folder.substr(0, slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            throw RenderError(kExitOutput, "cannot create " + partial + ": " + std::strerror(errno));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw RenderError(kExitOutput, "cannot create " + folder + ": not a folder");
}

std::vector<std::string> audioFilesIn(const std::string& folder) {
    static const char* const kExtensions[] = {"wav", "wave", "aif", "aiff", "aifc", "flac"};
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) throw RenderError(kExitInput, "cannot read " + folder + ": " + std::strerror(errno));
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        // Hidden names include the renderer's own temporary files.
        if (name.empty() || name[0] == '.') continue;
        const std::string ext = asciiLower(extensionOf(name));
        if (std::none_of(std::begin(kExtensions), std::end(kExtensions), [&](const char* e) { return ext == e; }))
            continue;
        const std::string path = (folder.back() == '/' ? folder : folder + "/") + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(path);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace klv::render

// File and folder names as the renderer handles them.
#pragma once

#include <string>
#include <vector>

namespace klv::render {

// The last component of a path, and that without its extension.
std::string fileName(const std::string& path);
std::string stemOf(const std::string& path);
// The extension without the dot, as written; empty when there is none.
std::string extensionOf(const std::string& path);

// Creates a folder and its missing parents; throws RenderError(kExitOutput).
void makeFolder(const std::string& folder);

// The audio files a folder stands for: its .wav, .wave, .aif, .aiff, .aifc
// and .flac files (any case), not hidden ones, sorted by name.
std::vector<std::string> audioFilesIn(const std::string& folder);

}  // namespace klv::render

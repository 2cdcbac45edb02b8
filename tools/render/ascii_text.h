// Case folding for names typed on the command line (program and parameter
// names, file extensions, option values): ASCII only, independent of the
// locale.
#pragma once

#include <string>

namespace klv::render {

inline std::string asciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace klv::render

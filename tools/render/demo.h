// klv-render --demo: the built-in programme through both KLV plug-ins'
// stereo variants with several characteristic programs each.
#pragma once

#include <string>

namespace klv::render {

// Writes programme.wav and one file per plug-in and program into `folder`
// (created if missing) and prints a summary table. Plug-ins that are not
// built are skipped with a note on stderr. Answers the exit status.
int runDemo(const std::string& folder);

}  // namespace klv::render

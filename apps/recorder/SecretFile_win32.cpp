// Who may read a file on Windows is the business of its folder's access list, which the file
// inherits and the installation sets for the account the recorder runs as; the file's own mode
// bits say nothing about other users.
#include <string>

#include "apps/recorder/SecretFile.h"

namespace kelta::record {

std::string SecretFileExposure(int) { return {}; }

}  // namespace kelta::record

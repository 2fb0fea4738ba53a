#pragma once

#include <string>

namespace corvane {

// The one file every preview writes: "test.html" in the user's own cache folder
// (${XDG_CACHE_HOME:-$HOME/.cache}/corvane), which is created private to the user. A folder that
// other users could write to would let them plant a link there and have the preview overwrite a
// file of the user's. Throws PlatformError when the folder cannot be made or is not the user's.
std::string previewFilePath();

}  // namespace corvane

// Dynamic libraries, loaded by the names the system's components use.
//
// A name ending in ".dll" stands for the Linux file "lib<base>.so". A bare
// name is searched in the directory of the library that asks, then in the
// deliverables' library directory, then by the system loader. A path is used
// as given, with the same mapping of its file name.
#pragma once

#include <string>

namespace tq::platform {

using LibraryHandle = void *;

// "tqstream_32.dll" -> "libtqstream_32.so"; other names unchanged. Applies to
// the file name part of a path.
std::string mapLibraryName(const std::string &name);

// Loads a library; null when it cannot be found or loaded.
LibraryHandle loadLibrary(const std::string &name);
void *findSymbol(LibraryHandle lib, const char *name);
void freeLibrary(LibraryHandle lib);
// Text of the last loader error of this thread (empty when none).
std::string lastLibraryError();

// Full path of the file of a loaded library.
std::string libraryFileName(LibraryHandle lib);
// Full path of the module (library or program) that contains this address.
std::string moduleFileNameOf(const void *address);
// Full path of the module that calls it (the library this layer is linked into).
std::string ownModuleFileName();

} // namespace tq::platform

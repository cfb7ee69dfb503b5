#pragma once
// The user's folders (without a trailing '/' unless said) and the folder
// and file checks made on them.

#include <string>

namespace quillmarsh {

std::string DocumentsFolder();        // the documents folder
std::string ApplicationDataFolder();  // per-user application data (~/.local/share)
std::string ProgramFolder();          // folder of the running program file, ending in '/'
// Tests run the start-up from a folder of their own.
void SetProgramFolderForTests(std::string folder);

// Creates one folder level. 0 on success (or when it exists), else errno.
int CreateFolder(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Keeps a text ending in '/', otherwise appends one; "" becomes "/".
std::string AppendSlash(std::string path);

}  // namespace quillmarsh

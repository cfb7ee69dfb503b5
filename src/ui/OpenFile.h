#pragma once
// Opens a finished file with the desktop's application for it, or shows it
// in the file manager. Tests replace the opener through SetFileOpener.

#include <QString>
#include <functional>

namespace quillmarsh {

struct FileOpener {
  std::function<void(const QString& path)> openFile;
  // The file's folder, with the file selected where the file manager
  // supports it.
  std::function<void(const QString& path)> showInFolder;
};

// The desktop's own: QDesktopServices for files; the freedesktop
// FileManager1 service to select the file, or the folder alone without it.
FileOpener SystemFileOpener();
void SetFileOpener(FileOpener opener);

// Blank paths do nothing.
void OpenFile(const QString& path);
void ShowInFolder(const QString& path);

}  // namespace quillmarsh

#pragma once
// Settings file with profile-file rules: case-insensitive section and key
// names, values read after the first '=', trimmed, one pair of quotes
// stripped, reads cut at 2047 characters, CR LF lines.
//
// The whole file is held in memory. Every write rewrites the file at once,
// atomically (temporary file beside it, flushed, renamed over), unless a
// Batch is open: then the file is written once when the Batch commits.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

// "Unable to write to <path>"
class IniWriteError : public std::runtime_error {
 public:
  explicit IniWriteError(const std::string& path, int error = 0);
  // The user may not write there (a read-only file or folder): unlike a
  // full disk, trying again cannot succeed.
  bool PermissionDenied() const;

 private:
  int error_;
};

class IniFile {
 public:
  explicit IniFile(std::string path);  // a missing file reads as empty
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  const std::string& path() const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // Names of the sections in file order, as written between the brackets.
  std::vector<std::string> SectionNames() const;

  // Each throws IniWriteError when the file cannot be written, a read-only
  // one included; the file on disk is then left as it was.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void EraseSection(std::string_view section);

  // Groups writes into one file update: the file is written once, when
  // commit() is called. Without commit() the changes stay in memory only.
  class Batch {
   public:
    explicit Batch(IniFile& ini);
    ~Batch();
    void commit();  // throws IniWriteError
   private:
    IniFile& ini_;
    bool committed_ = false;
  };

  // Removes temporary files that an interrupted save left beside `path`.
  static void RemoveStaleTemporaries(const std::string& path);

 private:
  struct Impl;
  void flushOrDefer();
  std::unique_ptr<Impl> impl_;
  int batchDepth_ = 0;
};

}  // namespace quillmarsh

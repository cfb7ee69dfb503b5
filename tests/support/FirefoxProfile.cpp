#include "support/FirefoxProfile.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

#include "support/TempDir.h"

namespace quillmarsh {

std::string WriteFirefoxProfile(const std::string& root, const std::vector<StoredCookie>& cookies) {
  const std::string folder = root + "/abcd.default-esr";
  std::filesystem::create_directories(folder);
  WriteFile(root + "/installs.ini", "[3B6D9A4F1C2E]\nDefault=abcd.default-esr\nLocked=1\n");
  WriteFile(root + "/profiles.ini",
            "[Profile0]\nName=default-esr\nIsRelative=1\nPath=abcd.default-esr\n");
  sqlite3* db = nullptr;
  sqlite3_open((folder + "/cookies.sqlite").c_str(), &db);
  std::string sql =
      "PRAGMA journal_mode=WAL;"
      "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '',"
      " name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER,"
      " creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER"
      " DEFAULT 0, sameSite INTEGER DEFAULT 0, rawSameSite INTEGER DEFAULT 0, schemeMap INTEGER"
      " DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0,"
      " CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));";
  for (const StoredCookie& c : cookies) {
    sql +=
        "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed, creationTime,"
        " isSecure, isHttpOnly) VALUES ('" +
        c.name + "', '" + c.value + "', '" + c.host + "', '/', 4102444800, 0, 0, " +
        (c.secure ? "1" : "0") + ", " + (c.httpOnly ? "1" : "0") + ");";
  }
  const int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  const std::string error = sqlite3_errmsg(db);
  sqlite3_close(db);
  if (status != SQLITE_OK) throw std::runtime_error("cookies.sqlite: " + error);
  return folder;
}

}  // namespace quillmarsh

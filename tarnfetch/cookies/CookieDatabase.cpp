#include "cookies/CookieDatabase.h"

#include <filesystem>

#include "core/FetchError.h"

namespace tarnfetch {

namespace fs = std::filesystem;

CookieDatabase::CookieDatabase(const std::string& path, const std::string& what)
    : folder_("cookies"), what_(what) {
  const std::string copy = folder_.Path() + "/cookies.sqlite";
  std::error_code failed;
  fs::copy_file(path, copy, failed);
  if (failed) {
    throw FetchError("Could not read the cookie store of " + what + " (" + path +
                     "): " + failed.message() + ".");
  }
  // Recent changes may still sit in the write-ahead log beside it.
  std::error_code noLog;
  if (fs::is_regular_file(path + "-wal", noLog)) fs::copy_file(path + "-wal", copy + "-wal", noLog);
  if (sqlite3_open_v2(copy.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw FetchError("Could not open the cookie store of " + what + " (" + path + ").");
  }
  sqlite3_busy_timeout(db_, 2000);
}

CookieDatabase::~CookieDatabase() {
  sqlite3_close(db_);
}

void CookieDatabase::ForEachRow(const std::string& query,
                                const std::function<void(sqlite3_stmt*)>& row) const {
  sqlite3_stmt* statement = nullptr;
  int status = sqlite3_prepare_v2(db_, query.c_str(), -1, &statement, nullptr);
  while (status == SQLITE_OK && (status = sqlite3_step(statement)) == SQLITE_ROW) {
    row(statement);
    status = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  if (status != SQLITE_DONE) {
    throw FetchError("The cookie store of " + what_ + " is not in a form tarnfetch can read (" +
                     sqlite3_errmsg(db_) + ").");
  }
}

std::string CookieDatabase::Text(sqlite3_stmt* row, int i) {
  const void* bytes = sqlite3_column_blob(row, i);
  const int size = sqlite3_column_bytes(row, i);
  return bytes == nullptr ? std::string() : std::string(static_cast<const char*>(bytes), size);
}

Cookie CookieDatabase::RowCookie(sqlite3_stmt* row) {
  Cookie cookie;
  cookie.domain = Text(row, 0);
  cookie.path = Text(row, 1);
  cookie.secure = sqlite3_column_int(row, 2) != 0;
  cookie.httpOnly = sqlite3_column_int(row, 3) != 0;
  cookie.name = Text(row, 5);
  cookie.value = Text(row, 6);
  return cookie;
}

}  // namespace tarnfetch

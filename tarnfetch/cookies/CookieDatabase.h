#pragma once
// A browser's cookie database, read from a copy: the browser may hold the
// file locked, and its own is never opened, let alone written.

#include <sqlite3.h>

#include <functional>
#include <string>

#include "cookies/Cookie.h"
#include "cookies/PrivateFolder.h"

namespace tarnfetch {

class CookieDatabase {
 public:
  // Copies path (with its write-ahead log when there is one) into a
  // private folder and opens the copy. Throws FetchError, naming what,
  // when it cannot.
  CookieDatabase(const std::string& path, const std::string& what);
  ~CookieDatabase();
  CookieDatabase(const CookieDatabase&) = delete;
  CookieDatabase& operator=(const CookieDatabase&) = delete;

  // Runs a query; row is called with the statement at each row. Throws
  // FetchError when the query fails (the database is not what we expect).
  void ForEachRow(const std::string& query, const std::function<void(sqlite3_stmt*)>& row) const;

  // Column i of the current row as text or bytes ("" for NULL).
  static std::string Text(sqlite3_stmt* row, int i);
  // The cookie of a row whose columns are domain, path, secure, HttpOnly,
  // expiry (left to the caller: each browser counts it its own way), name
  // and value.
  static Cookie RowCookie(sqlite3_stmt* row);

 private:
  PrivateFolder folder_;
  std::string what_;
  sqlite3* db_ = nullptr;
};

}  // namespace tarnfetch

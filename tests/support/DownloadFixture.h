#pragma once
// A sandbox for download tests: a temporary application folder whose
// `tarnfetch` is the scripted fake downloader, a TestHost whose program
// folder is that folder, and a record of how each row's cells changed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TestHost.h"

namespace quillmarsh {

class DownloadFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the script that the fake plays for the URL "http://v/<name>".
  void Script(const std::string& name, const std::string& text);
  static std::string UrlFor(const std::string& name) { return "http://v/" + name; }

  // Adds the mission "http://v/<name>" with `script`, starts downloading and
  // waits until every worker has ended and been freed. Returns the row.
  int RunOne(const std::string& name, const std::string& script);

  // Every distinct "status|size|speed|eta" a row has shown, in order.
  std::vector<std::string> History(int row) const;
  // The current "status|size|speed|eta" of a row.
  std::string Cells(int row) const;

  TempDir dir_;
  TestHost host_;  // after dir_: stops its workers before the folder goes

 private:
  std::vector<std::vector<std::string>> history_;
};

}  // namespace quillmarsh

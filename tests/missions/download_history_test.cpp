// The download history file and the message of a batch that passed
// addresses over.
#include <gtest/gtest.h>

#include "missions/DownloadHistory.h"
#include "missions/UrlBatch.h"
#include "support/TempDir.h"

namespace quillmarsh {

TEST(DownloadHistory, KeepsTheNewestEntryPerAddressAcrossASaveAndLoad) {
  TempDir dir;
  DownloadHistory history(dir.file("history.txt"));
  history.Remember("https://v.example/a?x=1#t=30", "/out/A\tB\\C\n.mp4", "2026-12-01");
  history.Remember("https://v.example/b", "/out/B.mp4", "2026-12-02");
  history.Remember("https://v.example/a?x=1", "/out/A2.mp4", "2026-12-03");  // again: newest
  ASSERT_TRUE(history.Save());

  DownloadHistory loaded(dir.file("history.txt"));
  loaded.Load();
  EXPECT_EQ(loaded.Text(), history.Text());
  ASSERT_EQ(loaded.size(), 2u);
  const HistoryEntry* a = loaded.Find("https://v.example/a?x=1#other");
  ASSERT_NE(a, nullptr) << "the fragment does not count, the query does";
  EXPECT_EQ(a->file, "/out/A2.mp4");
  EXPECT_EQ(a->date, "2026-12-03");
  EXPECT_EQ(loaded.Find("https://v.example/a?x=2"), nullptr);
  EXPECT_EQ(loaded.Text().substr(0, 10), "2026-12-02") << "oldest first";

  history.Remember("https://v.example/c", "/out/C\t.mp4", "2026-12-04");
  loaded.ReadText(history.Text() + "damaged line\n\t\tno address\n");
  EXPECT_EQ(loaded.Find("https://v.example/c")->file, "/out/C\t.mp4");
  EXPECT_EQ(loaded.size(), 3u);

  loaded.Forget();
  EXPECT_EQ(loaded.size(), 0u);
  EXPECT_EQ(loaded.Find("https://v.example/b"), nullptr);
}

TEST(DownloadHistory, ADownloadAppendsItsLineAndALineCutShortIsPassedOverAndRewritten) {
  TempDir dir;
  const std::string path = dir.file("history.txt");
  DownloadHistory history(path);
  history.Remember("https://v.example/a", "/out/A.mp4", "2026-12-01");
  ASSERT_TRUE(history.Save());
  const std::string first = ReadFile(path);
  history.Remember("https://v.example/b", "/out/B.mp4", "2026-12-02");
  ASSERT_TRUE(history.Save());
  EXPECT_EQ(ReadFile(path).substr(0, first.size()), first) << "appended, not rewritten";

  WriteFile(path, ReadFile(path) + "2026-12-03\thttps://v.example/c\t/out/C");
  DownloadHistory reloaded(path);
  reloaded.Load();
  EXPECT_EQ(reloaded.size(), 2u);
  EXPECT_EQ(reloaded.Find("https://v.example/c"), nullptr) << "a line cut short is passed over";
  reloaded.Remember("https://v.example/d", "/out/D.mp4", "2026-12-04");
  ASSERT_TRUE(reloaded.Save());
  DownloadHistory again(path);
  again.Load();
  EXPECT_EQ(again.Text(), reloaded.Text()) << "the cut line did not swallow the new one";
}

TEST(DownloadHistory, DropsTheOldestBeyondItsBound) {
  DownloadHistory history;
  for (std::size_t i = 0; i <= DownloadHistory::kMaxEntries; ++i)
    history.Remember("https://v.example/" + std::to_string(i), "f", "d");
  EXPECT_EQ(history.size(), DownloadHistory::kMaxEntries);
  EXPECT_EQ(history.Find("https://v.example/0"), nullptr);
  EXPECT_NE(history.Find("https://v.example/1"), nullptr);
}

TEST(PassedOverMessage, SaysHowManyWereAlreadyThereAndHowManyWereDownloadedBefore) {
  const struct {
    int inList, inHistory;
    std::string message;
  } rows[] = {
      {0, 0, ""},
      {1, 0, "This URL has already been added."},
      {2, 0, "2 of these URLs have already been added."},
      {0, 1, "1 video was downloaded before and was passed over."},
      {2, 30,
       "2 of these URLs have already been added. 30 videos were downloaded before and were "
       "passed over."},
  };
  for (const auto& row : rows) {
    UrlBatch batch;
    batch.refused = row.inList;
    batch.downloadedBefore = row.inHistory;
    EXPECT_EQ(PassedOverMessage(batch), row.message);
  }
}

}  // namespace quillmarsh

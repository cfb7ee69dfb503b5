#include "missions/MissionModel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quillmarsh {

namespace {
int AddUrl(MissionModel& model, const std::string& url,
           const std::string& status = "[Wait for download]", const std::string& videoName = "",
           const std::string& fileName = "") {
  return model.addLsvItem(url, status, 0, "", videoName, fileName, false, "MP3 (.mp3)",
                          "Quality First");
}

QString Cell(const MissionModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString();
}

// First and last row of each rowsInserted / rowsRemoved signal.
using Spans = std::vector<std::pair<int, int>>;
template <typename Signal>
void RecordSpans(MissionModel& model, Signal signal, Spans& spans) {
  QObject::connect(&model, signal, [&spans](const QModelIndex&, int first, int last) {
    spans.emplace_back(first, last);
  });
}
}  // namespace

TEST(MissionModelCaption, BuiltFromUrlTailWhenVideoNameMissing) {
  struct Case {
    std::string url, videoName, caption;
  } cases[] = {
      {"https://video.example/watch?v=abcdefghijk", "", "[url] abcdefghijk"},
      {"x/abcdefghi", "", "[url] x/abcdefghi"},  // exactly 11 characters
      {"xy/abcdefghi", "", "[url] y/abcdefghi"},
      {"short", "", "[url] short"},
      {"", "", "[url] "},
      {"https://a.example/v=123", " \t\r\n", "[url] ample/v=123"},
      {"https://a.example/v=123", " My Title ", " My Title "},  // kept unchanged
      // Multi-byte characters count as one and are never cut in two.
      {"https://a.example/\xC3\xA9t\xC3\xA9-\xE2\x82\xAC-12345", "",
       "[url] \xC3\xA9t\xC3\xA9-\xE2\x82\xAC-12345"},
      {"https://a.example/x\xC3\xA9t\xC3\xA9-\xE2\x82\xAC-12345", "",
       "[url] \xC3\xA9t\xC3\xA9-\xE2\x82\xAC-12345"},
  };
  MissionModel model;
  for (const Case& c : cases) {
    const int row = AddUrl(model, c.url, "[Wait for download]", c.videoName);
    EXPECT_EQ(model.caption(row), c.caption) << "url " << c.url;
    EXPECT_EQ(Cell(model, row, ColVideo), QString::fromStdString(c.caption));
  }
}

TEST(MissionModelUrlExists, ComparesWholeTextByteForByte) {
  MissionModel model;
  EXPECT_FALSE(model.urlExists(""));
  AddUrl(model, "https://v.example/watch?v=Ab1");
  AddUrl(model, "https://v.example/done", "[Converted]");
  AddUrl(model, "https://v.example/failed", "[Error in download]");

  EXPECT_TRUE(model.urlExists("https://v.example/watch?v=Ab1"));
  EXPECT_TRUE(model.urlExists("https://v.example/done"));
  EXPECT_TRUE(model.urlExists("https://v.example/failed"));
  EXPECT_FALSE(model.urlExists("https://v.example/watch?v=ab1"));
  EXPECT_FALSE(model.urlExists("HTTPS://V.EXAMPLE/WATCH?V=AB1"));
  EXPECT_FALSE(model.urlExists("https://v.example/watch?v=Ab1 "));
  EXPECT_FALSE(model.urlExists(" https://v.example/watch?v=Ab1"));
  EXPECT_FALSE(model.urlExists("https://v.example/watch?v=Ab"));
  EXPECT_FALSE(model.urlExists(std::string("https://v.example/done\0", 23)));
}

TEST(MissionModelRows, NewRowShowsStatusAndEmptySpeedAndEta) {
  MissionModel model;
  Spans inserted;
  RecordSpans(model, &QAbstractItemModel::rowsInserted, inserted);
  const int row = model.addLsvItem("https://v.example/a", "[Wait for download]", 0, "12.5MiB", "",
                                   "a.mp4", true, "MP3 (.mp3)", "Both");
  ASSERT_EQ(row, 0);
  EXPECT_EQ(inserted, (Spans{{0, 0}}));
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(Cell(model, 0, ColSize), QStringLiteral("12.5MiB"));
  EXPECT_EQ(Cell(model, 0, ColSpeed), QString());
  EXPECT_EQ(Cell(model, 0, ColEta), QString());
  EXPECT_EQ(Cell(model, 0, ColUrl), QStringLiteral("https://v.example/a"));
  EXPECT_EQ(Cell(model, 0, ColProgress), QStringLiteral("[Wait for download]"));
  EXPECT_EQ(model.data(model.index(0, ColProgress), MissionModel::ProgressRole).toInt(), 0);

  const TLsvData& record = model.record(0);
  EXPECT_EQ(record.url, "https://v.example/a");
  EXPECT_EQ(record.fileName, "a.mp4");
  EXPECT_TRUE(record.doConvert);
  EXPECT_EQ(record.format, "MP3 (.mp3)");
  EXPECT_EQ(record.priority, "Both");

  // A failed mission moves no more: no speed, no time left.
  model.setSubItem(0, SubSpeed, "1.2MiB/s");
  model.setSubItem(0, SubEta, "00:05");
  model.setFailed(0, "[Error in download]", "HTTP Error 404");
  EXPECT_EQ(Cell(model, 0, ColSpeed), QString());
  EXPECT_EQ(Cell(model, 0, ColEta), QString());
  EXPECT_EQ(Cell(model, 0, ColSize), QStringLiteral("12.5MiB"));
}

TEST(MissionModelRows, RemoveRowsAtTakesRecordsWithTheirRows) {
  MissionModel model;
  for (int i = 0; i < 7; ++i)
    AddUrl(model, "url" + std::to_string(i), "[Downloaded]", "", "file" + std::to_string(i));
  Spans removed;
  RecordSpans(model, &QAbstractItemModel::rowsRemoved, removed);

  model.removeRowsAt({5, 1, 2, 5, 99, -1, 6});

  const std::vector<std::string> kept = {"0", "3", "4"};
  ASSERT_EQ(model.rowCount(), 3);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(model.url(row), "url" + kept[row]);
    EXPECT_EQ(model.record(row).url, "url" + kept[row]);
    EXPECT_EQ(model.record(row).fileName, "file" + kept[row]);
  }
  // One removal per contiguous span, the later span first.
  EXPECT_EQ(removed, (Spans{{5, 6}, {1, 2}}));

  removed.clear();
  model.removeRowsAt({3, -2});
  EXPECT_TRUE(removed.empty());
  EXPECT_EQ(model.rowCount(), 3);
}

TEST(MissionModelColumns, CaptionsWidthsAndReadOnlyCells) {
  MissionModel model;
  AddUrl(model, "u");
  const char* captions[] = {"Video", "Size", "Speed", "ETA", "URL", "Progress"};
  const int widths[] = {110, 70, 80, 50, 40, 130};
  ASSERT_EQ(model.columnCount(), 6);
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromLatin1(captions[column]));
    EXPECT_EQ(MissionModel::columnWidth(column), widths[column]);
    const Qt::ItemFlags flags = model.flags(model.index(0, column));
    EXPECT_FALSE(flags.testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(flags.testFlag(Qt::ItemIsSelectable));
  }
  EXPECT_FALSE(model.headerData(6, Qt::Horizontal, Qt::DisplayRole).isValid());
  EXPECT_FALSE(model.data(model.index(1, 0)).isValid());
}

}  // namespace quillmarsh

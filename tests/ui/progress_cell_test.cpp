#include "ui/DrawProgressCell.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleFactory>
#include <QTableView>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "missions/MissionModel.h"
#include "ui/ProgressDelegate.h"
#include "ui/Skin.h"

namespace quillmarsh {

namespace {
class QtApp : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "progress_cell_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new QtApp);

const QRgb kPaper = qRgb(255, 255, 255);
const QRgb kTrack = qRgb(235, 235, 235);
const QRgb kFill = qRgb(132, 193, 255);
// The cell inside a larger image, so drawing outside it would show.
const QRect kCell(6, 3, 130, 20);
const int kMidRow = kCell.top() + kCell.height() / 2;

QImage Render(int percent, const QString& text = {}, const QStyle* style = nullptr) {
  QImage image(kCell.width() + 12, kCell.height() + 6, QImage::Format_RGB32);
  image.fill(kPaper);
  QPainter painter(&image);
  DrawProgressCell(painter, kCell, percent, text, QApplication::font(), style);
  return image;
}

int CountInRow(const QImage& image, int y, QRgb color) {
  int n = 0;
  for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == color;
  return n;
}

int Count(const QImage& image, QRgb color) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) n += CountInRow(image, y, color);
  return n;
}

bool OnlyPaperOutside(const QImage& image, const QRect& inside) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (!inside.contains(x, y) && image.pixel(x, y) != kPaper) return false;
  return true;
}

// Bounds of the pixels that are neither paper nor bar: the text.
QRect TextBounds(const QImage& image) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (c != kPaper && c != kTrack && c != kFill) bounds |= QRect(x, y, 1, 1);
    }
  return bounds;
}
}  // namespace

TEST(PlainProgressBar, TrackAloneAtZeroPercent) {
  for (int percent : {0, -1, INT_MIN}) {
    const QImage image = Render(percent);
    EXPECT_EQ(Count(image, kFill), 0) << percent;
    // From 1 pixel inside the left edge to the cell's right edge.
    EXPECT_EQ(CountInRow(image, kMidRow, kTrack), 129) << percent;
    EXPECT_EQ(image.pixel(kCell.left(), kMidRow), kPaper);
    EXPECT_EQ(image.pixel(kCell.left() + 1, kMidRow), kTrack);
    EXPECT_EQ(image.pixel(kCell.right(), kMidRow), kTrack);
    EXPECT_EQ(image.pixel(kCell.left() + 2, kCell.top()), kPaper);
    EXPECT_EQ(image.pixel(kCell.left() + 2, kCell.top() + 1), kTrack);
    EXPECT_EQ(image.pixel(kCell.left() + 2, kCell.bottom()), kTrack);
    // Rounded: the four corner pixels stay empty.
    for (QPoint corner :
         {QPoint(kCell.left() + 1, kCell.top() + 1), QPoint(kCell.right(), kCell.top() + 1),
          QPoint(kCell.left() + 1, kCell.bottom()), kCell.bottomRight()})
      EXPECT_EQ(image.pixel(corner), kPaper);
    EXPECT_TRUE(OnlyPaperOutside(image, kCell));
  }
}

TEST(PlainProgressBar, HalfFillIsRoundedLeftAndSquareRight) {
  const QImage image = Render(50);
  const int left = kCell.left() + 1, right = left + 63;  // 129 * 50 / 100 = 64 pixels
  EXPECT_EQ(CountInRow(image, kMidRow, kFill), 64);
  EXPECT_EQ(image.pixel(left, kMidRow), kFill);
  EXPECT_EQ(image.pixel(right, kMidRow), kFill);
  EXPECT_EQ(image.pixel(right + 1, kMidRow), kTrack);
  EXPECT_EQ(image.pixel(left, kCell.top() + 1), kPaper);
  EXPECT_EQ(image.pixel(left, kCell.bottom()), kPaper);
  EXPECT_EQ(image.pixel(right, kCell.top() + 1), kFill);
  EXPECT_EQ(image.pixel(right, kCell.bottom()), kFill);
}

TEST(PlainProgressBar, FullAndOverfullFillStayOnTheTrack) {
  const QImage full = Render(100);
  EXPECT_EQ(Count(full, kTrack), 0);
  EXPECT_EQ(CountInRow(full, kMidRow, kFill), 129);
  EXPECT_EQ(full.pixel(kCell.left() + 1, kCell.top() + 1), kPaper);
  EXPECT_EQ(full.pixel(kCell.right(), kCell.top() + 1), kFill);
  EXPECT_TRUE(OnlyPaperOutside(full, kCell));
  for (int percent : {101, 250, INT_MAX}) EXPECT_EQ(Render(percent), full) << percent;

  for (QSize tiny : {QSize(0, 0), QSize(1, 1), QSize(3, 3), QSize(5, 2)}) {
    QImage image(12, 12, QImage::Format_RGB32);
    image.fill(kPaper);
    QPainter painter(&image);
    DrawProgressCell(painter, QRect(QPoint(4, 4), tiny), 100, QStringLiteral("[Downloaded]"),
                     QApplication::font(), nullptr);
    painter.end();
    EXPECT_TRUE(OnlyPaperOutside(image, QRect(QPoint(4, 4), tiny))) << tiny.width();
  }
}

TEST(ProgressCellText, CentredGreyTextInsideTheTrack) {
  const QImage image = Render(0, QStringLiteral("[Ájpq|g]"));
  const QRect text = TextBounds(image);
  ASSERT_FALSE(text.isEmpty());
  // The character cell fits the text rectangle; an accent may reach 1 pixel above it.
  const QRect textRect = kCell.adjusted(1, 1, -1, -1);
  EXPECT_TRUE(textRect.adjusted(0, -1, 0, 0).contains(text))
      << text.left() << "," << text.top() << " " << text.right() << "," << text.bottom();
  EXPECT_GE(text.height(), textRect.height() * 2 / 3);
  EXPECT_NEAR(text.left() - textRect.left(), textRect.right() - text.right(), 3);
  const QRgb grey = kProgressTextColour.rgb();
  EXPECT_GT(Count(image, grey), 0);
}

TEST(ProgressCellText, AmpersandShownAndLongTextElided) {
  QFont font = QApplication::font();
  font.setPixelSize(18);
  const QFontMetrics metrics(font);
  EXPECT_EQ(ProgressCellText(QStringLiteral("R&D [Converting] 5%"), metrics, 500),
            QStringLiteral("R&D [Converting] 5%"));
  const QString longText =
      QStringLiteral("[Downloading] a status text far wider than its cell 99%");
  const QString shown = ProgressCellText(longText, metrics, 128);
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_LE(metrics.horizontalAdvance(shown), 128);

  // '&' is drawn, not taken as a mnemonic marker.
  const QRect rd = TextBounds(Render(0, QStringLiteral("RD")));
  const QRect amp = TextBounds(Render(0, QStringLiteral("R&D")));
  EXPECT_GT(amp.width(), rd.width() + 4);

  const QRect elided = TextBounds(Render(0, longText));
  EXPECT_GE(elided.left(), kCell.left() + 1);
  EXPECT_LE(elided.right(), kCell.right() - 1);
}

TEST(StyledProgressBar, FillLiesInsideTheFrame) {
  std::unique_ptr<QStyle> style(QStyleFactory::create(QStringLiteral("fusion")));
  ASSERT_TRUE(style);
  const QImage empty = Render(0, {}, style.get());
  const QImage full = Render(100, {}, style.get());
  const QRect frame = kCell.adjusted(1, 1, -1, -1);
  // The style's frame may reach the cell's edge; the fill stays 2 pixels inside it.
  EXPECT_TRUE(OnlyPaperOutside(empty, kCell));
  EXPECT_TRUE(OnlyPaperOutside(full, kCell));
  const QRect inner = frame.adjusted(2, 2, -2, -2);
  int changed = 0;
  for (int y = 0; y < full.height(); ++y)
    for (int x = 0; x < full.width(); ++x) {
      if (full.pixel(x, y) == empty.pixel(x, y)) continue;
      ++changed;
      EXPECT_TRUE(inner.contains(x, y)) << x << "," << y;
    }
  EXPECT_GT(changed, inner.width() * inner.height() / 2);
}

TEST(ProgressDelegate, PlainBarForStyleSheetsAndQtOwnStyles) {
  QTableView view;
  std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
  view.setStyle(fusion.get());
  EXPECT_EQ(ProgressDelegate::CellStyle(&view), nullptr);
  view.setStyleSheet(QStringLiteral("QTableView { color: black; }"));
  EXPECT_EQ(ProgressDelegate::CellStyle(&view), nullptr);
}

TEST(ProgressDelegate, DrawsOnlyTheProgressColumn) {
  MissionModel model;
  model.addLsvItem("https://v.example/full", "[Downloaded]", 100, "", "Done", "", false, "", "");
  model.addLsvItem("https://v.example/new", "[Wait for download]", 0, "", "New", "", false, "", "");
  QTableView view;
  ProgressDelegate delegate;
  view.setModel(&model);
  view.setItemDelegate(&delegate);
  view.verticalHeader()->hide();
  for (int column = 0; column < ColumnCount; ++column)
    view.setColumnWidth(column, MissionModel::columnWidth(column));
  view.resize(600, 120);
  QImage image(view.size(), QImage::Format_RGB32);
  image.fill(kPaper);
  view.render(&image);

  const QPoint origin = view.viewport()->mapTo(&view, QPoint(0, 0));
  const QRect fullCell = view.visualRect(model.index(0, ColProgress)).translated(origin);
  const QRect newCell = view.visualRect(model.index(1, ColProgress)).translated(origin);
  ASSERT_FALSE(fullCell.isEmpty());
  int fillInCell = 0, fillElsewhere = 0, trackInNewCell = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (c == kFill) (fullCell.contains(x, y) ? fillInCell : fillElsewhere)++;
      if (c == kTrack && newCell.contains(x, y)) ++trackInNewCell;
    }
  EXPECT_GT(fillInCell, (fullCell.width() - 2) * (fullCell.height() - 4) / 2);
  EXPECT_EQ(fillElsewhere, 0);
  EXPECT_GT(trackInNewCell, (newCell.width() - 2) * (newCell.height() - 4) / 2);
}

// Failed missions stand out in red; every other status keeps the blue bar.
TEST(ProgressDelegate, FailedMissionsAreRedAndOthersKeepTheirLook) {
  const QRgb failedTrack = qRgb(253, 236, 236), failedFill = qRgb(244, 166, 166);
  struct Row {
    const char* status;
    int percent;
    bool failed;
  };
  const Row rows[] = {{"[Error in download]", 0, true},   {"[Error in convert]", 49, true},
                      {"[Converted]", 100, false},        {"[Downloading] 45%", 45, false},
                      {"[Skip] File Exists", 0, false},   {"[Wait for download]", 0, false},
                      {"[Error in download] x", 0, false}};
  MissionModel model;
  for (const Row& r : rows) model.addLsvItem("u", r.status, r.percent, "", "", "", false, "", "");
  QTableView view;
  ProgressDelegate delegate;
  view.setModel(&model);
  view.setItemDelegate(&delegate);
  view.verticalHeader()->hide();
  view.resize(700, 220);
  QImage image(view.size(), QImage::Format_RGB32);
  image.fill(kPaper);
  view.render(&image);

  const QPoint origin = view.viewport()->mapTo(&view, QPoint(0, 0));
  for (int row = 0; row < model.count(); ++row) {
    SCOPED_TRACE(rows[row].status);
    const QRect cell = view.visualRect(model.index(row, ColProgress)).translated(origin);
    int red = 0, blue = 0, redText = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
      for (int x = cell.left(); x <= cell.right(); ++x) {
        const QRgb c = image.pixel(x, y);
        red += c == failedTrack || c == failedFill;
        blue += c == kTrack || c == kFill;
        redText += c == kFailedTextColour.rgb();
      }
    EXPECT_EQ(model.index(row, 0).data(MissionModel::FailedRole).toBool(), rows[row].failed);
    EXPECT_EQ(red > 0, rows[row].failed);
    EXPECT_EQ(blue > 0, !rows[row].failed);
    EXPECT_EQ(redText > 0, rows[row].failed);
  }
}

namespace {
double Luminance(QRgb c) {
  const auto channel = [](int v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

// Contrast between the lightest and the darkest pixel of an area: text
// against its ground when the area holds one line of text.
double Contrast(const QImage& image, const QRect& area) {
  double light = 0, dark = 1;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const double l = Luminance(image.pixel(x, y));
      light = std::max(light, l);
      dark = std::min(dark, l);
    }
  return (light + 0.05) / (dark + 0.05);
}
}  // namespace

// The skin fixes the colours of the open drop-down list itself, so that a
// desktop palette whose highlight is white cannot make an item white on white.
TEST(Skin, DropDownItemsReadableSelectedAndHovered) {
  const QPalette oldPalette = QApplication::palette();
  QPalette desktop = oldPalette;
  desktop.setColor(QPalette::Highlight, Qt::white);
  desktop.setColor(QPalette::HighlightedText, Qt::white);
  QApplication::setPalette(desktop);
  qApp->setStyleSheet(LoadSkin(QM_SOURCE_DIR "/resources/default.skn"));
  ASSERT_FALSE(qApp->styleSheet().isEmpty());

  QWidget window;
  auto* combo = new QComboBox(&window);
  combo->addItems(
      {QStringLiteral("Quality First"), QStringLiteral("Both"), QStringLiteral("Time First")});
  combo->setGeometry(10, 10, 91, 21);
  combo->setCurrentIndex(1);
  window.show();
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  QCoreApplication::processEvents();
  for (int hovered : {-1, 0, 2}) {
    SCOPED_TRACE(hovered);
    if (hovered >= 0) {
      const QPointF at = view->visualRect(combo->model()->index(hovered, 0)).center();
      QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(view->viewport(), &move);
    }
    const QImage image = view->viewport()->grab().toImage();
    for (int item = 0; item < combo->count(); ++item) {
      const QRect area = view->visualRect(combo->model()->index(item, 0)) &
                         QRect(QPoint(0, 0), image.size() / image.devicePixelRatio());
      EXPECT_GE(Contrast(image, area), 4.5) << "item " << item;
    }
    EXPECT_EQ(view->currentIndex().row(), hovered >= 0 ? hovered : 1);
  }
  combo->hidePopup();
  qApp->setStyleSheet({});
  QApplication::setPalette(oldPalette);
}

}  // namespace quillmarsh

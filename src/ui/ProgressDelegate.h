#pragma once
// Draws the Progress column of the mission list; every other column is left
// to QStyledItemDelegate.

#include <QStyledItemDelegate>

class QStyle;
class QWidget;

namespace quillmarsh {

class ProgressDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // The style whose progress bar the cell uses, or nullptr for the plain bar.
  // Plain whenever a style sheet (the skin) shapes the view or the application,
  // and whenever the style is one of Qt's own ("fusion", "windows") rather
  // than a platform style: those have no platform progress bar to match.
  static const QStyle* CellStyle(const QWidget* view);
};

}  // namespace quillmarsh

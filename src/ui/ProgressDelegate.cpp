#include "ui/ProgressDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QWidget>

#include "missions/MissionModel.h"
#include "ui/DrawProgressCell.h"

namespace quillmarsh {

namespace {
bool HasStyleSheet(const QWidget* widget) {
  if (!qApp->styleSheet().isEmpty()) return true;
  for (; widget; widget = widget->parentWidget())
    if (!widget->styleSheet().isEmpty()) return true;
  return false;
}

QString StyleName(const QStyle* style) {
  while (style && style->name().isEmpty()) {
    const auto* proxy = qobject_cast<const QProxyStyle*>(style);
    style = proxy ? proxy->baseStyle() : nullptr;
  }
  return style ? style->name().toLower() : QString();
}
}  // namespace

const QStyle* ProgressDelegate::CellStyle(const QWidget* view) {
  if (HasStyleSheet(view)) return nullptr;
  const QStyle* style = view ? view->style() : QApplication::style();
  const QString name = StyleName(style);
  if (name.isEmpty() || name == QLatin1String("fusion") || name == QLatin1String("windows"))
    return nullptr;
  return style;
}

void ProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  if (index.column() != ColProgress) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem opt(option);
  initStyleOption(&opt, index);
  // The cell background (base or selection) as the view draws it elsewhere.
  const QWidget* view = opt.widget;
  const QStyle* viewStyle = view ? view->style() : QApplication::style();
  opt.text.clear();
  viewStyle->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, view);
  DrawProgressCell(*painter, opt.rect, index.data(MissionModel::ProgressRole).toInt(),
                   index.data(Qt::DisplayRole).toString(), opt.font, CellStyle(view),
                   index.data(MissionModel::FailedRole).toBool());
}

}  // namespace quillmarsh

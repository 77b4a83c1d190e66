#include "app/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

namespace tindrel {

QImage ProgramIconImage(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Drawn on a 16-unit grid, so the smallest size keeps whole-pixel edges.
  const double u = side / 16.0;
  painter.setPen(QPen(QColor(90, 70, 20), u * 0.8));
  painter.setBrush(QColor(255, 240, 170));
  painter.drawRoundedRect(QRectF(1.5 * u, 0.5 * u, 13 * u, 15 * u), 1.5 * u, 1.5 * u);
  painter.setPen(QPen(QColor(40, 70, 130), u));
  painter.drawLine(QPointF(4.5 * u, 4 * u), QPointF(4.5 * u, 12 * u));
  painter.drawLine(QPointF(4.5 * u, 8 * u), QPointF(7.5 * u, 8 * u));
  painter.drawLine(QPointF(4.5 * u, 12 * u), QPointF(7.5 * u, 12 * u));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(40, 70, 130));
  for (QPointF node : {QPointF(4.5, 4), QPointF(9.5, 8), QPointF(9.5, 12)})
    painter.drawRect(QRectF((node.x() - 1.5) * u, (node.y() - 1.5) * u, 3 * u, 3 * u));
  painter.end();
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int side : kProgramIconSizes) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(side)));
  return icon;
}

}  // namespace tindrel

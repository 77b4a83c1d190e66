// Draws the navigator's 36 standard glyphs (an enabled and a disabled image for each of the 18
// button styles) into PNG files at 18 x 18 pixels and at twice that size for screens scaled by
// two, and writes the resource list that compiles them into the program:
//
//   MakeGlyphs <output folder>
//
// Each image is named by the resource rule "WW_DBN_" + style name in capitals + "_ENABLED" or
// "_DISABLED"; the 2x image carries "@2x" before ".png", which Qt's icon loading picks for
// scaled screens. Shapes are drawn on an 18-unit grid with whole-unit edges where they can be,
// so the 1x images stay crisp; disabled glyphs are the same shapes in grey, embossed by a
// white copy one unit down and right, as disabled tool buttons traditionally look.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// How one glyph is painted: its shapes, each a path with a fill and an outline colour.
struct Shape {
  QPainterPath path;
  QColor fill;      // Qt::transparent: outline only
  QColor outline;   // Qt::transparent: no outline
  double width = 1.0;
};

QPainterPath Polygon(std::initializer_list<QPointF> points) {
  QPainterPath p;
  QPolygonF poly(points);
  p.addPolygon(poly);
  p.closeSubpath();
  return p;
}

QPainterPath Rect(double x, double y, double w, double h) {
  QPainterPath p;
  p.addRect(x, y, w, h);
  return p;
}

const QColor kArrow(36, 86, 168);
const QColor kArrowEdge(16, 44, 104);
const QColor kGreen(40, 150, 50);
const QColor kGreenEdge(20, 90, 25);
const QColor kRed(200, 48, 40);
const QColor kRedEdge(120, 20, 16);

std::vector<Shape> Arrow(bool left, double tipX) {
  // A solid triangle 10 units high, 6 wide, its tip at tipX.
  const double baseX = left ? tipX + 6 : tipX - 6;
  return {{Polygon({{baseX, 3.5}, {baseX, 14.5}, {tipX, 9}}), kArrow, kArrowEdge}};
}

std::vector<Shape> Glyph(int style) {
  switch (style) {
    case 0: {  // First: bar and left arrow
      auto s = Arrow(true, 6.5);
      s.push_back({Rect(3.5, 3.5, 2, 11), kArrow, kArrowEdge});
      return s;
    }
    case 1: return Arrow(true, 6);     // Prior
    case 2: return Arrow(false, 12);   // Next
    case 3: {  // Last: right arrow and bar
      auto s = Arrow(false, 11.5);
      s.push_back({Rect(12.5, 3.5, 2, 11), kArrow, kArrowEdge});
      return s;
    }
    case 4: {  // Insert: a plus
      QPainterPath p;
      p.addRect(7.5, 3.5, 3, 11);
      p.addRect(3.5, 7.5, 11, 3);
      return {{p.simplified(), kGreen, kGreenEdge}};
    }
    case 5: return {{Rect(3.5, 7.5, 11, 3), kRed, kRedEdge}};  // Delete: a minus
    case 6: {  // Edit: a pencil from the top right to the bottom left
      QPainterPath body = Polygon({{12, 2.5}, {15.5, 6}, {7, 14.5}, {3.5, 11}});
      QPainterPath tip = Polygon({{3.5, 11}, {7, 14.5}, {2.5, 15.5}});
      QPainterPath cap = Polygon({{12, 2.5}, {15.5, 6}, {14, 7.5}, {10.5, 4}});
      return {{body, QColor(240, 184, 40), QColor(120, 80, 10)},
              {cap, QColor(220, 110, 110), QColor(120, 40, 40)},
              {tip, QColor(60, 60, 60), QColor(40, 40, 40)}};
    }
    case 7: {  // Post: a tick
      QPainterPath p = Polygon({{2.5, 9.5}, {5, 7}, {7.5, 9.5}, {13.5, 3.5}, {16, 6}, {7.5, 14.5}});
      return {{p, kGreen, kGreenEdge}};
    }
    case 8: {  // Cancel: a cross
      QPainterPath a = Polygon({{4, 3}, {15, 14}, {14, 15}, {3, 4}});
      QPainterPath b = Polygon({{14, 3}, {15, 4}, {4, 15}, {3, 14}});
      QPainterPath p = a.united(b);
      QPainterPathStroker stroker;
      stroker.setWidth(1.6);
      return {{p, kRed, kRedEdge, 1.0}, {stroker.createStroke(p), kRed, Qt::transparent}};
    }
    case 9: {  // Refresh: a circular arrow
      QPainterPath arc;
      arc.arcMoveTo(QRectF(3.5, 3.5, 11, 11), 90);
      arc.arcTo(QRectF(3.5, 3.5, 11, 11), 90, 270);
      QPainterPathStroker stroker;
      stroker.setWidth(2.4);
      stroker.setCapStyle(Qt::FlatCap);
      QPainterPath ring = stroker.createStroke(arc);
      QPainterPath head = Polygon({{8, 0.8}, {12.5, 3.5}, {8, 6.4}});
      return {{ring.united(head), QColor(30, 130, 150), QColor(10, 70, 90), 0.8}};
    }
    case 10: {  // PriorPage: two left arrows
      QPainterPath a = Polygon({{8.5, 3.5}, {8.5, 14.5}, {3, 9}});
      QPainterPath b = Polygon({{14.5, 3.5}, {14.5, 14.5}, {9, 9}});
      return {{a, kArrow, kArrowEdge}, {b, kArrow, kArrowEdge}};
    }
    case 11: {  // NextPage: two right arrows
      QPainterPath a = Polygon({{3.5, 3.5}, {3.5, 14.5}, {9, 9}});
      QPainterPath b = Polygon({{9.5, 3.5}, {9.5, 14.5}, {15, 9}});
      return {{a, kArrow, kArrowEdge}, {b, kArrow, kArrowEdge}};
    }
    case 12: {  // SaveBookmark: a ribbon with a plus beside it
      QPainterPath ribbon = Polygon({{3.5, 2.5}, {10.5, 2.5}, {10.5, 15.5}, {7, 12}, {3.5, 15.5}});
      QPainterPath plus;
      plus.addRect(13, 9.5, 2, 6);
      plus.addRect(11, 11.5, 6, 2);
      return {{ribbon, QColor(214, 70, 40), QColor(120, 30, 16)}, {plus.simplified(), kGreen, kGreenEdge}};
    }
    case 13: {  // RestoreBookmark: a ribbon with a return arrow beside it
      QPainterPath ribbon = Polygon({{7.5, 2.5}, {14.5, 2.5}, {14.5, 15.5}, {11, 12}, {7.5, 15.5}});
      QPainterPath arrow = Polygon({{1.5, 9}, {5.5, 5}, {5.5, 7.5}, {7.5, 7.5}, {7.5, 10.5}, {5.5, 10.5}, {5.5, 13}});
      return {{ribbon, QColor(214, 70, 40), QColor(120, 30, 16)}, {arrow, kArrow, kArrowEdge}};
    }
    case 14: {  // FilterDialog: a funnel
      QPainterPath p = Polygon({{2.5, 3.5}, {15.5, 3.5}, {10.5, 9.5}, {10.5, 15.5}, {7.5, 13.5}, {7.5, 9.5}});
      return {{p, QColor(90, 150, 220), QColor(20, 60, 120)}};
    }
    case 15: {  // RecordViewDialog: a record card with a title bar and two lines
      QPainterPath card = Rect(2.5, 3.5, 13, 11);
      QPainterPath title = Rect(2.5, 3.5, 13, 3);
      QPainterPath lines;
      lines.addRect(4.5, 8.5, 9, 1);
      lines.addRect(4.5, 11.5, 6, 1);
      return {{card, QColor(255, 255, 255), QColor(60, 60, 60)},
              {title, kArrow, kArrowEdge},
              {lines, QColor(90, 90, 90), Qt::transparent}};
    }
    case 16: {  // LocateDialog: a target with cross hairs
      QPainterPath ring;
      ring.addEllipse(QRectF(3.5, 3.5, 11, 11));
      ring.addEllipse(QRectF(6, 6, 6, 6));
      QPainterPath hairs;
      hairs.addRect(8.5, 1, 1, 5);
      hairs.addRect(8.5, 12, 1, 5);
      hairs.addRect(1, 8.5, 5, 1);
      hairs.addRect(12, 8.5, 5, 1);
      QPainterPath dot;
      dot.addEllipse(QRectF(7.5, 7.5, 3, 3));
      return {{ring, QColor(255, 255, 255), kRedEdge, 1.2},
              {hairs, QColor(40, 40, 40), Qt::transparent},
              {dot, kRed, kRedEdge}};
    }
    case 17: {  // SearchDialog: a magnifier
      QPainterPath glass;
      glass.addEllipse(QRectF(2.5, 2.5, 9, 9));
      QPainterPath handle = Polygon({{10, 11.5}, {11.5, 10}, {16, 14.5}, {14.5, 16}});
      return {{handle, QColor(110, 70, 30), QColor(60, 36, 12)},
              {glass, QColor(200, 228, 250), QColor(40, 40, 40), 1.6}};
    }
  }
  return {};
}

const char* const kStyleNames[18] = {
    "FIRST", "PRIOR", "NEXT", "LAST", "INSERT", "DELETE", "EDIT", "POST", "CANCEL",
    "REFRESH", "PRIORPAGE", "NEXTPAGE", "SAVEBOOKMARK", "RESTOREBOOKMARK", "FILTERDIALOG",
    "RECORDVIEWDIALOG", "LOCATEDIALOG", "SEARCHDIALOG"};

void Paint(QPainter& painter, const std::vector<Shape>& shapes, bool enabled, const QPointF& offset,
           const QColor* flat) {
  painter.save();
  painter.translate(offset);
  for (const Shape& s : shapes) {
    QColor fill = s.fill, outline = s.outline;
    if (flat) {
      if (fill.alpha() != 0) fill = *flat;
      if (outline.alpha() != 0) outline = *flat;
    } else if (!enabled) {
      // Grey by lightness, so shapes keep their relative tone.
      auto grey = [](const QColor& c, int lighter) {
        if (c.alpha() == 0) return c;
        const int v = std::clamp(96 + c.lightness() * 3 / 8 + lighter, 0, 255);
        return QColor(v, v, v);
      };
      fill = grey(fill, 10);
      outline = grey(outline, -20);
    }
    painter.setPen(outline.alpha() == 0 ? QPen(Qt::NoPen) : QPen(outline, s.width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(fill.alpha() == 0 ? QBrush(Qt::NoBrush) : QBrush(fill));
    painter.drawPath(s.path);
  }
  painter.restore();
}

QImage Draw(int style, bool enabled, int scale) {
  QImage image(18 * scale, 18 * scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(scale, scale);
  const auto shapes = Glyph(style);
  if (!enabled) {
    const QColor white(255, 255, 255);
    Paint(painter, shapes, false, QPointF(1, 1), &white);
  }
  Paint(painter, shapes, enabled, QPointF(0, 0), nullptr);
  painter.end();
  image.setDevicePixelRatio(scale);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: MakeGlyphs <output folder>\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    std::fprintf(stderr, "MakeGlyphs: cannot create %s\n", argv[1]);
    return 1;
  }
  QFile qrc(out.filePath(QStringLiteral("glyphs.qrc")));
  if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  QTextStream list(&qrc);
  list << "<RCC>\n  <qresource prefix=\"/navigator\">\n";
  for (int style = 0; style < 18; ++style) {
    for (bool enabled : {true, false}) {
      const QString name = QStringLiteral("WW_DBN_%1_%2").arg(QLatin1String(kStyleNames[style]),
                                                              enabled ? QStringLiteral("ENABLED") : QStringLiteral("DISABLED"));
      for (int scale : {1, 2}) {
        const QString file = name + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
        if (!Draw(style, enabled, scale).save(out.filePath(file), "PNG")) {
          std::fprintf(stderr, "MakeGlyphs: cannot write %s\n", qPrintable(file));
          return 1;
        }
        list << "    <file>" << file << "</file>\n";
      }
    }
  }
  list << "  </qresource>\n</RCC>\n";
  return 0;
}

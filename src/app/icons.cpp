#include "app/icons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "app/texts.h"

namespace vostrel::gui {

namespace {

// Drawing is done on a 32-unit square scaled to the pixmap.
class Canvas {
 public:
  explicit Canvas(QPixmap& pm) : p_(&pm), s_(pm.width() / 32.0) {
    p_.setRenderHint(QPainter::Antialiasing);
    p_.scale(s_, s_);
  }
  QPainter& p() { return p_; }
  void Pen(QColor c, qreal w) { p_.setPen(QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)); }
  void Fill(QColor c) { p_.setBrush(c); }

  void Cylinder(QRectF r, QColor body, QColor edge) {
    const qreal cap = r.height() * 0.28;
    Fill(body);
    Pen(edge, 1.2);
    QPainterPath side;
    side.moveTo(r.left(), r.top() + cap / 2);
    side.lineTo(r.left(), r.bottom() - cap / 2);
    side.arcTo(QRectF(r.left(), r.bottom() - cap, r.width(), cap), 180, 180);
    side.lineTo(r.right(), r.top() + cap / 2);
    p_.drawPath(side);
    Fill(body.lighter(130));
    p_.drawEllipse(QRectF(r.left(), r.top(), r.width(), cap));
    // The bands of a disk stack.
    p_.setBrush(Qt::NoBrush);
    for (qreal y : {r.top() + r.height() * 0.42, r.top() + r.height() * 0.68}) {
      p_.drawArc(QRectF(r.left(), y - cap / 2, r.width(), cap), 180 * 16, 180 * 16);
    }
  }

  void Grid(QRectF r, QColor head, QColor edge) {
    Pen(edge, 1.2);
    Fill(Qt::white);
    p_.drawRect(r);
    p_.fillRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.28), head);
    p_.drawRect(r);
    Pen(edge, 0.9);
    for (int i = 1; i < 3; ++i) {
      const qreal y = r.top() + r.height() * (0.28 + 0.24 * i);
      p_.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    p_.drawLine(QPointF(r.left() + r.width() * 0.4, r.top()),
                QPointF(r.left() + r.width() * 0.4, r.bottom()));
  }

  void Eye(QRectF r) {
    Fill(QColor(235, 243, 252));
    Pen(QColor(40, 80, 140), 1.4);
    QPainterPath lid;
    lid.moveTo(r.left(), r.center().y());
    lid.quadTo(r.center().x(), r.top() - r.height() * 0.3, r.right(), r.center().y());
    lid.quadTo(r.center().x(), r.bottom() + r.height() * 0.3, r.left(), r.center().y());
    p_.drawPath(lid);
    Fill(QColor(60, 120, 200));
    const qreal d = r.height() * 0.75;
    p_.drawEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
    Fill(QColor(15, 30, 60));
    p_.setPen(Qt::NoPen);
    p_.drawEllipse(QRectF(r.center().x() - d / 5, r.center().y() - d / 5, d / 2.5, d / 2.5));
  }

  void Bolt(QRectF r) {
    Fill(QColor(250, 200, 40));
    Pen(QColor(150, 95, 0), 1.3);
    auto at = [&r](qreal x, qreal y) {
      return QPointF(r.left() + r.width() * x, r.top() + r.height() * y);
    };
    QPolygonF bolt;
    bolt << at(.62, 0) << at(.1, .56) << at(.45, .56) << at(.32, 1) << at(.9, .4) << at(.53, .4);
    p_.drawPolygon(bolt);
  }

  void Folder(QColor body, QColor edge) {
    Fill(body.darker(108));
    Pen(edge, 1.2);
    QPainterPath back;
    back.moveTo(3, 26);
    back.lineTo(3, 7);
    back.lineTo(12, 7);
    back.lineTo(15, 10);
    back.lineTo(29, 10);
    back.lineTo(29, 26);
    back.closeSubpath();
    p_.drawPath(back);
    Fill(body);
    p_.drawRoundedRect(QRectF(3, 13, 26, 14), 1.5, 1.5);
  }

  void Badge(TableState state) {
    const QRectF r(16, 16, 16, 16);
    QColor fill;
    switch (state) {
      case TableState::kComplete:
        fill = QColor(40, 150, 60);
        break;
      case TableState::kDamaged:
        fill = QColor(235, 140, 0);
        break;
      case TableState::kDefinitionOnly:
        fill = QColor(90, 110, 200);
        break;
      case TableState::kNotRead:
        fill = QColor(200, 35, 35);
        break;
    }
    Fill(fill);
    Pen(Qt::white, 1.5);
    p_.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    Pen(Qt::white, 2.6);
    const QPointF c = r.center();
    switch (state) {
      case TableState::kComplete:
        p_.drawPolyline(QPolygonF{QPointF(c.x() - 4.5, c.y()), QPointF(c.x() - 1.5, c.y() + 3.5),
                                  QPointF(c.x() + 4.5, c.y() - 3.5)});
        break;
      case TableState::kDamaged:
        p_.drawLine(QPointF(c.x(), c.y() - 4.5), QPointF(c.x(), c.y() + 0.8));
        p_.drawPoint(QPointF(c.x(), c.y() + 4.2));
        break;
      case TableState::kDefinitionOnly:
        // Rows left out: a dash.
        p_.drawLine(QPointF(c.x() - 4, c.y()), QPointF(c.x() + 4, c.y()));
        break;
      case TableState::kNotRead:
        p_.drawLine(QPointF(c.x() - 3.5, c.y() - 3.5), QPointF(c.x() + 3.5, c.y() + 3.5));
        p_.drawLine(QPointF(c.x() + 3.5, c.y() - 3.5), QPointF(c.x() - 3.5, c.y() + 3.5));
        break;
    }
  }

 private:
  QPainter p_;
  qreal s_;
};

QPixmap Blank(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  return pm;
}

void Paint(Canvas& c, IconKind kind) {
  QPainter& p = c.p();
  switch (kind) {
    case IconKind::kOpen:
      c.Folder(QColor(245, 195, 70), QColor(150, 100, 20));
      // An arrow coming out: something is opened.
      c.Pen(QColor(30, 110, 40), 2.6);
      p.drawLine(QPointF(22, 22), QPointF(22, 3));
      p.drawPolyline(QPolygonF{QPointF(17, 8), QPointF(22, 3), QPointF(27, 8)});
      break;
    case IconKind::kFolder:
      c.Folder(QColor(245, 200, 80), QColor(150, 100, 20));
      break;
    case IconKind::kStop: {
      c.Fill(QColor(210, 50, 50));
      c.Pen(QColor(120, 20, 20), 1.5);
      QPolygonF octagon;
      for (int i = 0; i < 8; ++i) {
        const qreal a = (22.5 + 45 * i) * 3.14159265 / 180;
        octagon << QPointF(16 + 13 * std::cos(a), 16 + 13 * std::sin(a));
      }
      p.drawPolygon(octagon);
      p.fillRect(QRectF(10.5, 10.5, 11, 11), Qt::white);
      break;
    }
    case IconKind::kSave:
      c.Cylinder(QRectF(4, 9, 20, 21), QColor(60, 110, 200), QColor(20, 50, 120));
      c.Pen(QColor(30, 130, 50), 3);
      p.drawLine(QPointF(25, 2), QPointF(25, 15));
      p.drawPolyline(QPolygonF{QPointF(20, 10.5), QPointF(25, 15.5), QPointF(30, 10.5)});
      break;
    case IconKind::kDatabase:
      c.Cylinder(QRectF(5, 3, 22, 26), QColor(225, 165, 50), QColor(130, 85, 10));
      break;
    case IconKind::kServer:
      c.Fill(QColor(90, 100, 115));
      c.Pen(QColor(40, 45, 55), 1.2);
      for (int i = 0; i < 3; ++i) {
        p.drawRoundedRect(QRectF(4, 3 + 9 * i, 24, 8), 1.5, 1.5);
        p.fillRect(QRectF(7, 6 + 9 * i, 2.5, 2.5), QColor(90, 230, 90));
      }
      break;
    case IconKind::kTable:
      c.Grid(QRectF(3, 5, 26, 22), QColor(90, 140, 210), QColor(40, 70, 130));
      break;
    case IconKind::kReport:
      c.Grid(QRectF(3, 3, 26, 26), QColor(60, 150, 90), QColor(30, 90, 50));
      break;
    case IconKind::kHelp:
    case IconKind::kAbout: {
      c.Fill(kind == IconKind::kHelp ? QColor(50, 130, 200) : QColor(70, 150, 90));
      c.Pen(kind == IconKind::kHelp ? QColor(20, 70, 130) : QColor(30, 90, 50), 1.5);
      p.drawEllipse(QRectF(3, 3, 26, 26));
      QFont f("DejaVu Sans");
      f.setBold(true);
      f.setPixelSize(19);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, kind == IconKind::kHelp ? "?" : "i");
      break;
    }
    case IconKind::kKeys:
      c.Pen(QColor(170, 125, 10), 3);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(3, 10, 11, 11));
      p.drawLine(QPointF(14, 15.5), QPointF(29, 15.5));
      p.drawLine(QPointF(25, 15.5), QPointF(25, 21));
      p.drawLine(QPointF(21, 15.5), QPointF(21, 20));
      break;
    case IconKind::kViews:
      c.Folder(QColor(190, 215, 245), QColor(60, 90, 140));
      c.Eye(QRectF(9, 16, 14, 8));
      break;
    case IconKind::kView:
      c.Eye(QRectF(3, 10, 26, 12));
      break;
    case IconKind::kTriggers:
      c.Folder(QColor(250, 225, 150), QColor(150, 100, 20));
      c.Bolt(QRectF(11, 12, 11, 14));
      break;
    case IconKind::kTrigger:
      c.Bolt(QRectF(6, 2, 20, 28));
      break;
    case IconKind::kPrevious:
    case IconKind::kNext: {
      c.Fill(QColor(80, 120, 190));
      p.setPen(Qt::NoPen);
      QPolygonF tri;
      if (kind == IconKind::kPrevious) {
        tri << QPointF(22, 5) << QPointF(8, 16) << QPointF(22, 27);
      } else {
        tri << QPointF(10, 5) << QPointF(24, 16) << QPointF(10, 27);
      }
      p.drawPolygon(tri);
      break;
    }
    case IconKind::kOk:
      c.Pen(QColor(40, 140, 60), 4);
      p.drawPolyline(QPolygonF{QPointF(5, 17), QPointF(13, 25), QPointF(27, 7)});
      break;
    case IconKind::kCancel:
      c.Pen(QColor(190, 40, 40), 4);
      p.drawLine(QPointF(7, 7), QPointF(25, 25));
      p.drawLine(QPointF(25, 7), QPointF(7, 25));
      break;
    case IconKind::kTest:
      c.Pen(QColor(60, 60, 60), 2.5);
      p.drawLine(QPointF(3, 16), QPointF(12, 16));
      p.drawLine(QPointF(20, 16), QPointF(29, 16));
      c.Fill(QColor(90, 170, 90));
      p.drawEllipse(QRectF(11, 11, 10, 10));
      break;
    case IconKind::kApp:
      c.Cylinder(QRectF(2, 4, 22, 26), QColor(60, 110, 200), QColor(20, 50, 120));
      // A lifebuoy: data brought back.
      c.Pen(QColor(255, 255, 255), 1);
      c.Fill(QColor(225, 45, 45));
      p.drawEllipse(QRectF(15, 15, 16, 16));
      c.Fill(QColor(60, 110, 200));
      p.drawEllipse(QRectF(19.5, 19.5, 7, 7));
      c.Pen(Qt::white, 2.4);
      for (int i = 0; i < 4; ++i) {
        const qreal a = (45 + 90 * i) * 3.14159265 / 180;
        p.drawLine(QPointF(23 + 4.2 * std::cos(a), 23 + 4.2 * std::sin(a)),
                   QPointF(23 + 7.2 * std::cos(a), 23 + 7.2 * std::sin(a)));
      }
      break;
  }
}

}  // namespace

QIcon DrawIcon(IconKind kind, int size) {
  QPixmap pm = Blank(size);
  {
    Canvas c(pm);
    Paint(c, kind);
  }
  return QIcon(pm);
}

QIcon TableStateIcon(TableState state, int size) {
  QPixmap pm = Blank(size);
  {
    Canvas c(pm);
    Paint(c, IconKind::kTable);
    c.Badge(state);
  }
  return QIcon(pm);
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(DrawIcon(IconKind::kApp, size).pixmap(size));
  return icon;
}

QDialogButtonBox* OkCancelButtons(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  ok->setIcon(DrawIcon(IconKind::kOk, 16));
  ok->setToolTip("OK");
  cancel->setIcon(DrawIcon(IconKind::kCancel, 16));
  cancel->setToolTip("Cancel");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

QPixmap SplashPixmap() {
  // Laid out from the text's own metrics, so that no font cuts it off.
  QFont title("DejaVu Sans");
  title.setPixelSize(28);
  title.setBold(true);
  QFont small("DejaVu Sans");
  small.setPixelSize(15);
  const QString line1 = "MySQL Database Recovery";
  const QString line2 = kAppCaption;
  const QFontMetrics tm(title);
  const QFontMetrics sm(small);
  const int icon = 112;
  const int margin = 28;
  const int text_width = std::max(tm.horizontalAdvance(line1), sm.horizontalAdvance(line2));
  const int width = margin + icon + margin + text_width + margin;
  const int height = std::max(icon, tm.height() + sm.height() * 2) + 2 * margin + 16;
  QPixmap pm(width, height);
  pm.fill(QColor(30, 70, 130));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(0, height - 16, width, 16), QColor(20, 50, 100));
  p.drawPixmap(margin, (height - 16 - icon) / 2, DrawIcon(IconKind::kApp, icon).pixmap(icon));
  const int x = margin + icon + margin;
  int y = (height - 16 - (tm.height() + sm.height() * 2)) / 2;
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(x, y, text_width, tm.height()), Qt::AlignLeft | Qt::AlignVCenter, line1);
  y += tm.height() + sm.height() / 2;
  p.setFont(small);
  p.setPen(QColor(200, 220, 245));
  p.drawText(QRect(x, y, text_width, sm.height()), Qt::AlignLeft | Qt::AlignVCenter, line2);
  return pm;
}

}  // namespace vostrel::gui

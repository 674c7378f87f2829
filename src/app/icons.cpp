#include "app/icons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPainter>
#include <QPushButton>
#include <QPainterPath>

namespace vostrel::gui {

QIcon DrawIcon(IconKind kind, int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  auto pen = [&](QColor c, qreal w) { p.setPen(QPen(c, w * s / 32, Qt::SolidLine, Qt::RoundCap)); };
  switch (kind) {
    case IconKind::kOpen:
    case IconKind::kFolder:
      p.setBrush(QColor(240, 190, 60));
      pen(QColor(150, 100, 20), 1.5);
      p.drawRoundedRect(QRectF(s * .08, s * .28, s * .84, s * .6), s * .06, s * .06);
      p.drawRect(QRectF(s * .08, s * .2, s * .35, s * .12));
      break;
    case IconKind::kStop:
      p.setBrush(QColor(210, 50, 50));
      pen(QColor(120, 20, 20), 1.5);
      p.drawEllipse(QRectF(s * .12, s * .12, s * .76, s * .76));
      p.fillRect(QRectF(s * .34, s * .34, s * .32, s * .32), Qt::white);
      break;
    case IconKind::kSave: {
      p.setBrush(QColor(60, 110, 200));
      pen(QColor(20, 50, 120), 1.5);
      p.drawEllipse(QRectF(s * .15, s * .1, s * .7, s * .22));
      p.drawRect(QRectF(s * .15, s * .21, s * .7, s * .55));
      p.drawEllipse(QRectF(s * .15, s * .65, s * .7, s * .22));
      break;
    }
    case IconKind::kHelp:
    case IconKind::kAbout: {
      p.setBrush(QColor(70, 150, 90));
      pen(QColor(30, 90, 50), 1.5);
      p.drawEllipse(QRectF(s * .1, s * .1, s * .8, s * .8));
      QFont f = p.font();
      f.setBold(true);
      f.setPixelSize(static_cast<int>(s * .55));
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, kind == IconKind::kHelp ? "?" : "i");
      break;
    }
    case IconKind::kKeys:
      pen(QColor(180, 140, 20), 3);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(s * .1, s * .3, s * .35, s * .35));
      p.drawLine(QPointF(s * .45, s * .48), QPointF(s * .9, s * .48));
      p.drawLine(QPointF(s * .8, s * .48), QPointF(s * .8, s * .66));
      break;
    case IconKind::kViews:
      p.setBrush(QColor(120, 170, 230));
      pen(QColor(40, 80, 140), 1.5);
      p.drawEllipse(QRectF(s * .08, s * .3, s * .84, s * .4));
      p.setBrush(QColor(20, 40, 80));
      p.drawEllipse(QRectF(s * .4, s * .38, s * .2, s * .24));
      break;
    case IconKind::kTriggers: {
      p.setBrush(QColor(250, 200, 40));
      pen(QColor(150, 100, 0), 1.5);
      QPainterPath bolt;
      bolt.moveTo(s * .55, s * .05);
      bolt.lineTo(s * .2, s * .55);
      bolt.lineTo(s * .48, s * .55);
      bolt.lineTo(s * .4, s * .95);
      bolt.lineTo(s * .8, s * .42);
      bolt.lineTo(s * .52, s * .42);
      bolt.closeSubpath();
      p.drawPath(bolt);
      break;
    }
    case IconKind::kPrevious:
    case IconKind::kNext: {
      p.setBrush(QColor(80, 120, 190));
      p.setPen(Qt::NoPen);
      QPolygonF tri;
      if (kind == IconKind::kPrevious) {
        tri << QPointF(s * .7, s * .15) << QPointF(s * .25, s * .5) << QPointF(s * .7, s * .85);
      } else {
        tri << QPointF(s * .3, s * .15) << QPointF(s * .75, s * .5) << QPointF(s * .3, s * .85);
      }
      p.drawPolygon(tri);
      break;
    }
    case IconKind::kOk:
      pen(QColor(40, 140, 60), 4);
      p.drawLine(QPointF(s * .15, s * .55), QPointF(s * .4, s * .8));
      p.drawLine(QPointF(s * .4, s * .8), QPointF(s * .85, s * .2));
      break;
    case IconKind::kCancel:
      pen(QColor(190, 40, 40), 4);
      p.drawLine(QPointF(s * .2, s * .2), QPointF(s * .8, s * .8));
      p.drawLine(QPointF(s * .8, s * .2), QPointF(s * .2, s * .8));
      break;
    case IconKind::kTest:
      pen(QColor(60, 60, 60), 2.5);
      p.drawLine(QPointF(s * .1, s * .5), QPointF(s * .4, s * .5));
      p.drawLine(QPointF(s * .6, s * .5), QPointF(s * .9, s * .5));
      p.setBrush(QColor(90, 170, 90));
      p.drawEllipse(QRectF(s * .35, s * .35, s * .3, s * .3));
      break;
  }
  return QIcon(pm);
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
  QPixmap pm(420, 220);
  pm.fill(QColor(30, 70, 130));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.drawPixmap(30, 60, DrawIcon(IconKind::kSave, 96).pixmap(96, 96));
  QFont f = p.font();
  f.setPixelSize(26);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(140, 60, 270, 60), Qt::AlignLeft | Qt::AlignVCenter, "MySQL Database Recovery");
  f.setPixelSize(25);
  f.setBold(false);
  p.setFont(f);
  p.setPen(Qt::black);
  p.fillRect(QRect(140, 130, 120, 40), QColor(230, 230, 230));
  p.drawText(QRect(140, 130, 120, 40), Qt::AlignCenter, "v22.0");
  return pm;
}

}  // namespace vostrel::gui

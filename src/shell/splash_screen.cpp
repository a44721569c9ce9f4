#include "shell/splash_screen.h"

#include <QPainter>

#include "shell/user_dialogs.h"

namespace dudorazu::shell {
namespace {

QPixmap picture() {
  QPixmap pixmap(420, 140);
  pixmap.fill(QColor(0x1f, 0x4e, 0x79));
  QPainter painter(&pixmap);
  painter.setPen(Qt::white);
  QFont title = painter.font();
  title.setPointSize(22);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRect(0, 20, 420, 60), Qt::AlignCenter, applicationTitle());
  QFont line = painter.font();
  line.setPointSize(10);
  line.setBold(false);
  painter.setFont(line);
  painter.drawText(QRect(0, 80, 420, 40), Qt::AlignCenter, SplashScreen::tr("exFAT 数据恢复"));
  return pixmap;
}

}  // namespace

SplashScreen::SplashScreen() : QSplashScreen(picture()) { setAccessibleName(applicationTitle()); }

}  // namespace dudorazu::shell

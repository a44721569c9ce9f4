#pragma once
// The window shown while the disk catalogue is built at start-up.
#include <QSplashScreen>

namespace dudorazu::shell {

class SplashScreen : public QSplashScreen {
  Q_OBJECT
 public:
  SplashScreen();
};

}  // namespace dudorazu::shell

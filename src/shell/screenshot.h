#pragma once
// Pictures of the main windows for the documentation: the disk window with
// the first exFAT partition's properties, the progress window of that
// partition's tree load, then its window with a folder that holds deleted
// entries. Runs the event loop; returns the exit
// status. `drawn`, when given, is shown each window as it is drawn (the
// tests read its texts).
#include <QString>
#include <functional>

class QWidget;

namespace dudorazu::shell {

class MainWindow;

int takeScreenshots(MainWindow& window, const QString& directory, std::function<void(QWidget&)> drawn = {});

}  // namespace dudorazu::shell

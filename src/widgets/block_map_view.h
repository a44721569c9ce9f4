#pragma once
// The picture of a rescue: a grid of cells over the whole source, each
// coloured by the most troubled state of the bytes it stands for, in the
// mapfile's characters: '+' copied (green), '?' not tried (grey), '*' not
// trimmed (yellow), '/' not scraped (orange), '-' unreadable (red).
#include <QWidget>
#include <string>

namespace dudorazu::widgets {

class BlockMapView : public QWidget {
  Q_OBJECT
 public:
  explicit BlockMapView(QWidget* parent = nullptr);

  // How many cells the grid has room for at its size; the caller asks the
  // map for that many.
  int cellCount() const;
  // The cells in order, row by row; more than cellCount() are not drawn.
  void setCells(const std::string& states);
  const std::string& cells() const { return cells_; }
  static QColor colourOf(char state);
  // The cell at `index`'s rectangle inside the widget.
  QRect cellRect(int index) const;

  QSize sizeHint() const override { return {260, 160}; }
  QSize minimumSizeHint() const override { return {130, 80}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int columns() const;
  std::string cells_;
};

}  // namespace dudorazu::widgets

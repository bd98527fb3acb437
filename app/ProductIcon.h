#pragma once
#include <QIcon>
#include <QPixmap>

// The program's icon (a page tree on a green tile), built into the program
// so that windows and the about box show it wherever the program lies.
class ProductIcon {
 public:
  static QIcon Icon();
  // The logo for the about box, drawn from the nearest larger size.
  static QPixmap Logo(int side);
};

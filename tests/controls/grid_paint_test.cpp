// The grid paints its cells and row numbers itself; what it paints is held
// against QTableView's own painting of the same model (text in the same
// place, the same row highlighted), and its text layout against the font.

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include "banded_paint.h"
#include "controls/data_grid.h"
#include "controls_fixture.h"
#include "glyph_text.h"

namespace tessel::testing {
namespace {

using controls::BandedScrollBar;
using controls::DataGrid;
using controls::GlyphBatch;
using controls::GlyphText;

QImage Picture(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int Distance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
         std::abs(qBlue(a) - qBlue(b));
}

// The box of the pixels in rect that stand out from the background at the
// rect's left edge (text ink); null when there are none.
QRect Ink(const QImage& image, const QRect& rect) {
  const QRgb background = image.pixel(rect.left() + 1, rect.center().y());
  QRect box;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      if (Distance(image.pixel(x, y), background) > 200) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

bool Near(const QRect& a, const QRect& b, int slack) {
  return std::abs(a.left() - b.left()) <= slack && std::abs(a.right() - b.right()) <= slack &&
         std::abs(a.top() - b.top()) <= 1 && std::abs(a.bottom() - b.bottom()) <= 1;
}

std::string Describe(const QRect& r) {
  return r.isNull() ? "(none)"
                    : "(" + std::to_string(r.left()) + "," + std::to_string(r.top()) + ")-(" +
                          std::to_string(r.right()) + "," + std::to_string(r.bottom()) + ")";
}

class GridPaintTest : public ControlsTest {
 protected:
  // Rows of different lengths, Latin and other scripts, money with and
  // without cents.
  TTessel& OpenPaintRows() {
    server->InternalExecute("IF OBJECT_ID('ctl_paint') IS NOT NULL DROP TABLE ctl_paint");
    server->InternalExecute(
        "CREATE TABLE ctl_paint (id int PRIMARY KEY, name nvarchar(60) NULL, price money NULL)");
    server->InternalExecute(
        "INSERT INTO ctl_paint VALUES (1, N'a', 1.5), (2, N'Harbour Tools', 120.1), "
        "(3, N'Wide Wall', -3), (4, N'\u03a9\u03bc\u03ad\u03b3\u03b1 \u0395\u03bb\u03bb\u03ac', "
        "17.25), (5, N'\u041c\u0438\u0440', NULL), (6, NULL, 1000000), "
        "(7, N'a much longer name than the column is wide', 0.0025)");
    return OpenQuery("SELECT id, name, price FROM ctl_paint ORDER BY id", true, "ctl_paint");
  }
  static constexpr int kRows = 7;

  // The grid on the query's data source, shown and painted at the given width.
  bool ShowGrid(DataGrid& grid, int width = 560) {
    grid.SetDataSource(source.get());
    grid.resize(width, 300);
    grid.show();
    return QTest::qWaitForWindowExposed(&grid);
  }
};

TEST_F(GridPaintTest, MoneyShowsItsCentsAndIsEditedAsItsValue) {
  TTessel& q = OpenPaintRows();
  DataGrid grid;
  ASSERT_TRUE(ShowGrid(grid, 500));
  auto& model = *grid.Model();
  // Shown with cents on the current row and on the others, read from pages.
  EXPECT_EQ(model.data(model.index(1, 2)).toString(), "120.10");
  EXPECT_EQ(model.CellDisplayText(1, 2), "120.10");
  EXPECT_EQ(model.data(model.index(2, 2)).toString(), "-3.00");
  EXPECT_EQ(model.data(model.index(6, 2)).toString(), "0.0025");
  EXPECT_EQ(model.data(model.index(4, 2)).toString(), "");
  EXPECT_EQ(model.data(model.index(0, 2)).toString(), "1.50");
  // The text to edit is the value, for another row as for the current one.
  EXPECT_EQ(model.data(model.index(1, 2), Qt::EditRole).toString(), "120.1");
  EXPECT_EQ(q.RecNo(), 1) << "reading another row's value leaves the record current";
  q.MoveBy(1);
  EXPECT_EQ(model.data(model.index(1, 2)).toString(), "120.10");
  EXPECT_EQ(model.data(model.index(1, 2), Qt::EditRole).toString(), "120.1");

  // An editor opened on the cell starts from the value and posts what it holds.
  const QModelIndex cell = model.index(1, 2);
  grid.setCurrentIndex(cell);
  grid.edit(cell);
  auto* editor = grid.viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "120.1");
}

TEST_F(GridPaintTest, PaintedCellsMatchQtsPaintingOfTheModel) {
  OpenPaintRows();
  DataGrid grid;
  ASSERT_TRUE(ShowGrid(grid));
  grid.setColumnWidth(1, 120);  // the last row's name is cut
  QApplication::processEvents();
  ASSERT_TRUE(grid.PaintsCellsItself());
  const QImage own = Picture(grid.viewport());
  grid.SetPaintsCellsItself(false);
  const QImage qt = Picture(grid.viewport());
  auto& model = *grid.Model();

  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < 3; ++column) {
      const QRect cell = grid.visualRect(model.index(row, column));
      const QRect mine = Ink(own, cell);
      const QRect theirs = Ink(qt, cell);
      const std::string where = "row " + std::to_string(row) + " column " + std::to_string(column) +
                                ": " + Describe(mine) + " vs " + Describe(theirs);
      ASSERT_EQ(mine.isNull(), theirs.isNull()) << where;
      if (mine.isNull()) continue;
      // Right-aligned numbers end where Qt ends them; text starts where Qt
      // starts it and ends within a few pixels (Qt kerns).
      if (row == kRows - 1 && column == 1) {
        // Cut with an ellipsis: ends near the cell's end, not beyond it.
        EXPECT_LE(mine.right(), cell.right() - 2) << where;
        EXPECT_GE(mine.right(), cell.right() - 14) << where;
        EXPECT_EQ(mine.left(), theirs.left()) << where;
        continue;
      }
      EXPECT_TRUE(Near(mine, theirs, 3)) << where;
      if (column != 1) {
        EXPECT_EQ(mine.right(), theirs.right()) << where;
      }
    }
  }
  // Grid lines in the same places: the last pixel column of each cell.
  for (int column = 0; column < 3; ++column) {
    const QRect cell = grid.visualRect(model.index(2, column));
    EXPECT_EQ(own.pixel(cell.right() + 1, cell.center().y()),
              qt.pixel(cell.right() + 1, cell.center().y()))
        << "column " << column;
    EXPECT_EQ(own.pixel(cell.left() + 1, cell.bottom() + 1),
              qt.pixel(cell.left() + 1, cell.bottom() + 1))
        << "column " << column;
  }
}

TEST_F(GridPaintTest, CurrentRowIsHighlightedAndFollowsTheRecord) {
  TTessel& q = OpenPaintRows();
  DataGrid grid;
  ASSERT_TRUE(ShowGrid(grid));
  auto& model = *grid.Model();
  const auto colour = [&](QPalette::ColorRole role) {
    return grid.palette().color(grid.isActiveWindow() ? QPalette::Active : QPalette::Inactive,
                                role);
  };
  const auto background = [&](const QImage& image, int row, int column) {
    const QRect cell = grid.visualRect(model.index(row, column));
    return image.pixel(cell.left() + 1, cell.center().y());
  };
  // True when some pixel of the row's text is near the colour.
  const auto text_in = [&](const QImage& image, int row, QColor wanted) {
    const QRect cell = grid.visualRect(model.index(row, 1));
    for (int y = cell.top(); y <= cell.bottom(); ++y)
      for (int x = cell.left(); x <= cell.right(); ++x)
        if (Distance(image.pixel(x, y), wanted.rgb()) < 60) return true;
    return false;
  };

  q.MoveBy(1);
  QApplication::processEvents();
  QImage image = Picture(grid.viewport());
  for (int column = 0; column < 3; ++column) {
    EXPECT_LE(Distance(background(image, 1, column), colour(QPalette::Highlight).rgb()), 6)
        << column;
    EXPECT_EQ(QColor(background(image, 0, column)), colour(QPalette::Base)) << column;
  }
  EXPECT_TRUE(text_in(image, 1, colour(QPalette::HighlightedText)));
  EXPECT_FALSE(text_in(image, 1, colour(QPalette::Text))) << "selected text in the plain colour";
  EXPECT_TRUE(text_in(image, 2, colour(QPalette::Text)));

  // The highlight moves with the record, on a repaint.
  q.MoveBy(2);
  QApplication::processEvents();
  image = Picture(grid.viewport());
  EXPECT_LE(Distance(background(image, 3, 0), colour(QPalette::Highlight).rgb()), 6);
  EXPECT_EQ(QColor(background(image, 1, 0)), colour(QPalette::Base));
}

TEST_F(GridPaintTest, RowHeaderMatchesQtsHeaderAndMarksTheEditedRow) {
  TTessel& q = OpenPaintRows();
  DataGrid grid;
  ASSERT_TRUE(ShowGrid(grid));
  QHeaderView* header = grid.verticalHeader();
  q.MoveBy(1);
  q.Edit();
  QApplication::processEvents();
  ASSERT_EQ(grid.Model()->headerData(1, Qt::Vertical).toString(), "2 *");
  const QImage own = Picture(header->viewport());
  grid.SetPaintsCellsItself(false);
  const QImage qt = Picture(header->viewport());
  ASSERT_EQ(own.size(), qt.size());
  for (int row = 0; row < kRows; ++row) {
    const QRect section(0, header->sectionViewportPosition(row), header->width(),
                        header->sectionSize(row));
    const QRect mine = Ink(own, section.adjusted(0, 1, -2, -2));
    const QRect theirs = Ink(qt, section.adjusted(0, 1, -2, -2));
    EXPECT_TRUE(Near(mine, theirs, 1))
        << row << ": " << Describe(mine) << " vs " << Describe(theirs);
    // The section's look (its background and borders) is the style's.
    for (int y = section.top(); y <= section.bottom(); ++y) {
      EXPECT_EQ(own.pixel(1, y), qt.pixel(1, y)) << row << " at " << y;
      EXPECT_EQ(own.pixel(section.right(), y), qt.pixel(section.right(), y)) << row << " at " << y;
    }
  }
  q.Cancel();
}

// Drawn a band at a time, the scroll bar must look exactly as QScrollBar
// draws it: no seams where the bands meet, the handle where the value puts it.
TEST(BandedScrollBarTest, PaintsTheSamePixelsAsQScrollBar) {
  struct Case {
    Qt::Orientation orientation;
    QSize size;
    int value;
    bool enabled;
  };
  const Case cases[] = {
      {Qt::Vertical, {16, 580}, 0, true},     {Qt::Vertical, {16, 580}, 4321, true},
      {Qt::Vertical, {16, 580}, 10000, true}, {Qt::Vertical, {17, 131}, 5000, true},
      {Qt::Vertical, {16, 300}, 2500, false}, {Qt::Horizontal, {400, 16}, 700, true}};
  for (const Case& c : cases) {
    QScrollBar plain(c.orientation);
    BandedScrollBar banded(c.orientation);
    for (QScrollBar* bar : {&plain, static_cast<QScrollBar*>(&banded)}) {
      bar->setRange(0, 10000);
      bar->setPageStep(27);
      bar->setValue(c.value);
      bar->setEnabled(c.enabled);
      bar->resize(c.size);
    }
    const QImage expected = Picture(&plain);
    const QImage got = Picture(&banded);
    ASSERT_EQ(got.size(), expected.size());
    int differing = 0;
    for (int y = 0; y < got.height(); ++y) {
      for (int x = 0; x < got.width(); ++x) differing += got.pixel(x, y) != expected.pixel(x, y);
    }
    EXPECT_EQ(differing, 0) << "size " << c.size.width() << "x" << c.size.height() << ", value "
                            << c.value;
  }
}

// The glyph layout against the font: widths as the font measures them,
// cutting with an ellipsis, and refusing what needs shaping.
TEST(GlyphTextTest, LaysOutLatinAndRefusesWhatNeedsShaping) {
  QFont font = QApplication::font();
  font.setPixelSize(13);
  const GlyphText glyphs(font);
  ASSERT_TRUE(glyphs.Usable());
  const QFontMetricsF metrics(font);
  for (const QString& text : {QStringLiteral("1234567890"), QStringLiteral("-120.10"),
                              QStringLiteral("a b"), QStringLiteral("\u00e9t\u00e9 \u20ac")}) {
    EXPECT_NEAR(glyphs.Width(text), metrics.horizontalAdvance(text), 0.01) << text.toStdString();
  }

  GlyphBatch batch;
  // Right-aligned: the last glyph ends at the right edge.
  ASSERT_TRUE(glyphs.Add(u"42", 10, 110, 20, true, batch));
  ASSERT_EQ(batch.Glyphs().size(), 2u);
  EXPECT_DOUBLE_EQ(batch.Positions()[0].x(), 110 - glyphs.Width(u"42"));
  EXPECT_DOUBLE_EQ(batch.Positions()[1].x(), 110 - glyphs.Width(u"2"));
  EXPECT_DOUBLE_EQ(batch.Positions()[0].y(), 20);

  // Too wide: cut, ending in an ellipsis that still fits.
  batch.Clear();
  const QString long_text = "a name much longer than the room";
  ASSERT_TRUE(glyphs.Add(long_text, 0, 60, 0, false, batch));
  const auto ellipsis = glyphs.RawFont().glyphIndexesForString(QStringLiteral("\u2026"));
  ASSERT_EQ(ellipsis.size(), 1);
  ASSERT_GE(batch.Glyphs().size(), 2u);
  EXPECT_LT(batch.Glyphs().size(), size_t(long_text.size()));
  EXPECT_EQ(batch.Glyphs().back(), ellipsis[0]);
  EXPECT_LE(batch.Positions().back().x() + glyphs.Width(u"\u2026"), 60);
  EXPECT_GT(batch.Positions().back().x() + glyphs.Width(u"\u2026"), 60 - glyphs.Width(u"m"));
  const auto start = glyphs.RawFont().glyphIndexesForString(long_text.left(3));
  EXPECT_EQ(batch.Glyphs()[0], start[0]);
  EXPECT_EQ(batch.Glyphs()[2], start[2]);

  // Other scripts, combining marks and control characters are left to Qt,
  // and nothing of them is added.
  batch.Clear();
  for (const QString& text :
       {QStringLiteral("\u03a9\u03bc\u03ad\u03b3\u03b1"),
        QStringLiteral("\u0645\u0631\u062d\u0628\u0627"), QStringLiteral("e\u0301"),
        QStringLiteral("a\tb"), QStringLiteral("ab\u200fc"), QStringLiteral("\U0001F600")}) {
    EXPECT_FALSE(glyphs.Add(text, 0, 100, 0, false, batch)) << text.toStdString();
    EXPECT_LT(glyphs.Width(text), 0) << text.toStdString();
  }
  EXPECT_TRUE(batch.Empty());
}

}  // namespace
}  // namespace tessel::testing
